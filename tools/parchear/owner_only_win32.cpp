#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
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
using LocalDescriptor = core::UniqueResource<core::NullIsEmpty<PSECURITY_DESCRIPTOR, ::LocalFree>>;
using LocalText = core::UniqueResource<core::NullIsEmpty<LPWSTR, ::LocalFree>>;

// The TOKEN_USER of this process: the account the operator runs parchear as.
std::vector<unsigned char> CurrentUser(const std::string& path) {
    core::UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Receive())) Fail(::GetLastError(), path);
    DWORD size = 0;
    ::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    if (size < sizeof(TOKEN_USER) || size > 4096) Fail(ERROR_INVALID_PARAMETER, path);
    std::vector<unsigned char> user(size);
    if (!::GetTokenInformation(token.Get(), TokenUser, user.data(), size, &size)) Fail(::GetLastError(), path);
    return user;
}

PSID SidOf(std::vector<unsigned char>& user) { return reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid; }

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
    BYTE buffer[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof buffer;
    return ::CreateWellKnownSid(type, nullptr, buffer, &size) && ::EqualSid(sid, buffer);
}

// The account's name as Windows shows it, or its SID string when it has none here.
std::string AccountName(PSID sid) {
    wchar_t name[256], domain[256];
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    if (::LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use)) return core::WideToUtf8(name);
    LocalText text;
    if (::ConvertSidToStringSidW(sid, text.Receive())) return core::WideToUtf8(text.Get());
    return "?";
}

}  // namespace

bool CreateOwnerOnlyFile(const std::string& path, std::string_view content) {
    std::vector<unsigned char> user = CurrentUser(path);
    EXPLICIT_ACCESSW entry{};
    entry.grfAccessPermissions = FILE_ALL_ACCESS;
    entry.grfAccessMode = SET_ACCESS;
    entry.grfInheritance = NO_INHERITANCE;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entry.Trustee.TrusteeType = TRUSTEE_IS_USER;
    entry.Trustee.ptstrName = static_cast<LPWSTR>(SidOf(user));
    LocalAcl acl;
    const DWORD made = ::SetEntriesInAclW(1, &entry, nullptr, acl.Receive());
    if (made != ERROR_SUCCESS) Fail(made, path);

    // Protected: nothing the folder would pass on (Users, Administrators) is merged into the file's list.
    SECURITY_DESCRIPTOR descriptor;
    if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&descriptor, TRUE, acl.Get(), FALSE) ||
        !::SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
        Fail(::GetLastError(), path);
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
    const std::wstring wide = core::Utf8ToWide(path);
    core::UniqueHandle file(
        ::CreateFileW(wide.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return false;
        Fail(error, path);
    }
    DWORD error = ERROR_SUCCESS;
    for (std::size_t at = 0; at < content.size() && error == ERROR_SUCCESS;) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size() - at, 1u << 20));
        if (!::WriteFile(file.Get(), content.data() + at, chunk, &written, nullptr) || written == 0) {
            error = written == 0 && ::GetLastError() == ERROR_SUCCESS ? ERROR_WRITE_FAULT : ::GetLastError();
        }
        at += written;
    }
    if (error == ERROR_SUCCESS && !::FlushFileBuffers(file.Get())) error = ::GetLastError();
    file.Reset();
    if (error != ERROR_SUCCESS) {
        ::DeleteFileW(wide.c_str());
        Fail(error, path);
    }
    return true;
}

std::string OthersWhoMayRead(const std::string& path) {
    std::vector<unsigned char> user = CurrentUser(path);
    PSID owner = nullptr;
    PACL dacl = nullptr;
    LocalDescriptor descriptor;
    std::wstring wide = core::Utf8ToWide(path);
    const DWORD got =
        ::GetNamedSecurityInfoW(wide.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                &owner, nullptr, &dacl, nullptr, descriptor.Receive());
    if (got != ERROR_SUCCESS) Fail(got, path);
    if (dacl == nullptr) return "todos (el archivo no tiene lista de acceso)";
    constexpr ACCESS_MASK kReads = FILE_READ_DATA | GENERIC_READ | GENERIC_ALL | MAXIMUM_ALLOWED;
    std::string others;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* raw = nullptr;
        if (!::GetAce(dacl, i, &raw)) Fail(::GetLastError(), path);
        const auto* header = static_cast<const ACE_HEADER*>(raw);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE) != 0) continue;
        const auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
        if ((ace->Mask & kReads) == 0) continue;
        PSID sid = const_cast<DWORD*>(&ace->SidStart);
        if ((owner != nullptr && ::EqualSid(sid, owner)) || ::EqualSid(sid, SidOf(user)) ||
            IsWellKnown(sid, WinLocalSystemSid) || IsWellKnown(sid, WinBuiltinAdministratorsSid)) {
            continue;
        }
        if (!others.empty()) others += ", ";
        others += AccountName(sid);
    }
    return others;
}

}  // namespace parchear
