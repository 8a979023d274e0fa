#include "tools/parchear/state_check.h"

#include <map>

#include "core/numeric.h"
#include "core/runtime_error.h"
#include "tools/parchear/install_state.h"
#include "tools/parchear/server_folder.h"
#include "tools/parchear/signing.h"
#include "updater/unzip/entry_name.h"
#include "updater/update/state_file.h"

namespace parchear {

std::vector<std::string> CheckServedState(core::FileSystem& fs, const std::string& server,
                                          const std::vector<core::crypto::PublicPoint>& trusted, Console& console) {
    const std::string path = StatePath(server);
    if (!fs.FileExists(path)) return {};
    if (fs.FileSize(path) > update::kMaxStateBytes) return {path + " ocupa más de 16 MiB: Updater no lo lee"};
    const update::StateRead read = update::ParseState(fs.ReadFile(path, update::kMaxStateBytes));
    if (!read.ok) return {path + ": Updater no lo acepta (" + read.reason + ")"};
    const update::InstallState& state = read.value;
    console.out << "estado.txt: serie " << state.serie << ", " << state.version << " parches, " << state.lines.size()
                << " rutas." << std::endl;
    std::vector<std::string> problems;
    const ServerList list = ReadServerList(fs, server);
    if (!list.list) {
        problems.push_back(path + " acompaña a un version.txt sin lista firmada válida: ningún Updater lo usará");
    } else if (list.list->serie != state.serie || list.list->count != state.version) {
        problems.push_back(path + " es de la serie " + core::DecimalText(state.serie) + " con " +
                           core::DecimalText(state.version) + " parches y version.txt de la serie " +
                           core::DecimalText(list.list->serie) + " con " + core::DecimalText(list.list->count) +
                           ": Updater no lo usará");
    }
    if (!trusted.empty() && !update::SignedByAny(state.signatures.signedPart, state.signatures.signatures, trusted))
        problems.push_back("ninguna firma de " + path + " es válida para las claves públicas indicadas");

    std::map<int, std::vector<const update::StateLine*>> byPatch;
    for (const update::StateLine& line : state.lines) {
        if (line.kind == update::StateLineKind::File) byPatch[line.patch].push_back(&line);
    }
    for (const auto& [n, lines] : byPatch) {
        const std::string archive = ArchivePath(server, n);
        std::map<std::string, HashedEntry> entries;
        try {
            for (HashedEntry& e : HashEntries(fs, archive)) entries.emplace(e.path, std::move(e));
        } catch (const Refusal&) {
            continue;  // a missing or refused archive is reported by its own check
        } catch (const core::RuntimeError&) {
            continue;
        }
        for (const update::StateLine* line : lines) {
            const std::string named =
                "estado.txt: «" + unzip::Printable(line->path) + "» del parche " + core::DecimalText(n);
            const auto it = entries.find(line->path);
            if (it == entries.end() || it->second.folder) {
                problems.push_back(named + " no es un archivo de " + archive);
            } else if (it->second.size != line->size) {
                problems.push_back(named + " dice " + core::DecimalText(static_cast<std::int64_t>(line->size)) +
                                   " bytes y " + archive + " tiene " +
                                   core::DecimalText(static_cast<std::int64_t>(it->second.size)));
            } else if (it->second.sha256 != line->sha256) {
                problems.push_back(named + " tiene otra huella SHA-256 en " + archive);
            }
        }
    }
    return problems;
}

}  // namespace parchear
