#include "tools/parchear/restore.h"

#include <algorithm>

#include "core/numeric.h"
#include "tools/parchear/archive_check.h"
#include "tools/parchear/lock.h"
#include "tools/parchear/record.h"
#include "tools/parchear/server_folder.h"
#include "tools/parchear/session.h"
#include "tools/parchear/signing.h"
#include "updater/update/state_file.h"

namespace parchear {
namespace {

bool Same(const std::optional<update::ListedPatch>& a, const update::ListedPatch& b) {
    return a && a->size == b.size && a->sha256 == b.sha256;
}

// The count of a version.txt written as plain digits (a line end allowed), as Updater reads it.
std::optional<int> PlainCount(std::string_view text) {
    if (text.ends_with("\r\n")) {
        text.remove_suffix(2);
    } else if (text.ends_with('\n')) {
        text.remove_suffix(1);
    }
    const auto value = core::ParseDigits(text, 3);
    if (!value) return std::nullopt;
    return static_cast<int>(*value);
}

void CopyChecked(core::FileSystem& fs, const std::string& from, const std::string& to,
                 const update::ListedPatch& expected) {
    CopyAtomically(fs, from, to);
    if (!Same(Describe(fs, to), expected)) throw Refusal(from + " cambió mientras se copiaba; repita la orden");
}

// The server's estado.txt, when it has one, for the record: only one Updater would take with its
// list (and, with trusted keys, signed by one of them). Empty when there is none.
std::string ImportedState(core::FileSystem& fs, const std::string& server, const ServerList& list,
                          const std::vector<core::crypto::PublicPoint>& trusted) {
    const std::string path = StatePath(server);
    if (!fs.FileExists(path)) return {};
    const auto refuse = [&](const std::string& why) {
        return Refusal(path + " " + why +
                       "; bórrelo antes de importar y, después, publíquelo de nuevo con «parchear "
                       "estado»");
    };
    if (!list.list) throw refuse("acompaña a una lista sin firmar");
    if (fs.FileSize(path) > update::kMaxStateBytes) throw refuse("ocupa más de 16 MiB");
    std::string text = fs.ReadFile(path, update::kMaxStateBytes);
    const update::StateRead read = update::ParseState(text);
    if (!read.ok) throw refuse("no es un estado que Updater lea (" + read.reason + ")");
    if (read.value.serie != list.list->serie || read.value.version != list.list->count)
        throw refuse("no corresponde a version.txt (otra serie u otro número de parches)");
    if (!trusted.empty() &&
        !update::SignedByAny(read.value.signatures.signedPart, read.value.signatures.signatures, trusted)) {
        throw refuse("no está firmado por las claves indicadas");
    }
    return text;
}

}  // namespace

void Restaurar(core::FileSystem& fs, const std::string& server, const std::string& record, Console& console) {
    Session session(fs, server, record, console, Session::Start::Existing);
    const RecordState& state = session.State();
    for (int n = 1; n <= state.Count(); ++n)
        RequireIntactCopy(fs, RecordArchive(record, n), state.patches[static_cast<std::size_t>(n - 1)], "restaurar");
    if (state.list) RequireIntactCopy(fs, RecordList(record), *state.list, "restaurar");
    if (state.state) RequireIntactCopy(fs, RecordStateFile(record), *state.state, "restaurar");

    bool changed = false;
    const auto done = [&](const std::string& what) {
        console.out << what << std::endl;
        changed = true;
    };
    fs.CreateDirectory(PatchesFolder(server));
    for (int n = 1; n <= state.Count(); ++n) {
        const std::string path = ArchivePath(server, n);
        const update::ListedPatch& published = state.patches[static_cast<std::size_t>(n - 1)];
        const auto actual = DescribeIfPresent(fs, path);
        if (Same(actual, published)) continue;
        CopyChecked(fs, RecordArchive(record, n), path, published);
        done("Restaurado " + path + (actual ? ", que tenía otro contenido." : ", que faltaba."));
    }
    // A signed text as the record published it (from its copy, of at most limit bytes), or
    // gone when the record never published one.
    const auto restoreText = [&](const std::string& path, const std::optional<update::ListedPatch>& published,
                                 const std::string& copy, std::size_t limit) {
        const auto actual = DescribeIfPresent(fs, path);
        if (published && !Same(actual, *published)) {
            WriteServerText(fs, path, fs.ReadFile(copy, limit));
            done("Restaurado " + path + (actual ? ", que tenía otro contenido." : ", que faltaba."));
        } else if (!published && actual) {
            fs.DeleteFile(path);
            done("Borrado " + path + ", que este registro no publicó.");
        }
    };
    // The state before the list it goes with, as every publication writes them.
    restoreText(StatePath(server), state.state, RecordStateFile(record), update::kMaxStateBytes);
    restoreText(VersionPath(server), state.list, RecordList(record), update::kMaxListBytes);
    const FolderContents contents = ListPatchesFolder(fs, server);
    for (int n : contents.archives) {
        if (n <= state.Count()) continue;
        fs.DeleteFile(ArchivePath(server, n));
        done("Borrado " + ArchivePath(server, n) + ", que este registro no publicó.");
    }
    for (const std::string& t : contents.temporaries) {
        fs.DeleteFile(PatchesFolder(server) + "/" + t);
        done("Borrado " + PatchesFolder(server) + "/" + t + ", que dejó una escritura sin terminar.");
    }
    session.RequireServerMatches();
    console.out << (changed ? "El servidor vuelve a servir" : "El servidor ya servía")
                << " lo último que se publicó: " << state.Count() << (state.Count() == 1 ? " parche." : " parches.")
                << std::endl;
}

void Importar(core::FileSystem& fs, const std::string& server, const std::string& record,
              const std::vector<std::string>& publicKeys, Console& console) {
    std::vector<core::crypto::PublicPoint> trusted;
    for (const std::string& k : publicKeys) {
        const auto point = update::ParsePublicKey(k);
        if (!point) throw Refusal(Quoted(k) + " no es una clave pública (base64 de 65 bytes)");
        trusted.push_back(*point);
    }
    if (!fs.DirectoryExists(server)) throw Refusal("no existe la carpeta del servidor " + Quoted(server));
    RequireApart(fs, server, record);
    if (fs.FileExists(RecordFile(record))) {
        throw Refusal(Quoted(record) +
                      " ya es un registro; importar solo crea uno nuevo. Para devolver al servidor "
                      "lo que se publicó: " +
                      RestoreCommand(server, record));
    }
    fs.CreateDirectory(record);
    const FolderLock recordLock(record, console);
    const FolderLock serverLock(server, console);
    if (!HoldsNoOtherFiles(fs, record))
        throw Refusal(Quoted(record) + " no está vacía; indique una carpeta vacía o que aún no exista");

    const std::string version = VersionPath(server);
    if (!fs.FileExists(version)) {
        throw Refusal("falta " + version +
                      ": no hay publicación que importar (en un servidor vacío, la primera «parchear publicar» "
                      "crea el registro)");
    }
    if (fs.FileSize(version) > update::kMaxListBytes) throw Refusal(version + " es demasiado grande para ser suyo");
    const std::string text = fs.ReadFile(version, update::kMaxListBytes);
    const ServerList list = ReadServerList(fs, server);
    RecordState state;
    int count = 0;
    if (list.signedForm) {
        if (!list.list) throw Refusal(version + " es una lista firmada dañada, que ningún Updater con claves acepta");
        count = list.list->count;
        state.serie = list.list->serie;
    } else {
        if (!trusted.empty())
            throw Refusal(version + " no está firmado; con --publica solo se importa una lista firmada");
        const auto plain = PlainCount(text);
        if (!plain) {
            throw Refusal(version + " dice " + Quoted(text.substr(0, 40)) +
                          ": para importarlo debe decir solo el número de parches, en cifras");
        }
        count = *plain;
    }
    const FolderContents contents = ListPatchesFolder(fs, server);
    for (int n : contents.archives) {
        if (n > count)
            throw Refusal(ArchivePath(server, n) + " está en el servidor pero version.txt no lo anuncia; " +
                          "quítelo (o anúncielo) antes de importar");
    }
    if (!contents.temporaries.empty()) {
        throw Refusal("queda " + PatchesFolder(server) + "/" + contents.temporaries[0] +
                      ", de una escritura que no terminó; bórrelo antes de importar");
    }
    for (int n = 1; n <= count; ++n) {
        const std::string path = ArchivePath(server, n);
        if (!fs.FileExists(path)) {
            throw Refusal("falta " + path + ", que version.txt anuncia: los jugadores no pasarían del parche " +
                          core::DecimalText(n - 1) + ". Vuelva a ponerlo antes de importar");
        }
        const ArchiveCheck check = CheckArchive(fs, path);
        if (!check.ok) throw Refusal(path + ": Updater lo rechazaría (" + check.reason + ")");
        state.patches.push_back(Describe(fs, path));
        if (list.list && !Same(state.patches.back(), list.list->patches[static_cast<std::size_t>(n - 1)]))
            throw Refusal(path + " no es el archivo que describe la lista firmada; no se importa");
    }
    if (list.list && !trusted.empty()) {
        for (const auto& point : trusted) {
            if (update::SignedByAny(*list.list, {point})) {
                state.keyIds.push_back(update::KeyId(point));
            } else {
                console.err << "Aviso: la clave " << update::KeyId(point)
                            << " no firmó esta lista; no pasa al registro." << std::endl;
            }
        }
        if (state.keyIds.empty())
            throw Refusal("ninguna firma de " + version + " es válida para las claves indicadas; no se importa");
    } else {
        for (const auto& s : (list.list ? list.list->signatures : std::vector<update::ListSignature>{}))
            state.keyIds.push_back(s.keyId);
        console.err << "Aviso: sin --publica se confía en el servidor tal como está: sus parches y su version.txt "
                       "pasan al registro sin comprobar quién los puso."
                    << std::endl;
    }
    // More than a day ahead of this clock: a list like that leaves no serie to grow into.
    if (state.serie > NextSerie(0) + 1000000) {
        throw Refusal("la serie " + core::DecimalText(state.serie) + " de " + version +
                      " está en el futuro: una lista así dejaría a los Updater sin más series que aceptar");
    }
    std::sort(state.keyIds.begin(), state.keyIds.end());
    state.keyIds.erase(std::unique(state.keyIds.begin(), state.keyIds.end()), state.keyIds.end());
    state.list = DescribeText(text);
    const std::string stateText = ImportedState(fs, server, list, trusted);
    if (!stateText.empty()) state.state = DescribeText(stateText);

    fs.CreateDirectory(RecordArchives(record));
    for (int n = 1; n <= count; ++n)
        CopyChecked(fs, ArchivePath(server, n), RecordArchive(record, n),
                    state.patches[static_cast<std::size_t>(n - 1)]);
    core::WriteFileAtomically(fs, RecordList(record), text);
    if (state.state) core::WriteFileAtomically(fs, RecordStateFile(record), stateText);
    core::WriteFileAtomically(fs, RecordFile(record), FormatRecord(state));
    console.out << "Registro creado en " << record << ": " << count << (count == 1 ? " parche" : " parches");
    if (list.list) console.out << ", lista firmada de serie " << state.serie;
    console.out << "." << std::endl;
}

}  // namespace parchear
