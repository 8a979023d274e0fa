// The console log: one formatted, centred line per call on a rich-text box, emptied once
// it grows past 700 characters (each line break counting as two).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace update {

// Alignment values of the rich-text box's paragraphs.
enum class Alignment : int { Left = 0, Right = 1, Center = 2 };

// The rich-text box the console writes to. Text is UTF-8; lengths are in characters with
// every line break as CR LF (two characters).
class RichTextBox {
public:
    virtual ~RichTextBox() = default;
    virtual std::size_t TextLength() = 0;
    virtual void ClearText() = 0;
    virtual void SetSelection(std::size_t start, std::size_t length) = 0;
    virtual void SetSelBold(bool bold) = 0;
    virtual void SetSelItalic(bool italic) = 0;
    // Colour as 0x00BBGGRR.
    virtual void SetSelColor(std::uint32_t color) = 0;
    virtual void SetSelAlignment(Alignment alignment) = 0;
    virtual void SetSelText(const std::string& text) = 0;
    // Repaints at once, without waiting for the message loop.
    virtual void Refresh() = 0;
};

inline constexpr std::size_t kConsoleLimit = 700;

// red + 256 * green + 65536 * blue.
constexpr std::uint32_t ConsoleColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return static_cast<std::uint32_t>(red) | (static_cast<std::uint32_t>(green) << 8) |
           (static_cast<std::uint32_t>(blue) << 16);
}

// Appends text as one centred line in the given colour and style; empties the box first
// when it holds more than kConsoleLimit characters. Does not pause.
void AppendConsoleLine(RichTextBox& box, const std::string& text, std::uint32_t color, bool bold, bool italic);

}  // namespace update
