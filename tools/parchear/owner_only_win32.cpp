#include <windows.h>

#include <aclapi.h>

#include <vector>

#include "core/handle_win32.h"
#include "core/runtime_error.h"
#include "core/text_win32.h"
#include "core/win32_error.h"
#include "tools/parchear/owner_only.h"

namespace parchear {
namespace {

[[noreturn]] void Fail(DWORD code, const std::string& path) { core::Raise(core::ErrorKindOfWin32(code), path); }

using LocalAcl = core::UniqueResource<core::NullIsEmpty<PACL, ::LocalFree>>;

}  // namespace

void KeepToOwner(const std::string& path) {
    core::UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Receive())) Fail(::GetLastError(), path);
    DWORD size = 0;
    ::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    if (size < sizeof(TOKEN_USER) || size > 4096) Fail(ERROR_INVALID_PARAMETER, path);
    std::vector<unsigned char> user(size);
    if (!::GetTokenInformation(token.Get(), TokenUser, user.data(), size, &size)) Fail(::GetLastError(), path);

    EXPLICIT_ACCESSW entry{};
    entry.grfAccessPermissions = FILE_ALL_ACCESS;
    entry.grfAccessMode = SET_ACCESS;
    entry.grfInheritance = NO_INHERITANCE;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entry.Trustee.TrusteeType = TRUSTEE_IS_USER;
    entry.Trustee.ptstrName = static_cast<LPWSTR>(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid);
    LocalAcl acl;
    const DWORD made = ::SetEntriesInAclW(1, &entry, nullptr, acl.Receive());
    if (made != ERROR_SUCCESS) Fail(made, path);

    // Protected: nothing inherited from the folder (Users, Administrators) stays on the file.
    std::wstring wide = core::Utf8ToWide(path);
    const DWORD set = ::SetNamedSecurityInfoW(wide.data(), SE_FILE_OBJECT,
                                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                              nullptr, acl.Get(), nullptr);
    if (set != ERROR_SUCCESS) Fail(set, path);
}

}  // namespace parchear
