#include "updater/update/own_files.h"

#include "core/runtime_error.h"

namespace update {
namespace {

constexpr std::string_view kAsideMark = ".anterior-";

// Position of the file name in path (after the last separator).
std::size_t NameStart(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? 0 : slash + 1;
}

}  // namespace

std::string AsideName(const std::string& path, int slot) {
    const std::size_t name = NameStart(path);
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= name) dot = path.size();
    std::string aside = path.substr(0, dot);
    aside += kAsideMark;
    aside += std::to_string(slot);
    aside += path.substr(dot);
    return aside;
}

std::optional<std::string> AsideOrigin(const std::string& path) {
    const std::size_t name = NameStart(path);
    const std::size_t mark = path.rfind(kAsideMark);
    if (mark == std::string::npos || mark <= name) return std::nullopt;
    std::size_t at = mark + kAsideMark.size();
    int slot = 0;
    while (at < path.size() && path[at] >= '0' && path[at] <= '9' && slot <= kAsideSlots) {
        slot = slot * 10 + (path[at] - '0');
        ++at;
    }
    if (slot < 1 || slot > kAsideSlots) return std::nullopt;
    const std::string rest = path.substr(at);
    if (!rest.empty() && (rest[0] != '.' || rest.find('.', 1) != std::string::npos)) return std::nullopt;
    const std::string origin = path.substr(0, mark) + rest;
    if (AsideName(origin, slot) != path) return std::nullopt;
    return origin;
}

std::string ReplaceOwnFile(core::FileSystem& fs, OwnFiles& own, const std::string& temp, const std::string& path) {
    std::string aside;
    for (int slot = 1; slot <= kAsideSlots && aside.empty(); ++slot) {
        std::string candidate = AsideName(path, slot);
        fs.RemoveIfExists(candidate);  // a copy of an earlier run that is no longer in use
        if (!fs.FileExists(candidate)) aside = std::move(candidate);
    }
    if (aside.empty()) core::Raise(core::ErrorKind::PermissionDenied, path + ": todas las copias apartadas en uso");
    own.Reached(OwnFileStep::Ready);
    // The two moves follow each other at once: between them there is no file at path. The
    // second one waits for the disk, so that both are durable before the run goes on.
    fs.ReplaceUnflushed(path, aside);
    own.Reached(OwnFileStep::Aside);
    try {
        fs.Replace(temp, path);
    } catch (const core::RuntimeError&) {
        try {
            RestoreOwnFile(fs, own, aside, path);
        } catch (const core::RuntimeError&) {
            // The aside copy still starts; the next start moves it back.
        }
        throw;
    }
    own.Reached(OwnFileStep::Replaced);
    return aside;
}

void RestoreOwnFile(core::FileSystem& fs, OwnFiles& own, const std::string& aside, const std::string& path) {
    fs.Replace(aside, path);
    own.Reached(OwnFileStep::Restored);
}

std::string RepairOwnFile(core::FileSystem& fs, const std::string& runningPath) noexcept {
    try {
        if (const auto origin = AsideOrigin(runningPath)) {
            if (fs.FileExists(*origin)) return runningPath;
            fs.Replace(runningPath, *origin);
            return *origin;
        }
        for (int slot = 1; slot <= kAsideSlots; ++slot) fs.RemoveIfExists(AsideName(runningPath, slot));
    } catch (...) {
        // Nothing here may stop the start: what is left is tried again next time.
    }
    return runningPath;
}

}  // namespace update
