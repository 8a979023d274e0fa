#include "tools/parchear/signing.h"

#include <ctime>

#include "core/key_file.h"
#include "core/numeric.h"
#include "tools/parchear/folder_scan.h"
#include "tools/parchear/key_safety.h"
#include "tools/parchear/list_mismatch.h"
#include "tools/parchear/owner_only.h"
#include "tools/parchear/server_folder.h"
#include "tools/parchear/server_target.h"
#include "tools/parchear/utc_time.h"

namespace parchear {
namespace {

constexpr std::size_t kMaxKeyFileBytes = 4096;

core::crypto::KeyPair LoadKey(core::FileSystem& fs, const std::string& path) {
    if (!fs.FileExists(path)) throw Refusal("no existe el archivo de clave " + Quoted(path));
    if (fs.FileSize(path) > kMaxKeyFileBytes) throw Refusal(Quoted(path) + " no es una clave privada de parchear");
    const auto key = core::crypto::ReadPrivateKeyPem(fs.ReadFile(path, kMaxKeyFileBytes));
    // A file whose public half does not belong to its private half would sign lists nobody accepts.
    if (!key || !core::crypto::VerifyP256(key->point, "prueba", core::crypto::SignP256(*key, "prueba"))) {
        throw Refusal(Quoted(path) + " no es una clave privada P-256 en PEM (PKCS#8) válida");
    }
    return *key;
}

}  // namespace

void ClaveNueva(core::FileSystem& fs, const std::string& path, Console& console) {
    if (fs.FileExists(path) || fs.DirectoryExists(path))
        throw Refusal(Quoted(path) + " ya existe; una clave no se sobrescribe nunca");
    const core::crypto::KeyPair key = core::crypto::GenerateP256();
    // Closed to everyone else by the call that creates it: no other account ever gets a handle to it.
    if (!CreateOwnerOnlyFile(path, core::crypto::PrivateKeyPem(key)))
        throw Refusal(Quoted(path) + " ya existe; una clave no se sobrescribe nunca");
    console.out << "Clave privada escrita en " << path << ". Guárdela fuera del servidor y haga una copia de seguridad."
                << std::endl;
    ClavePublica(fs, path, console);
}

void ClavePublica(core::FileSystem& fs, const std::string& path, Console& console) {
    const core::crypto::KeyPair key = LoadKey(fs, path);
    console.out << "Clave pública (UPDATER_PUBLIC_KEYS): " << update::PublicKeyText(key.point) << std::endl;
    console.out << "Identificador: " << update::KeyId(key.point) << std::endl;
}

std::vector<core::crypto::KeyPair> LoadKeys(core::FileSystem& fs, const std::vector<std::string>& paths) {
    std::vector<core::crypto::KeyPair> keys;
    for (const std::string& p : paths) {
        keys.push_back(LoadKey(fs, p));
        RequireOwnerOnly(p);
    }
    return keys;
}

ServerList ReadServerList(core::FileSystem& fs, const std::string& server) {
    ServerList result;
    const std::string path = VersionPath(server);
    if (!fs.FileExists(path) || fs.FileSize(path) > update::kMaxListBytes) return result;
    const std::string text = fs.ReadFile(path, update::kMaxListBytes);
    const std::size_t eol = text.find('\n');
    result.signedForm = eol != std::string::npos && text.compare(eol + 1, 17, "firmado-vandrel 1") == 0;
    result.list = update::ParseSignedList(text);
    return result;
}

update::ListedPatch Describe(core::FileSystem& fs, const std::string& path) {
    return {static_cast<std::int64_t>(fs.FileSize(path)), core::crypto::HexOf(core::crypto::Sha256OfFile(fs, path))};
}

update::ListedPatch DescribeText(std::string_view text) {
    return {static_cast<std::int64_t>(text.size()), core::crypto::HexOf(core::crypto::Sha256Of(text))};
}

std::int64_t NextSerie(std::int64_t previous) {
    const std::tm utc = UtcCalendarNow();
    const std::int64_t stamp =
        (((((utc.tm_year + 1900) * 100LL + utc.tm_mon + 1) * 100 + utc.tm_mday) * 100 + utc.tm_hour) * 100 +
         utc.tm_min) *
            100 +
        utc.tm_sec;
    return stamp > previous ? stamp : previous + 1;
}

std::vector<std::string> CheckSignedList(core::FileSystem& fs, const std::string& server, int count,
                                         const std::vector<core::crypto::PublicPoint>& trusted, Console& console) {
    std::vector<std::string> problems;
    const ServerList current = ReadServerList(fs, server);
    if (!current.signedForm) {
        if (!trusted.empty())
            problems.push_back("version.txt no está firmado: un Updater con claves no instalará nada");
        return problems;
    }
    if (!current.list) {
        problems.push_back("version.txt no sigue el formato de lista firmada: un Updater con claves no instalará nada");
        return problems;
    }
    const update::SignedList& list = *current.list;
    if (list.count != count) problems.push_back("version.txt anuncia otro número de parches que sus líneas parche");
    console.out << "Lista firmada: serie " << list.serie << ", firmas de";
    for (const auto& s : list.signatures) console.out << " " << s.keyId;
    console.out << "." << std::endl;
    if (list.serie > NextSerie(0) + 1000000) {  // more than a day ahead of this clock
        problems.push_back("la serie " + core::DecimalText(list.serie) +
                           " está en el futuro; revise el reloj del equipo que publicó");
    }
    if (!trusted.empty() && !update::SignedByAny(list, trusted))
        problems.push_back("ninguna firma de version.txt es válida para las claves públicas indicadas");
    if (trusted.empty())
        console.err << "Aviso: sin --publica no se comprueban las firmas, solo tamaños y huellas." << std::endl;
    for (std::size_t i = 0; i < list.patches.size(); ++i) {
        const std::string path = ArchivePath(server, static_cast<int>(i + 1));
        if (!fs.FileExists(path)) continue;  // reported with the archive checks
        const std::string why = ListedArchiveMismatch(fs, path, static_cast<int>(i + 1), list.patches[i]);
        if (!why.empty()) problems.push_back(why);
    }
    return problems;
}

}  // namespace parchear
