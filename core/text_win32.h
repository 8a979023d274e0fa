// Text crossing into Windows: UTF-8 inside the programs, UTF-16 or an explicit code page outside.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace core {

// UTF-8 and UTF-16 as core/utf8.h converts them (an invalid sequence becomes U+FFFD).
std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);
// Text in the given code page (CP_OEMCP, 437, ...) to UTF-8. Nothing goes the other way: the
// programs hand Windows UTF-16.
std::string CodePageToUtf8(std::string_view text, UINT codePage);

// Folder of the running executable, without a trailing separator, as UTF-8.
std::string ExecutableFolder();

}  // namespace core
