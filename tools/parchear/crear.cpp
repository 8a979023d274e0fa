#include "tools/parchear/crear.h"

#include <memory>
#include <optional>

#include "tools/parchear/archive_check.h"
#include "tools/parchear/content_checks.h"
#include "tools/parchear/folder_scan.h"
#include "tools/parchear/patch_comment.h"
#include "tools/parchear/patch_plan.h"
#include "tools/parchear/zip_writer.h"

namespace parchear {
namespace {

std::string WithoutTrailingSeparator(std::string path) {
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    return path;
}

std::string ParentOf(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

void ReportList(std::ostream& err, const std::string& header, const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    err << header << std::endl;
    for (const std::string& l : lines) err << "  " << l << std::endl;
}

}  // namespace

CrearSummary Crear(core::FileSystem& fs, const std::string& oldArg, const std::string& newArg, const std::string& out,
                   Console& console) {
    const std::string oldRoot = WithoutTrailingSeparator(oldArg);
    const std::string newRoot = WithoutTrailingSeparator(newArg);
    if (!fs.DirectoryExists(oldRoot)) throw Refusal("no existe la carpeta anterior " + Quoted(oldRoot));
    if (!fs.DirectoryExists(newRoot)) throw Refusal("no existe la carpeta nueva " + Quoted(newRoot));
    if (out.empty() || out.back() == '/' || out.back() == '\\' || fs.DirectoryExists(out)) {
        throw Refusal(Quoted(out) + " es una carpeta; indique el nombre del archivo .zip que se va a crear");
    }
    if (!fs.DirectoryExists(ParentOf(out))) throw Refusal("no existe la carpeta donde crear " + Quoted(out));
    if (fs.FileExists(out)) {
        throw Refusal(Quoted(out) +
                      " ya existe y parchear no sobrescribe un parche (puede ser uno ya publicado). Bórrelo o "
                      "indique otro nombre");
    }
    if (IsInside(out, newRoot)) {
        throw Refusal(Quoted(out) +
                      " está dentro de la carpeta nueva y el parche se incluiría a sí mismo; "
                      "créelo fuera de ella");
    }

    console.out << "Leyendo " << oldRoot << " y " << newRoot << "..." << std::endl;
    const Scan oldScan = ScanFolder(fs, oldRoot);
    const Scan newScan = ScanFolder(fs, newRoot);
    ReportList(console.err, "Aviso: se omiten (no son archivos normales):", newScan.skipped);

    const Plan plan = MakePlan(fs, oldRoot, oldScan, newRoot, newScan, console);
    if (!plan.problems.empty()) {
        std::string why = "no se puede crear el parche:";
        for (const std::string& p : plan.problems) {
            why += "\n  ";
            why += p;
        }
        throw Refusal(why);
    }
    CrearSummary summary;
    std::vector<std::string> deleted;
    for (const Item& i : plan.deleted) deleted.push_back(i.folder ? i.path + "/" : i.path);
    summary.deleted = deleted.size();
    ReportList(console.err,
               "Aviso: ya no están en la carpeta nueva; el parche los borrará de las instalaciones de los jugadores "
               "que usan el estado firmado (Updater con claves), y los Updater sin claves los conservarán:",
               deleted);
    if (plan.pack.empty()) throw Refusal("no hay archivos nuevos ni cambiados; no se creó ningún parche");
    // The deleted files travel in the archive's comment to publicar, which writes them to the state.
    Deletions deletions;
    for (const Item& i : plan.deleted) {
        const std::string path = UpdaterPath(i.path);
        if (!path.empty()) (i.folder ? deletions.folders : deletions.files).push_back(path);
    }
    const std::optional<std::string> comment = DeletionsComment(deletions);
    if (!comment) {
        throw Refusal("el parche borraría " + std::to_string(deletions.files.size()) +
                      " archivos y su lista no cabe en el archivo zip (65535 bytes como mucho): reparta el cambio "
                      "en dos parches, por ejemplo uno con parte de los borrados y otro con el resto; no se creó "
                      "ningún parche");
    }

    const std::string temp = core::TemporaryNameFor(out);
    try {
        {
            auto file = fs.CreateFile(temp);
            ZipWriter zip(*file);
            Progress progress(console.out, "Empaquetando", plan.packBytes, 64u << 20);
            for (const Change& c : plan.pack) {
                if (c.kind == ChangeKind::NewFolder) {
                    zip.AddFolder(c.item.path, c.item.dosTime);
                    console.out << "  carpeta   " << c.item.path << "/" << std::endl;
                    ++summary.folders;
                    continue;
                }
                const auto in = fs.OpenRead(newRoot + "/" + c.item.path);
                const Packed packed =
                    zip.AddFile(c.item.path, *in, c.item.dosTime, [&](std::uint64_t n) { progress.Advance(n); });
                const bool added = c.kind == ChangeKind::Added;
                console.out << (added ? "  nuevo     " : "  cambiado  ") << c.item.path << " (" << c.item.size
                            << " bytes" << (packed.method == 0 && c.item.size > 0 ? ", sin comprimir" : "") << ")"
                            << std::endl;
                ++(added ? summary.added : summary.changed);
            }
            zip.Finish(deletions.Empty() ? std::string() : *comment);
            file->Commit();
        }
        const ArchiveCheck check = CheckArchive(fs, temp);
        if (!check.ok) throw Refusal("el parche escrito no pasa las comprobaciones de Updater (" + check.reason + ")");
        if (!check.privateKeys.empty())
            throw Refusal("no se puede crear el parche: " + PrivateKeysText(check.privateKeys));
        summary.archiveBytes = check.bytes;
        // Made meanwhile by someone else: still never overwritten.
        if (fs.FileExists(out))
            throw Refusal(Quoted(out) + " apareció mientras se creaba el parche; no se sobrescribe");
        fs.Replace(temp, out);
    } catch (...) {
        fs.RemoveIfExists(temp);
        throw;
    }
    console.out << "Parche creado: " << out << " (" << summary.added << " nuevos, " << summary.changed << " cambiados, "
                << summary.folders << " carpetas nuevas; " << summary.archiveBytes << " bytes)." << std::endl;
    return summary;
}

}  // namespace parchear
