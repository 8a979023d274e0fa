// Descomprimir: the update run's extraction of one patch archive.
#include "updater/unzip/zip_extract.h"
#include "updater/update/mensajes.h"
#include "updater/update/mod_unzip.h"

namespace modUnzip {

unzip::Result Descomprimir(const std::string& archive, const std::string& target, core::FileSystem& fs,
                           update::Dialogs& dialogs, const unzip::NameDecoder& decoder, update::OwnFiles* own) {
    unzip::Result outcome = unzip::ExtractArchive(archive, target, fs, decoder, {}, own);
    if (!outcome.ok)
        dialogs.ShowMessage(update::mensajes::kErrorAlDescomprimir, update::mensajes::kTitulo, core::BoxStyle::OkOnly);
    return outcome;
}

core::Outcome ZipExtractor::Extract(const std::string& archivePath, const std::string& targetFolder) {
    return Descomprimir(archivePath, targetFolder, m_fs, m_dialogs, m_decoder, m_own);
}

}  // namespace modUnzip
