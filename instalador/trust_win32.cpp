#include "instalador/trust_win32.h"

#include <windows.h>
// After windows.h, which defines their types.
#include <sddl.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <vector>

#include "core/runtime_error.h"
#include "core/win32_error.h"

namespace instalador {
namespace {

// Chain faults that mean the signer is not vouched for by a trusted root. Wine's WinVerifyTrust
// accepts a valid signature from any certificate, so the chain is looked at here as well.
constexpr DWORD kChainFaults = CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN |
                               CERT_TRUST_IS_NOT_SIGNATURE_VALID | CERT_TRUST_IS_REVOKED | CERT_TRUST_IS_CYCLIC |
                               CERT_TRUST_IS_EXPLICIT_DISTRUST;

// Administrators and SYSTEM full control, inherited by what is created inside, nothing else, and
// nothing inherited from the parent.
constexpr const wchar_t* kAdminOnly = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

std::wstring NameOf(PCCERT_CONTEXT cert, DWORD type, void* parameter) {
    wchar_t name[256] = {};
    const DWORD n = ::CertGetNameStringW(cert, type, 0, parameter, name, 256);
    return n > 1 ? std::wstring(name) : std::wstring();
}

// The signer's certificate names publisher and its chain has none of the faults above.
bool SignerIs(HANDLE state, std::wstring_view publisher) {
    CRYPT_PROVIDER_DATA* data = ::WTHelperProvDataFromStateData(state);
    if (!data || data->csSigners == 0 || !data->pasSigners) return false;
    const CRYPT_PROVIDER_SGNR& signer = data->pasSigners[0];
    if (signer.csCertChain == 0 || !signer.pasCertChain || !signer.pasCertChain[0].pCert) return false;
    if (!signer.pChainContext || (signer.pChainContext->TrustStatus.dwErrorStatus & kChainFaults) != 0) return false;
    PCCERT_CONTEXT cert = signer.pasCertChain[0].pCert;
    char organisation[] = szOID_ORGANIZATION_NAME;
    return NameOf(cert, CERT_NAME_ATTR_TYPE, organisation) == publisher ||
           NameOf(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, nullptr) == publisher;
}

// A new folder with the protected DACL; raises when none can be made.
std::wstring MakePrivateFolder(const std::string& detail) {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH) core::Raise(core::ErrorKind::PathNotFound, detail);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdminOnly, SDDL_REVISION_1, &descriptor, nullptr)) {
        core::Raise(core::ErrorKindOfWin32(::GetLastError()), detail);
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    std::wstring folder;
    DWORD error = ERROR_ALREADY_EXISTS;
    // A name someone else already took (even on purpose) is skipped, never reused.
    for (unsigned attempt = 0; attempt < 100 && error == ERROR_ALREADY_EXISTS; ++attempt) {
        folder = temp;
        folder += L"Vandrel.Instalador.";
        folder += std::to_wstring(::GetCurrentProcessId());
        folder += L'.';
        folder += std::to_wstring(::GetTickCount() + attempt);
        error = ::CreateDirectoryW(folder.c_str(), &attributes) ? ERROR_SUCCESS : ::GetLastError();
    }
    ::LocalFree(descriptor);
    if (error != ERROR_SUCCESS) core::Raise(core::ErrorKindOfWin32(error), detail);
    return folder;
}

// Copies every byte of source into target; false on any read or write failure.
bool CopyBytes(HANDLE source, HANDLE target) {
    std::vector<char> buffer(1 << 16);
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(source, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) return false;
        if (got == 0) return true;
        DWORD written = 0;
        if (!::WriteFile(target, buffer.data(), got, &written, nullptr) || written != got) return false;
    }
}

}  // namespace

bool SignedBy(HANDLE file, const std::wstring& path, std::wstring_view publisher) noexcept {
    WINTRUST_FILE_INFO info{};
    info.cbStruct = sizeof info;
    info.pcwszFilePath = path.c_str();
    info.hFile = file;
    WINTRUST_DATA data{};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &info;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const HWND noWindow = static_cast<HWND>(INVALID_HANDLE_VALUE);
    const LONG status = ::WinVerifyTrust(noWindow, &action, &data);
    bool trusted = false;
    try {
        trusted = status == ERROR_SUCCESS && data.hWVTStateData && SignerIs(data.hWVTStateData, publisher);
    } catch (const std::exception&) {
        // No memory for a name: not trusted.
    }
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    ::WinVerifyTrust(noWindow, &action, &data);
    return trusted;
}

PrivateCopy::PrivateCopy(const std::wstring& source, const std::string& sourceUtf8) {
    const core::UniqueHandle from(::CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!from) core::Raise(core::ErrorKindOfWin32(::GetLastError()), sourceUtf8);

    m_folder = MakePrivateFolder(sourceUtf8);
    // No FILE_SHARE_DELETE: the folder cannot be renamed and replaced while it is held.
    m_folderHandle.Reset(::CreateFileW(m_folder.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    const std::size_t slash = source.find_last_of(L"\\/");
    m_path = m_folder + L'\\' + (slash == std::wstring::npos ? source : source.substr(slash + 1));
    bool copied = false;
    DWORD error = ERROR_SUCCESS;
    if (m_folderHandle) {
        const core::UniqueHandle to(
            ::CreateFileW(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        copied = to && CopyBytes(from.Get(), to.Get());
    }
    if (!copied) error = ::GetLastError();
    // Opened again for reading only and without write or delete sharing: this fails while anyone
    // holds it open for writing, and afterwards no one can change it. What was written before
    // is what the check sees.
    if (copied) {
        m_file.Reset(::CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    }
    if (!m_file) {
        if (copied) error = ::GetLastError();
        Remove();
        core::Raise(core::ErrorKindOfWin32(error), sourceUtf8);
    }
}

PrivateCopy::~PrivateCopy() { Remove(); }

void PrivateCopy::Remove() noexcept {
    m_file.Reset();
    if (!m_path.empty()) ::DeleteFileW(m_path.c_str());
    m_folderHandle.Reset();
    if (!m_folder.empty()) ::RemoveDirectoryW(m_folder.c_str());
    m_path.clear();
    m_folder.clear();
}

}  // namespace instalador
