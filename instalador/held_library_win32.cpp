#include "instalador/held_library_win32.h"

#include <windows.h>
// After windows.h, which defines their types.
#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "core/crypto.h"
#include "core/runtime_error.h"
#include "core/text_win32.h"
#include "core/win32_error.h"
#include "instalador/library_identity.h"
#include "instalador/platform.h"
#include "instalador/selvane_class_win32.h"
#include "instalador/trust.h"
#include "instalador/trust_win32.h"

namespace instalador {
namespace {

// An SID as text ("S-1-5-18"); empty when it cannot be converted.
std::string SidText(PSID sid) {
    LPWSTR text = nullptr;
    if (!sid || !::ConvertSidToStringSidW(sid, &text)) return {};
    std::string s = core::WideToUtf8(text);
    ::LocalFree(text);
    return s;
}

// The user this process runs as; empty when the token cannot be read (nobody is then trusted but
// the built-in administrators).
std::string OwnUser() {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
    const core::UniqueHandle token(raw);
    DWORD size = 0;
    ::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    if (size == 0 || size > 4096) return {};
    std::vector<BYTE> buffer(size);
    if (!::GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) return {};
    return SidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
}

// Owner and access list of an open object; an unreadable one counts as changeable by anyone.
AccessFacts FactsOf(HANDLE object) {
    PSID owner = nullptr;
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    AccessFacts facts;
    if (::GetSecurityInfo(object, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                          nullptr, &list, nullptr, &descriptor) != ERROR_SUCCESS) {
        facts.hasList = false;
        return facts;
    }
    facts.owner = SidText(owner);
    facts.hasList = list != nullptr;
    for (DWORD i = 0; list && i < list->AceCount; ++i) {
        void* raw = nullptr;
        if (!::GetAce(list, i, &raw)) continue;
        const auto* header = static_cast<const ACE_HEADER*>(raw);
        // Every kind of entry puts its mask right after the header; only the two plain kinds are
        // read for their trustee, any other allowing kind counts as granted to a stranger.
        const auto* plain = static_cast<const ACCESS_ALLOWED_ACE*>(raw);
        AccessEntry entry;
        entry.mask = plain->Mask;
        entry.allows = header->AceType != ACCESS_DENIED_ACE_TYPE &&
                       header->AceType != ACCESS_DENIED_CALLBACK_ACE_TYPE &&
                       header->AceType != ACCESS_DENIED_OBJECT_ACE_TYPE;
        entry.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
        if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
            entry.sid = SidText(const_cast<DWORD*>(&plain->SidStart));
        }
        facts.entries.push_back(std::move(entry));
    }
    ::LocalFree(descriptor);
    return facts;
}

// The file's SHA-256, read from its start through the held handle.
std::string Sha256Of(HANDLE file, const std::string& pathUtf8) {
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN))
        core::Raise(core::ErrorKindOfWin32(::GetLastError()), pathUtf8);
    core::crypto::Sha256 hash;
    std::vector<char> buffer(1 << 16);
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            core::Raise(core::ErrorKindOfWin32(::GetLastError()), pathUtf8);
        }
        if (got == 0) break;
        hash.Update(buffer.data(), got);
    }
    return core::crypto::HexOf(hash.Finish());
}

// The identity of a file: its volume and its index on it.
bool IdentityOf(HANDLE file, BY_HANDLE_FILE_INFORMATION& info) {
    return ::GetFileInformationByHandle(file, &info) != FALSE;
}

}  // namespace

HeldLibrary::HeldLibrary(const std::wstring& path, const std::string& pathUtf8) {
    const std::size_t slash = path.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? L"." : path.substr(0, slash);
    // No delete sharing on either: neither can be renamed away and replaced while held; no write
    // sharing on the file, so this fails while anyone holds it open for writing.
    m_folder.Reset(::CreateFileW(folder.c_str(), READ_CONTROL | FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!m_folder) core::Raise(core::ErrorKindOfWin32(::GetLastError()), pathUtf8);
    m_file.Reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!m_file) core::Raise(core::ErrorKindOfWin32(::GetLastError()), pathUtf8);

    std::vector<std::string_view> hashes;
    for (const std::string_view h : kLibrarySha256Table) {
        if (!h.empty()) hashes.push_back(h);
    }
    const LibraryIdentity identity{hashes, kLibrarySigner};
    const std::string own = OwnUser();
    const std::string digest = hashes.empty() ? std::string() : Sha256Of(m_file.Get(), pathUtf8);
    const bool signedBy = !identity.signer.empty() && SignedBy(m_file.Get(), path, core::Utf8ToWide(identity.signer));
    const bool fileOpen = identity.Empty() && OthersCanChange(FactsOf(m_file.Get()), false, own);
    const bool folderOpen = identity.Empty() && OthersCanChange(FactsOf(m_folder.Get()), true, own);
    const Distrust doubt = JudgeLibrary(identity, digest, signedBy, fileOpen, folderOpen);
    if (doubt != Distrust::None) throw Untrusted{pathUtf8, doubt};
}

bool HeldLibrary::IsFile(const std::wstring& other) const {
    const core::UniqueHandle h(::CreateFileW(other.c_str(), FILE_READ_ATTRIBUTES,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
    BY_HANDLE_FILE_INFORMATION mine{}, theirs{};
    return h && IdentityOf(m_file.Get(), mine) && IdentityOf(h.Get(), theirs) &&
           mine.dwVolumeSerialNumber == theirs.dwVolumeSerialNumber && mine.nFileIndexHigh == theirs.nFileIndexHigh &&
           mine.nFileIndexLow == theirs.nFileIndexLow;
}

HMODULE LoadFromSystemOnly(const std::wstring& path) {
    DWORD previous = 0;
    const bool silenced = ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous);
    HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (silenced) ::SetThreadErrorMode(previous, nullptr);
    return module;
}

std::wstring RegisteredLibrary() {
    wchar_t clsid[40] = {};
    if (::StringFromGUID2(kSelvaneClass, clsid, 40) == 0) return {};
    const std::wstring key = std::wstring(L"CLSID\\") + clsid + L"\\InprocServer32";
    std::vector<wchar_t> value(MAX_PATH * 2);
    DWORD size = static_cast<DWORD>((value.size() - 1) * sizeof(wchar_t));
    if (::RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value.data(), &size) !=
        ERROR_SUCCESS) {
        return {};
    }
    std::wstring path(value.data());
    // A path written with quotes names the same file without them.
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') path = path.substr(1, path.size() - 2);
    return path;
}

}  // namespace instalador
