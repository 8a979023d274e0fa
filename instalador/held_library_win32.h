// The game's network library as an elevated Instalador loads it: held open so that no one can
// change, rename or delete it, nor rename its folder, between its check and its load.
#pragma once

#include <windows.h>

#include <string>

#include "core/handle_win32.h"

namespace instalador {

class HeldLibrary {
public:
    // Opens and checks the library at path (path_utf8 names it in messages). Raises Untrusted
    // when it is refused, core::RuntimeError when it cannot be opened and held.
    HeldLibrary(const std::wstring& path, const std::string& pathUtf8);

    // True when other names the held file (through any of its names); false when it cannot be opened.
    bool IsFile(const std::wstring& other) const;

private:
    core::UniqueHandle m_folder;
    core::UniqueHandle m_file;
};

// Loads the library by its full path, its own dependencies from System32 only (never from the
// game folder, which others may write); null when it cannot be loaded. No system error box for
// a file that is not a library: the caller reports it.
HMODULE LoadFromSystemOnly(const std::wstring& path);

// The in-process server registered for the network library's class (a REG_EXPAND_SZ one
// expanded); empty when none.
std::wstring RegisteredLibrary();

}  // namespace instalador
