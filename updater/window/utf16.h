// UTF-8 <-> UTF-16 on every platform: the console keeps UTF-16 text, as the Windows rich-text
// box does, so that lengths count the units Windows counts.
#pragma once

#include <string>
#include <string_view>

namespace window {

// Each invalid, overlong, surrogate or out-of-range sequence becomes one U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
// A lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace window
