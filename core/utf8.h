// UTF-8 on every platform, without the system's help: the console keeps UTF-16 text as the
// Windows rich-text box does, and zip entry names are checked and folded byte by byte.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace core {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// The code point at text[i], advancing i past it. An invalid, overlong, surrogate or
// out-of-range sequence is one U+FFFD and advances one byte. i must be inside text.
char32_t DecodeUtf8(std::string_view text, std::size_t& i);
// Whether every byte is ASCII (such text reads the same in UTF-8 and in every code page).
bool IsAscii(std::string_view text);
// Whether text is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view text);
// Appends the UTF-8 form of one code point (at most U+10FFFF).
void AppendUtf8(std::string& out, char32_t cp);

// Each invalid sequence becomes one U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
// A lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace core
