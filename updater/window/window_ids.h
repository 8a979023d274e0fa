// What frmMain's windows show to other processes (tests, accessibility tools): class names,
// control ids, and the private messages that read the console's formats and the bar.
#pragma once

#include <cstdint>
#include <optional>

#include "updater/window/console_document.h"

namespace window::ids {

inline constexpr const wchar_t* kMainClass = L"VandrelUpdaterMain";
inline constexpr const wchar_t* kConsoleClass = L"VandrelConsole";
inline constexpr const wchar_t* kLabelClass = L"VandrelLabel";
inline constexpr int kConsoleId = 101;  // RichTextBox1
inline constexpr int kLabelId = 102;    // LblPorc

inline constexpr unsigned kAppMessageBase = 0x8000;  // WM_APP
// Console: number of lines (without the empty one after the final line break).
inline constexpr unsigned kConsoleLineCount = kAppMessageBase + 1;
// Console: wParam = line index; PackLineFormat of its format, -1 when there is no such line.
inline constexpr unsigned kConsoleLineFormat = kAppMessageBase + 2;
// Main window: ProgressBar1 as (visible ? 1 << 16 : 0) | visible pixels of the picture.
inline constexpr unsigned kBarState = kAppMessageBase + 3;

// Colour in bits 0-23, bold bit 24, italic bit 25, alignment in bits 26-27.
constexpr std::int64_t PackLineFormat(const CharFormat& f) {
    return static_cast<std::int64_t>(f.color & 0xFFFFFFu) | (f.bold ? 1ll << 24 : 0) | (f.italic ? 1ll << 25 : 0) |
           (static_cast<std::int64_t>(static_cast<int>(f.alignment) & 3) << 26);
}

// Nothing for negative values (no such line).
constexpr std::optional<CharFormat> UnpackLineFormat(std::int64_t packed) {
    if (packed < 0) return std::nullopt;
    CharFormat f;
    f.color = static_cast<std::uint32_t>(packed & 0xFFFFFF);
    f.bold = ((packed >> 24) & 1) != 0;
    f.italic = ((packed >> 25) & 1) != 0;
    f.alignment = static_cast<Alignment>((packed >> 26) & 3);
    return f;
}

}  // namespace window::ids
