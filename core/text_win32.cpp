#include "core/text_win32.h"

#include <vector>

#include "core/path_win32.h"
#include "core/utf8.h"

namespace core {

// Windows's wchar_t is a UTF-16 code unit, so the portable converter serves both ways.
static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::wstring Utf8ToWide(std::string_view text) {
    const std::u16string utf16 = Utf8ToUtf16(text);
    return std::wstring(utf16.begin(), utf16.end());
}

std::string WideToUtf8(std::wstring_view text) { return Utf16ToUtf8(std::u16string(text.begin(), text.end())); }

std::string CodePageToUtf8(std::string_view text, UINT codePage) {
    if (text.empty()) return {};
    const int n = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return WideToUtf8(wide);
}

std::string ExecutableFolder() {
    std::wstring path = ModuleFileName(nullptr);
    const auto slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos) path.resize(slash);
    return WideToUtf8(path);
}

}  // namespace core
