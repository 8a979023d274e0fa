// What an elevated Instalador may run: a copy of an installer in a folder only administrators
// can write, checked after copying, so no one can swap the file between the check and the start.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "core/handle_win32.h"

namespace instalador {

// The publisher whose signature every runtime installer must carry.
inline constexpr std::wstring_view kRuntimePublisher = L"Microsoft Corporation";

// True when the open file carries a valid Authenticode signature whose chain ends in a trusted
// root and whose signer is named publisher (organisation or common name). Never raises.
bool SignedBy(HANDLE file, const std::wstring& path, std::wstring_view publisher) noexcept;

// A private copy of a file: a new folder under the temporary folder with a protected DACL
// (Administrators and SYSTEM only), held open so it cannot be renamed away, and the copy inside
// it held open for reading only, so it cannot be changed while it is checked and run. Both are
// deleted at destruction (the process started from the copy must have ended by then).
class PrivateCopy {
public:
    // Raises core::RuntimeError (with source as detail) when the source cannot be read or the
    // copy cannot be made.
    explicit PrivateCopy(const std::wstring& source, const std::string& sourceUtf8);
    ~PrivateCopy();
    PrivateCopy(const PrivateCopy&) = delete;
    PrivateCopy& operator=(const PrivateCopy&) = delete;

    const std::wstring& Path() const { return m_path; }
    HANDLE File() const { return m_file.Get(); }

private:
    // Closes and deletes the copy and its folder (whatever of them exists).
    void Remove() noexcept;

    std::wstring m_folder;
    std::wstring m_path;
    core::UniqueHandle m_folderHandle;
    core::UniqueHandle m_file;
};

}  // namespace instalador
