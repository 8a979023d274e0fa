// Text crossing into Windows: UTF-8 inside the programs, UTF-16 or an explicit code page outside.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace core {

std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);
// Text in the given code page (CP_ACP, CP_OEMCP, 437, ...) to UTF-8 and back.
std::string CodePageToUtf8(std::string_view text, UINT codePage);
std::string Utf8ToCodePage(std::string_view text, UINT codePage);

// Folder of the running executable, without a trailing separator, as UTF-8.
std::string ExecutableFolder();

}  // namespace core
