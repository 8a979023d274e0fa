#include <filesystem>
#include <system_error>

#include "core/runtime_error.h"
#include "tools/parchear/folder_scan.h"
#include "tools/parchear/owner_only.h"

namespace parchear {

void KeepToOwner(const std::string& path) {
    std::error_code error;
    std::filesystem::permissions(PathOf(path), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::replace, error);
    if (error) core::Raise(core::ErrorKind::PermissionDenied, path);
}

}  // namespace parchear
