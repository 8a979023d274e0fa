// modUnzip: the program-wide names the update run shares: the cDirImage object, the patch
// being installed and its archive, and the extraction of that archive (Descomprimir).
#pragma once

#include <string>

#include "core/file_system.h"
#include "core/outcome.h"
#include "updater/unzip/name_decoder.h"
#include "updater/unzip/refusal.h"
#include "updater/unzip/zip_extract.h"
#include "updater/update/own_files.h"
#include "updater/update/platform.h"
#include "updater/update/update_run.h"

namespace update {
class cDirImage;
}

namespace modUnzip {

// The program's one cDirImage object. The start-up creates it and registers it before any
// handler can run; DirImage() raises error 91 (object not set) when none is registered.
update::cDirImage& DirImage();
// Registers the program's object (once; a second registration replaces the first).
void RegisterDirImage(update::cDirImage& dir);

// Decimal text of the patch being installed; empty until the first patch.
extern std::string ParcheActual;
// Local path of that patch's archive: installation folder + "\" + ParcheActual + ".zip".
extern std::string RutaParche;

// Extracts every entry of archive below target, replacing existing files without asking; the
// archive is closed before it returns. On failure it shows the error box and returns the cause
// with its code. Files that own says the program holds are moved aside and replaced. A refusal
// by beforeWrite (unzip::ExtractArchive's) shows no box: the caller tells it.
unzip::Result Descomprimir(const std::string& archive, const std::string& target, core::FileSystem& fs,
                           update::Dialogs& dialogs, const unzip::NameDecoder& decoder = unzip::SystemNameDecoder(),
                           update::OwnFiles* own = nullptr, const unzip::BeforeWrite& beforeWrite = {});

// Descomprimir as the update run's Extractor, after checking that the target's disk holds the
// archive's files (update/disk_room.h) for the patch ParcheActual.
class ZipExtractor final : public update::Extractor {
public:
    ZipExtractor(core::FileSystem& fs, update::Dialogs& dialogs,
                 const unzip::NameDecoder& decoder = unzip::SystemNameDecoder(), update::OwnFiles* own = nullptr)
        : m_fs(fs), m_dialogs(dialogs), m_decoder(decoder), m_own(own) {}
    update::ExtractResult Extract(const std::string& archivePath, const std::string& targetFolder) override;

private:
    core::FileSystem& m_fs;
    update::Dialogs& m_dialogs;
    const unzip::NameDecoder& m_decoder;
    update::OwnFiles* m_own;
};

}  // namespace modUnzip
