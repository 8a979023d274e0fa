// Descomprimir: the update run's extraction of one patch archive.
#include "updater/unzip/mod_unzip.h"
#include "updater/unzip/zip_extract.h"

namespace modUnzip {

update::Outcome Descomprimir(const std::string& archive, const std::string& target, core::FileSystem& fs,
                             update::Dialogs& dialogs, const unzip::NameDecoder& decoder, unzip::OwnFiles* own) {
    update::Outcome outcome = unzip::ExtractArchive(archive, target, fs, decoder, {}, own);
    if (!outcome.ok) dialogs.ShowMessage(kMensajeError, update::kAppTitle, 0);
    return outcome;
}

update::Outcome ZipExtractor::Extract(const std::string& archivePath, const std::string& targetFolder) {
    return Descomprimir(archivePath, targetFolder, m_fs, m_dialogs, m_decoder, m_own);
}

}  // namespace modUnzip
