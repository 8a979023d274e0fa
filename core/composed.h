// Names in the composed form (Unicode NFC) that Windows and nearly every archiver write. macOS
// writes them decomposed ("e" followed by U+0301 for "é"), which NTFS would keep as a second
// file beside the one of the same name the game already has.
#pragma once

#include <string>
#include <string_view>

namespace core {

// The NFC form of well-formed UTF-8 text; any other text comes back unchanged.
std::string ComposedUtf8(std::string_view text);

}  // namespace core
