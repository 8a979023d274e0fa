#include "core/composed.h"

#include <windows.h>

#include "core/text_win32.h"
#include "core/utf8.h"

namespace core {

std::string ComposedUtf8(std::string_view text) {
    if (IsAscii(text) || !IsValidUtf8(text)) return std::string(text);
    const std::wstring wide = Utf8ToWide(text);
    const int length = static_cast<int>(wide.size());
    // The first answer is an estimate; a short buffer is answered with a better one.
    int estimate = ::NormalizeString(NormalizationC, wide.data(), length, nullptr, 0);
    for (int attempt = 0; attempt < 4 && estimate > 0; ++attempt) {
        std::wstring composed(static_cast<std::size_t>(estimate), L'\0');
        const int written = ::NormalizeString(NormalizationC, wide.data(), length, composed.data(), estimate);
        if (written > 0) {
            composed.resize(static_cast<std::size_t>(written));
            return WideToUtf8(composed);
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
        estimate = -written;
    }
    return std::string(text);
}

}  // namespace core
