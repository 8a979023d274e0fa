// The console's content as a rich-text box keeps it: plain UTF-16 text whose line breaks are
// CR LF, one format per character, a selection and the format of the next insertion. The
// console window paints it; tests read it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "updater/update/console.h"

namespace window {

using update::Alignment;

struct CharFormat {
    std::uint32_t color = 0;  // 0x00BBGGRR
    bool bold = false;
    bool italic = false;
    Alignment alignment = Alignment::Left;
    bool operator==(const CharFormat&) const = default;
};

// One paragraph of the console: its text without the line break, and its format.
struct ConsoleLine {
    std::u16string text;
    CharFormat format;
};

class ConsoleDocument final : public update::RichTextBox {
public:
    // Called by Refresh(): the window repaints the box there.
    void SetRepaint(std::function<void()> repaint) { m_repaint = std::move(repaint); }

    std::size_t TextLength() override { return m_text.size(); }
    void ClearText() override;
    // Clamped to the text; a position between CR and LF moves past the LF.
    void SetSelection(std::size_t start, std::size_t length) override;
    void SetSelBold(bool bold) override { m_pending.bold = bold; }
    void SetSelItalic(bool italic) override { m_pending.italic = italic; }
    void SetSelColor(std::uint32_t color) override { m_pending.color = color; }
    void SetSelAlignment(Alignment alignment) override { m_pending.alignment = alignment; }
    // Replaces the selection with text in the pending format; CR, LF and CR LF all become
    // CR LF. The selection ends up empty after the inserted text.
    void SetSelText(const std::string& text) override;
    void Refresh() override;

    const std::u16string& Text() const { return m_text; }
    // The paragraphs, without the empty one that follows a final line break. A paragraph's
    // format is that of its first character (of its line break when it is empty).
    std::vector<ConsoleLine> Lines() const;

private:
    std::size_t SnapOutOfBreak(std::size_t position) const;

    std::u16string m_text;
    std::vector<CharFormat> m_formats;  // one per unit of m_text
    std::size_t m_selStart = 0;
    std::size_t m_selLength = 0;
    CharFormat m_pending;
    std::function<void()> m_repaint;
};

}  // namespace window
