#include "tools/parchear/server_permissions.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "core/runtime_error.h"
#include "tools/parchear/folder_scan.h"
#include "tools/parchear/refusal.h"
#include "tools/parchear/server_folder.h"

namespace parchear {
namespace {

namespace stdfs = std::filesystem;

void OpenToAll([[maybe_unused]] const std::string& path, [[maybe_unused]] bool folder) {
#ifndef _WIN32
    using stdfs::perms;
    const perms mode = perms::owner_read | perms::owner_write | perms::group_read | perms::others_read |
                       (folder ? perms::owner_exec | perms::group_exec | perms::others_exec : perms::none);
    std::error_code error;
    stdfs::permissions(PathOf(path), mode, stdfs::perm_options::replace, error);
    // A path only a test's file seam holds has no permissions to set.
    if (error && error != std::errc::no_such_file_or_directory) core::Raise(core::ErrorKind::PermissionDenied, path);
#endif
}

#ifndef _WIN32
// The problem of one served path whose "others" bits lack what the web server needs; empty when fine.
std::string Unreadable(const std::string& path, bool folder) {
    std::error_code error;
    const stdfs::file_status status = stdfs::status(PathOf(path), error);
    if (error || !stdfs::exists(status)) return {};
    const stdfs::perms need = folder ? stdfs::perms::others_exec : stdfs::perms::others_read;
    if ((status.permissions() & need) != stdfs::perms::none) return {};
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.permissions() & stdfs::perms::mask));
    return path + " no lo puede leer el servidor web (permisos " + mode +
           "): los jugadores recibirán un error 403. Ejecute «chmod " + (folder ? "755 " : "644 ") + path + "»";
}
#endif

}  // namespace

void ServedFileSystem::Replace(const std::string& from, const std::string& to) {
    OpenToAll(from, false);
    Inner().Replace(from, to);
}

void ServedFileSystem::ReplaceUnflushed(const std::string& from, const std::string& to) {
    OpenToAll(from, false);
    Inner().ReplaceUnflushed(from, to);
}

void ServedFileSystem::CreateDirectory(const std::string& path) {
    const bool existed = Inner().DirectoryExists(path);
    Inner().CreateDirectory(path);
    if (!existed) OpenToAll(path, true);
}

std::vector<std::string> UnreadableByWebServer([[maybe_unused]] const std::string& server,
                                               [[maybe_unused]] const std::vector<int>& archives) {
    std::vector<std::string> problems;
#ifndef _WIN32
    const auto add = [&](std::string problem) {
        if (!problem.empty()) problems.push_back(std::move(problem));
    };
    add(Unreadable(PatchesFolder(server), true));
    add(Unreadable(VersionPath(server), false));
    for (int n : archives) add(Unreadable(ArchivePath(server, n), false));
#endif
    return problems;
}

}  // namespace parchear
