// A keyed Updater against hostile and genuine servers: nothing is installed or recorded unless
// a built-in key signed the list, the list is not older than the last one, and every archive is
// the listed one.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <optional>

#include "core/numeric.h"
#include "core/runtime_error.h"
#include "fakes.h"
#include "updater/update/mensajes.h"
#include "updater/update/trusted_list.h"
#include "updater/update/update_run.h"

namespace {

using core::crypto::GenerateP256;
using core::crypto::KeyPair;
using fakes::kBase;

constexpr const char* kVersionFile = "Recursos/OUTPUT/Update.ini";
constexpr const char* kSerieFile = "Recursos/OUTPUT/Serie.ini";

const KeyPair kCurrent = GenerateP256(), kBackup = GenerateP256(), kStranger = GenerateP256();

std::vector<update::ListedPatch> Describe(const std::vector<std::string>& archives) {
    std::vector<update::ListedPatch> listed;
    for (const std::string& a : archives)
        listed.push_back({static_cast<std::int64_t>(a.size()), core::crypto::HexOf(core::crypto::Sha256Of(a))});
    return listed;
}

std::string Sign(const std::string& body, const KeyPair& key) {
    return body + update::FormatSignatureLine(key.point, core::crypto::SignP256(key, body));
}

std::string SignedList(std::int64_t serie, const std::vector<std::string>& archives, const KeyPair& key = kCurrent) {
    return Sign(update::FormatListBody(serie, Describe(archives)), key);
}

// Serie.ini after accepting the list of archives with serie: the serie and the list's digest.
std::string Recorded(std::int64_t serie, const std::vector<std::string>& archives) {
    const std::string body = update::FormatListBody(serie, Describe(archives));
    return core::DecimalText(serie) + "\r\n" +
           core::crypto::HexOf(core::crypto::Sha256Of(body)).substr(0, update::kSerieDigestHex) + "\r\n";
}

struct Case {
    const char* label;
    std::string list;
    std::map<std::string, fakes::Script> archives;  // by number
    std::string serieBefore;                        // Serie.ini before the run, "" for none
    std::string lastLine;
    std::vector<std::string> extracted;  // contents, in order
    std::string versionAfter;
    std::string serieAfter;
    std::string versionBefore = " 5 \r\n";
};

TEST(TrustedRun, OnlySignedCurrentListsAndListedArchivesAreInstalled) {
    const std::vector<std::string> seven = {"uno", "dos", "tres", "cuatro", "cinco", "seis", "siete"};
    const auto good = [&] {
        return std::map<std::string, fakes::Script>{{"6", fakes::Body("seis")}, {"7", fakes::Body("siete")}};
    };
    const std::string genuine = SignedList(200, seven);
    const std::string recorded = Recorded(200, seven);
    std::string countOff = update::FormatListBody(200, Describe(seven));
    countOff[0] = '8';
    fakes::Script longer = fakes::Body("seis");
    longer.contentLength = "5";
    fakes::Script hostile = fakes::Body("SEIS");  // same size, other bytes
    const std::string refused = update::mensajes::kListaNoFirmada;
    const std::string done = update::mensajes::kActualizado;
    const std::vector<Case> cases = {
        {"auténtica", genuine, good(), "", done, {"seis", "siete"}, " 7 \r\n", recorded},
        {"clave de reserva",
         SignedList(200, seven, kBackup),
         good(),
         "150\r\n",
         done,
         {"seis", "siete"},
         " 7 \r\n",
         recorded},
        {"misma serie otra vez", genuine, good(), "200\r\n", done, {"seis", "siete"}, " 7 \r\n", recorded},
        {"clave desconocida", SignedList(200, seven, kStranger), good(), "", refused, {}, " 5 \r\n", ""},
        {"sin firmar", "7\r\n", good(), "", refused, {}, " 5 \r\n", ""},
        {"líneas mal formadas", "7\r\nfirmado-vandrel 1\r\nserie x\r\n", good(), "", refused, {}, " 5 \r\n", ""},
        {"bytes tras la firma", genuine + "\r\n", good(), "", refused, {}, " 5 \r\n", ""},
        {"cuenta distinta", Sign(countOff, kCurrent), good(), "", refused, {}, " 5 \r\n", ""},
        {"vuelta atrás",
         SignedList(100, seven),
         good(),
         "200\r\n",
         update::mensajes::kListaAntigua,
         {},
         " 5 \r\n",
         "200\r\n"},
        {"archivo alterado",
         genuine,
         {{"6", hostile}, {"7", fakes::Body("siete")}},
         "",
         update::mensajes::NoInstalada("6", update::mensajes::kNoCoincideConLista),
         {},
         " 5 \r\n",
         recorded},
        {"un parche servido como otro",
         genuine,
         {{"6", fakes::Body("siete")}, {"7", fakes::Body("seis")}},
         "",
         update::mensajes::NoInstalada("6", update::mensajes::kNoCoincideConLista),
         {},
         " 5 \r\n",
         recorded},
        {"Content-Length mayor",
         genuine,
         {{"6", longer}, {"7", fakes::Body("siete")}},
         "",
         update::mensajes::NoInstalada("6", update::mensajes::kNoCoincideConLista),
         {},
         " 5 \r\n",
         recorded},
        {"el segundo alterado",
         genuine,
         {{"6", fakes::Body("seis")}, {"7", fakes::Body("SIETE")}},
         "",
         update::mensajes::NoInstalada("7", update::mensajes::kNoCoincideConLista),
         {"seis"},
         " 6 \r\n",  // patch 6 is installed and recorded; 7 is not
         recorded},
        {"reinicio firmado",
         SignedList(300, {"nuevo1", "nuevo2"}),
         {{"1", fakes::Body("nuevo1")}, {"2", fakes::Body("nuevo2")}},
         "200\r\n",
         done,
         {"nuevo1", "nuevo2"},
         " 2 \r\n",
         Recorded(300, {"nuevo1", "nuevo2"})},
        {"versión local negativa: ningún parche listado",
         genuine,
         good(),
         "",
         update::mensajes::NoInstalada("0", update::mensajes::kNoCoincideConLista),
         {},
         "-1 \r\n",
         recorded,
         "-1 \r\n"},
        {"lista de más de 1 MiB", genuine + std::string(1 << 20, 'x'), good(), "", refused, {}, " 5 \r\n", ""},
    };
    for (const Case& c : cases) {
        fakes::FakePlatform inst;
        update::cDirImage dir(*inst.platform);
        fakes::Extractor extractor(core::RealFileSystem());
        inst.WriteFile(kVersionFile, c.versionBefore);
        if (!c.serieBefore.empty()) inst.WriteFile(kSerieFile, c.serieBefore);
        inst.http.scripts[std::string(kBase) + "parches/version.txt"] = fakes::Body(c.list);
        for (const auto& [n, script] : c.archives)
            inst.http.scripts[std::string(kBase) + "parches/" + n + ".zip"] = script;

        update::BuscarActualizaciones(dir, extractor, kBase, {kBackup.point, kCurrent.point});

        const auto lines = inst.console.Texts();
        EXPECT_EQ(lines.back(), c.lastLine) << c.label;
        std::vector<std::string> extracted;
        for (const auto& call : extractor.calls) extracted.push_back(call.content);
        EXPECT_EQ(extracted, c.extracted) << c.label;
        EXPECT_EQ(inst.ReadFile(kVersionFile), c.versionAfter) << c.label;
        EXPECT_EQ(inst.Exists(kSerieFile) ? inst.ReadFile(kSerieFile) : "", c.serieAfter) << c.label;
        EXPECT_FALSE(inst.Exists("6.zip") || inst.Exists("7.zip")) << c.label << ": queda un archivo descargado";
        if (c.lastLine == refused || c.lastLine == update::mensajes::kListaAntigua) {
            EXPECT_EQ(inst.http.opened.size(), 1u) << c.label << ": no se pide ningún archivo";
        }
        if (std::string(c.label) == "Content-Length mayor") {
            EXPECT_EQ(inst.http.readSizes.size(), 2u) << "no se lee el cuerpo";  // the list: its bytes, its end
        }
    }
}

// Serie.ini keeps lists from going back: a lower serie is refused, the recorded serie only with
// the signed part it was recorded with (a file an earlier Updater wrote learns it once), and a
// file that exists but cannot be read or parsed refuses every list and stays as it is.
TEST(TrustedRun, SerieFileRefusesOlderOtherAndUnreadable) {
    const std::vector<std::string> a = {"uno", "dos"}, b = {"uno", "DOS"};
    const std::string ra = Recorded(200, a), digestA = ra.substr(5, update::kSerieDigestHex);
    const std::string accepted, older = update::mensajes::kListaAntigua, other = update::mensajes::kListaDistinta;
    const std::string invalid = update::mensajes::SerieIlegible(update::mensajes::kNoValido);
    struct SerieCase {
        const char* label;
        std::optional<std::string> before;  // nothing: no Serie.ini
        std::int64_t serie;                 // of the list served
        std::vector<std::string> archives;
        std::string refusal;  // empty when the list is accepted
        std::string after;    // nothing: as before
        bool unreadable = false;
    };
    std::string upper = ra;
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    const std::vector<SerieCase> cases = {
        {"sin Serie.ini", std::nullopt, 200, a, accepted, ra},
        {"Serie.ini vacío", "", 200, a, accepted, ra},
        {"formato anterior, misma lista", "200\r\n", 200, a, accepted, ra},
        {"formato anterior, misma serie y otro contenido", "200\r\n", 200, b, accepted, Recorded(200, b)},
        {"formato anterior sin fin de línea", "200", 200, a, accepted, ra},
        {"misma lista", ra, 200, a, accepted, {}},
        {"misma lista, LF", "200\n" + digestA + "\n", 200, a, accepted, {}},
        {"misma serie, otro contenido", ra, 200, b, other, {}},
        {"serie menor", ra, 100, a, older, {}},
        {"serie menor, formato anterior", "200\r\n", 100, a, older, {}},
        {"serie mayor", ra, 300, b, accepted, Recorded(300, b)},
        {"ilegible", "200\r\n", 100, a, update::mensajes::SerieIlegible("Permiso denegado"), {}, true},
        {"sin cifras", "x200\r\n", 100, a, invalid, {}},
        {"solo un fin de línea", "\r\n", 100, a, invalid, {}},
        {"signo", "-200\r\n", 100, a, invalid, {}},
        {"blanco tras la serie", "200 \r\n", 100, a, invalid, {}},
        {"19 cifras", "1234567890123456789\r\n", 100, a, invalid, {}},
        {"más de 64 bytes", std::string(63, '0') + "1\r\n", 100, a, invalid, {}},
        {"resumen corto", "200\r\n" + digestA.substr(1) + "\r\n", 100, a, invalid, {}},
        {"resumen en mayúsculas", upper, 100, a, invalid, {}},
        {"línea vacía tras la serie", "200\r\n\r\n", 100, a, invalid, {}},
        {"una línea de más", ra + "0\r\n", 100, a, invalid, {}},
    };
    for (const SerieCase& c : cases) {
        // Reads of Serie.ini fail as on a file the user may not read.
        class Locked final : public core::ForwardingFileSystem {
        public:
            Locked() : ForwardingFileSystem(core::RealFileSystem()) {}
            std::string ReadFile(const std::string& path, std::size_t maxBytes) override {
                if (path.find("Serie.ini") != std::string::npos) core::Raise(core::ErrorKind::PermissionDenied, path);
                return ForwardingFileSystem::ReadFile(path, maxBytes);
            }
        } locked;
        fakes::FakePlatform inst;
        if (c.before) inst.WriteFile(kSerieFile, *c.before);
        const std::string url = std::string(kBase) + "parches/version.txt";
        inst.http.scripts[url] = fakes::Body(SignedList(c.serie, c.archives));
        core::FileSystem& fs = c.unreadable ? static_cast<core::FileSystem&>(locked) : inst.platform->fs;

        const update::TrustedCount got =
            update::FetchTrustedCount(inst.http, fs, inst.platform->installFolder, url, {kCurrent.point});

        EXPECT_EQ(got.ok ? "" : got.reason, c.refusal) << c.label;
        if (got.ok) {
            EXPECT_EQ(got.value.serie, c.serie) << c.label;
        }
        const std::string after = c.after.empty() ? c.before.value_or("(ninguno)") : c.after;
        EXPECT_EQ(inst.Exists(kSerieFile) ? inst.ReadFile(kSerieFile) : "(ninguno)", after) << c.label;
    }
}

// The platform's cryptography failing is a cause of its own: the archive is refused with it, and
// at the window's edge it is never reported as a file access error.
TEST(TrustedRun, ACryptoFailureIsItsOwnCauseNeverAFileError) {
    class NoCrypto final : public core::ForwardingFileSystem {
    public:
        NoCrypto() : ForwardingFileSystem(core::RealFileSystem()) {}
        std::unique_ptr<core::FileReader> OpenRead(const std::string&) override {
            throw core::crypto::Failure("SHA-256");
        }
    } fs;
    fakes::FakePlatform inst;
    inst.WriteFile("6.zip", "seis");
    const auto listed = Describe({"seis"});
    const core::Outcome o = update::CheckAgainstList(fs, inst.Path("6.zip"), listed[0]);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.reason, "el sistema no pudo completar la operación criptográfica (SHA-256)");
    EXPECT_TRUE(update::CheckAgainstList(core::RealFileSystem(), inst.Path("6.zip"), listed[0]).ok);
}

}  // namespace
