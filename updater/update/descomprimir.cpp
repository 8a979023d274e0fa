// Descomprimir: the update run's extraction of one patch archive.
#include "updater/unzip/zip_extract.h"
#include "updater/update/disk_room.h"
#include "updater/update/mensajes.h"
#include "updater/update/mod_unzip.h"

namespace modUnzip {

unzip::Result Descomprimir(const std::string& archive, const std::string& target, core::FileSystem& fs,
                           update::Dialogs& dialogs, const unzip::NameDecoder& decoder, update::OwnFiles* own,
                           const unzip::BeforeWrite& beforeWrite) {
    bool refusedBeforeWrite = false;
    unzip::BeforeWrite watched;
    if (beforeWrite) {
        watched = [&](const unzip::Directory& dir) {
            unzip::Result approved = beforeWrite(dir);
            refusedBeforeWrite = !approved.ok;
            return approved;
        };
    }
    unzip::Result outcome = unzip::ExtractArchive(archive, target, fs, decoder, {}, own, watched);
    if (!outcome.ok && !refusedBeforeWrite)
        dialogs.ShowMessage(update::mensajes::kErrorAlDescomprimir, update::mensajes::kTitulo, core::BoxStyle::OkOnly);
    return outcome;
}

update::ExtractResult ZipExtractor::Extract(const std::string& archivePath, const std::string& targetFolder) {
    update::Extracted written;
    bool noRoom = false;
    const auto roomCheck = [&](const unzip::Directory& dir) {
        for (const unzip::Entry& e : dir.entries) written.bytes += e.size;
        written.entries = dir.entries.size();
        const std::uint64_t missing = update::MissingBytes(m_fs, targetFolder, update::ExtractionBytes(dir));
        if (missing == 0) return unzip::Result::Success();
        noRoom = true;
        return unzip::Result::Failure(update::NoRoomLine(missing, ParcheActual), unzip::Refusal::DiskFull);
    };
    const unzip::Result outcome = Descomprimir(archivePath, targetFolder, m_fs, m_dialogs, m_decoder, m_own, roomCheck);
    if (outcome.ok) return update::ExtractResult::Success(written);
    return update::ExtractResult::Failure(outcome.reason,
                                          noRoom ? update::ExtractFailure::NoRoom : update::ExtractFailure::Refused);
}

}  // namespace modUnzip
