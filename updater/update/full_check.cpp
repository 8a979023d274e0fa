#include "updater/update/full_check.h"

#include <algorithm>
#include <set>
#include <vector>

#include "core/crypto.h"
#include "core/runtime_error.h"

namespace update {

CatchUpNeed FullCheck(const InstallState& state, core::FileSystem& fs, const std::string& installFolder,
                      const CheckProgress& progress) {
    CatchUpNeed need = QuickCheck(state, fs, installFolder);
    std::set<std::string_view> found;
    for (const auto& [patch, lines] : need.files) {
        for (const StateLine& line : lines) found.insert(line.path);
    }
    std::vector<const StateLine*> present;
    std::uint64_t total = 0;
    for (const StateLine& line : state.lines) {
        if (line.kind != StateLineKind::File || found.count(line.path) != 0) continue;
        present.push_back(&line);
        total += line.size;
    }

    core::crypto::Sha256 hash;
    std::vector<char> buffer(kCheckReadBytes);
    std::uint64_t done = 0;
    if (progress) progress(0, total);
    std::set<std::int16_t> added;
    for (const StateLine* line : present) {
        const std::uint64_t before = done;
        bool same = false;
        try {
            same = core::crypto::HexOf(core::crypto::Sha256OfFile(fs, InstalledPath(installFolder, line->path), hash,
                                                                  buffer, [&](std::size_t n) {
                                                                      done += n;
                                                                      if (progress) progress(done, total);
                                                                  })) == line->sha256;
        } catch (const core::RuntimeError&) {
            // Gone, locked or unreadable since its size was taken: it cannot be vouched for.
            hash.Finish();
        }
        done = before + line->size;
        if (!same) {
            need.files[line->patch].push_back(*line);
            added.insert(line->patch);
        }
    }
    if (progress) progress(total, total);
    for (const std::int16_t patch : added) {
        std::vector<StateLine>& lines = need.files[patch];
        std::sort(lines.begin(), lines.end(), [](const StateLine& a, const StateLine& b) { return a.path < b.path; });
    }
    return need;
}

}  // namespace update
