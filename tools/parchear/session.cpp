#include "tools/parchear/session.h"

#include "core/crypto.h"
#include "core/numeric.h"
#include "tools/parchear/folder_scan.h"
#include "tools/parchear/server_folder.h"
#include "tools/parchear/server_target.h"
#include "tools/parchear/signing.h"
#include "updater/update/state_file.h"

namespace parchear {
namespace {

constexpr std::size_t kMaxRecordNames = 100000;

bool Same(const std::optional<update::ListedPatch>& a, const update::ListedPatch& b) {
    return a && a->size == b.size && a->sha256 == b.sha256;
}

// What tells a file that is there from the one published.
std::string HowItDiffers(core::FileSystem& fs, const std::string& path, const update::ListedPatch& published) {
    const std::uint64_t size = fs.FileSize(path);
    if (size != static_cast<std::uint64_t>(published.size)) {
        return path + " tiene " + core::DecimalText(static_cast<std::int64_t>(size)) + " bytes y se publicó con " +
               core::DecimalText(published.size) + ": alguien lo cambió o puso otro";
    }
    if (core::crypto::HexOf(core::crypto::Sha256OfFile(fs, path)) != published.sha256)
        return path + " tiene el tamaño publicado pero otro contenido (otra huella SHA-256): alguien lo cambió";
    return {};
}

std::string Spelled(const std::string& path) {
    return path.find_first_of(" \t") == std::string::npos ? path : "\"" + path + "\"";
}

}  // namespace

void RequireApart(core::FileSystem& fs, const std::string& server, const std::string& record) {
    if (fs.FileExists(record)) throw Refusal(Quoted(record) + " es un archivo; --registro necesita una carpeta");
    if (IsInside(record, server)) {
        throw Refusal("el registro " + Quoted(record) + " está dentro de la carpeta del servidor " + Quoted(server) +
                      ", y el servidor web lo daría a cualquiera; guárdelo en una carpeta que no se sirva");
    }
    if (IsInside(server, record)) {
        throw Refusal("la carpeta del servidor " + Quoted(server) + " está dentro del registro " + Quoted(record) +
                      "; use dos carpetas separadas");
    }
}

bool HoldsNoOtherFiles(core::FileSystem& fs, const std::string& record) {
    for (const core::DirectoryEntry& entry : fs.ListDirectory(record, kMaxRecordNames)) {
        const bool ours = entry.name == kLockName || entry.name == "lista.txt" || entry.name == "estado.txt" ||
                          entry.name == "parches" || entry.name.ends_with(core::kNewVersionSuffix);
        if (!ours) return false;
    }
    return true;
}

std::optional<update::ListedPatch> DescribeIfPresent(core::FileSystem& fs, const std::string& path) {
    if (!fs.FileExists(path)) return std::nullopt;
    return Describe(fs, path);
}

void RequireIntactCopy(core::FileSystem& fs, const std::string& copy, const update::ListedPatch& published,
                       std::string_view task) {
    if (!fs.FileExists(copy))
        throw Refusal("falta " + copy + " en el registro; no se puede " + std::string(task) + " sin él");
    if (!Same(Describe(fs, copy), published)) {
        throw Refusal(copy +
                      " no es lo que registro.txt dice que se publicó: el registro está dañado. Recupérelo de "
                      "una copia de seguridad");
    }
}

std::string RestoreCommand(const std::string& server, const std::string& record) {
    return "«parchear restaurar " + Spelled(server) + " --registro " + Spelled(record) + "»";
}

Session::Session(core::FileSystem& fs, std::string server, std::string record, Console& console, Start start)
    : m_fs(fs), m_server(std::move(server)), m_record(std::move(record)), m_console(console) {
    RequireServerFolder(m_fs, m_server);
    RequireApart(m_fs, m_server, m_record);
    const std::string importHint =
        "; si el servidor ya publica parches, cree el registro una vez con «parchear importar " + Spelled(m_server) +
        " --registro " + Spelled(m_record) + "»";
    if (!m_fs.DirectoryExists(m_record)) {
        if (start == Start::Existing) throw Refusal("no existe el registro " + Quoted(m_record) + importHint);
        m_fs.CreateDirectory(m_record);
    }
    m_recordLock = std::make_unique<FolderLock>(m_record, console);
    m_serverLock = std::make_unique<FolderLock>(m_server, console);
    if (m_fs.FileExists(RecordFile(m_record))) {
        m_state = LoadRecord(m_fs, RecordFile(m_record));
        Recover();
        return;
    }
    if (start == Start::Existing)
        throw Refusal(Quoted(m_record) + " no es un registro de parchear (no tiene registro.txt)" + importHint);
    if (!HoldsNoOtherFiles(m_fs, m_record)) {
        throw Refusal(Quoted(m_record) +
                      " no es un registro de parchear (no tiene registro.txt) y no está vacía; indique una "
                      "carpeta vacía o que aún no exista para el registro nuevo");
    }
    if (m_fs.FileExists(VersionPath(m_server)) || !ListPatchesFolder(m_fs, m_server).archives.empty()) {
        throw Refusal("el servidor " + Quoted(m_server) + " ya publica parches y " + Quoted(m_record) +
                      " no es su registro; parchear solo publica a partir del registro de lo publicado" + importHint);
    }
    m_fs.CreateDirectory(RecordArchives(m_record));
    core::WriteFileAtomically(m_fs, RecordFile(m_record), FormatRecord(m_state));
    console.out << "Registro nuevo en " << m_record << "." << std::endl;
}

// A pending change whose version.txt reached the server is finished (players may have it);
// one whose version.txt never did is undone, with whatever it had copied to the server.
void Session::Recover() {
    if (!m_fs.FileExists(PendingFile(m_record))) return;
    const RecordState next = LoadRecord(m_fs, PendingFile(m_record));
    const auto served = DescribeIfPresent(m_fs, VersionPath(m_server));
    const auto kept = DescribeIfPresent(m_fs, RecordList(m_record));
    const bool keptIsNext = next.list && Same(kept, *next.list) && !(m_state.list && Same(kept, *m_state.list));
    if (next.list && (Same(served, *next.list) || keptIsNext)) {
        for (int n = next.Count() + 1; n <= m_state.Count(); ++n) m_fs.RemoveIfExists(ArchivePath(m_server, n));
        Commit(next);
        m_console.err << "Aviso: se terminó una orden anterior que quedó a medias (su version.txt ya estaba en el "
                         "servidor)."
                      << std::endl;
        return;
    }
    for (int n = m_state.Count() + 1; n <= next.Count(); ++n) {
        const std::string path = ArchivePath(m_server, n);
        if (Same(DescribeIfPresent(m_fs, path), next.patches[static_cast<std::size_t>(n - 1)])) m_fs.DeleteFile(path);
    }
    const auto servedState = DescribeIfPresent(m_fs, StatePath(m_server));
    if (m_state.state && !Same(servedState, *m_state.state)) {
        WriteServerText(m_fs, StatePath(m_server), m_fs.ReadFile(RecordStateFile(m_record), update::kMaxStateBytes));
    } else if (!m_state.state && next.state && Same(servedState, *next.state)) {
        m_fs.DeleteFile(StatePath(m_server));
    }
    for (const std::string& t : ListPatchesFolder(m_fs, m_server).temporaries)
        m_fs.DeleteFile(PatchesFolder(m_server) + "/" + t);
    m_fs.RemoveIfExists(PendingStateFile(m_record));
    m_fs.RemoveIfExists(PendingList(m_record));
    m_fs.DeleteFile(PendingFile(m_record));
    m_console.err << "Aviso: se deshizo una orden anterior que quedó a medias; nada de ella llegó a anunciarse."
                  << std::endl;
}

void Session::Commit(const RecordState& next) {
    if (m_fs.FileExists(PendingList(m_record))) m_fs.Replace(PendingList(m_record), RecordList(m_record));
    if (m_fs.FileExists(PendingStateFile(m_record))) {
        m_fs.Replace(PendingStateFile(m_record), RecordStateFile(m_record));
    } else if (!next.state) {
        m_fs.RemoveIfExists(RecordStateFile(m_record));
    }
    m_fs.Replace(PendingFile(m_record), RecordFile(m_record));
    for (int n = next.Count() + 1; n <= m_state.Count(); ++n) m_fs.RemoveIfExists(RecordArchive(m_record, n));
    m_state = next;
}

std::vector<std::string> Session::Differences() {
    std::vector<std::string> found;
    // A signed text against what the record published of it (never published: it must be absent).
    const auto compareText = [&](const std::string& path, const std::optional<update::ListedPatch>& published,
                                 const std::string& unpublished) {
        if (!published) {
            if (m_fs.FileExists(path)) found.push_back("sobra " + path + ": " + unpublished);
        } else if (!m_fs.FileExists(path)) {
            found.push_back("falta " + path);
        } else if (std::string how = HowItDiffers(m_fs, path, *published); !how.empty()) {
            found.push_back(how);
        }
    };
    compareText(VersionPath(m_server), m_state.list, "este registro aún no ha publicado nada");
    compareText(StatePath(m_server), m_state.state, "este registro no lo publicó");
    for (int n = 1; n <= m_state.Count(); ++n) {
        const std::string path = ArchivePath(m_server, n);
        if (!m_fs.FileExists(path)) {
            found.push_back("falta " + path);
        } else if (std::string how = HowItDiffers(m_fs, path, m_state.patches[static_cast<std::size_t>(n - 1)]);
                   !how.empty()) {
            found.push_back(how);
        }
    }
    const FolderContents contents = ListPatchesFolder(m_fs, m_server);
    for (int n : contents.archives) {
        if (n > m_state.Count()) found.push_back("sobra " + ArchivePath(m_server, n) + ": este registro no lo publicó");
    }
    for (const std::string& t : contents.temporaries)
        found.push_back("queda " + PatchesFolder(m_server) + "/" + t + ", de una escritura que no terminó");
    return found;
}

void Session::RequireServerMatches() {
    const std::vector<std::string> found = Differences();
    if (found.empty()) return;
    std::string why = "el servidor no coincide con lo publicado según el registro " + Quoted(m_record) +
                      ", así que no se cambió nada:";
    for (const std::string& f : found) why += "\n  " + f;
    why +=
        "\nSi usted no hizo ese cambio, otra persona o programa escribe en el servidor: revíselo. Para volver a "
        "servir exactamente lo último que se publicó: " +
        RestoreCommand(m_server, m_record);
    throw Refusal(why);
}

void Session::Apply(const Change& change) {
    const RecordState& next = change.next;
    const int from = m_state.Count();
    const int to = next.Count();
    if (!change.newArchive.empty()) {
        const std::string copy = RecordArchive(m_record, to);
        m_fs.CreateDirectory(RecordArchives(m_record));
        CopyAtomically(m_fs, change.newArchive, copy);
        if (!Same(Describe(m_fs, copy), next.patches.back()))
            throw Refusal(Quoted(change.newArchive) + " cambió mientras se publicaba; repita la orden");
    }
    core::WriteFileAtomically(m_fs, PendingList(m_record), change.listText);
    if (!change.stateText.empty()) core::WriteFileAtomically(m_fs, PendingStateFile(m_record), change.stateText);
    core::WriteFileAtomically(m_fs, PendingFile(m_record), FormatRecord(next));
    m_fs.CreateDirectory(PatchesFolder(m_server));
    for (int n = from + 1; n <= to; ++n) CopyAtomically(m_fs, RecordArchive(m_record, n), ArchivePath(m_server, n));
    // An Updater takes the state only with the list of its serie: the state goes first.
    if (!change.stateText.empty()) {
        WriteServerText(m_fs, StatePath(m_server), change.stateText);
    } else if (m_state.state) {
        m_fs.RemoveIfExists(StatePath(m_server));
    }
    WriteServerText(m_fs, VersionPath(m_server), change.listText);
    for (int n = to + 1; n <= from; ++n) m_fs.DeleteFile(ArchivePath(m_server, n));
    Commit(next);
}

}  // namespace parchear
