// The console's document as a rich-text box: selections at odd places, replacement,
// formats per paragraph, and the UTF-8/UTF-16 crossing under bad input.
#include <gtest/gtest.h>

#include "core/utf8.h"
#include "updater/window/console_document.h"
#include "updater/window/window_ids.h"

namespace {

using update::Alignment;
using window::CharFormat;
using window::ConsoleDocument;

std::string Utf8(const std::u16string& s) { return core::Utf16ToUtf8(s); }

void Insert(ConsoleDocument& doc, std::size_t at, std::size_t length, const std::string& text, std::uint32_t color) {
    doc.SetSelection(at, length);
    doc.SetSelColor(color);
    doc.SetSelText(text);
}

TEST(ConsoleDocument, EmptyDocumentHasNoLines) {
    ConsoleDocument doc;
    EXPECT_EQ(doc.TextLength(), 0u);
    EXPECT_TRUE(doc.Lines().empty());
    doc.SetSelection(50, 50);  // beyond the end: clamped
    doc.SetSelText("a");
    EXPECT_EQ(Utf8(doc.Text()), "a");
    ASSERT_EQ(doc.Lines().size(), 1u);  // a last paragraph without a break is a line
}

TEST(ConsoleDocument, SelectionsAreClampedAndNeverSplitABreak) {
    const struct {
        std::size_t start, length;
        const char* expected;
    } cases[] = {
        {0, 0, "Xab\r\ncd\r\n"},  {2, 0, "abX\r\ncd\r\n"}, {3, 0, "ab\r\nXcd\r\n"},  // 3: inside CR LF
        {3, 1, "ab\r\nXd\r\n"},   {1, 3, "aXcd\r\n"},      {0, 99, "X"},
        {99, 5, "ab\r\ncd\r\nX"}, {7, 0, "ab\r\ncd\r\nX"},
    };
    for (const auto& c : cases) {
        ConsoleDocument doc;
        Insert(doc, 0, 0, "ab\r\ncd\r\n", 1);
        Insert(doc, c.start, c.length, "X", 2);
        EXPECT_EQ(Utf8(doc.Text()), c.expected) << c.start << "," << c.length;
    }
}

TEST(ConsoleDocument, ClearRemovesTextAndFormatting) {
    ConsoleDocument doc;
    doc.SetSelBold(true);
    doc.SetSelText("negrita\r\n");
    doc.ClearText();
    EXPECT_EQ(doc.TextLength(), 0u);
    doc.SetSelection(0, 0);  // the insertion format returns to the default
    doc.SetSelText("normal");
    ASSERT_EQ(doc.Lines().size(), 1u);
    EXPECT_EQ(doc.Lines()[0].format, CharFormat{});
}

TEST(ConsoleDocument, EarlierLinesKeepTheirFormatting) {
    ConsoleDocument doc;
    doc.SetSelBold(true);
    doc.SetSelItalic(true);
    doc.SetSelColor(0x123456);
    doc.SetSelAlignment(Alignment::Right);
    doc.SetSelText("uno\r\n");
    // A new selection at the end takes the format before it until it is set again.
    doc.SetSelection(doc.TextLength(), 0);
    doc.SetSelBold(false);
    doc.SetSelText("dos\r\n");
    const auto lines = doc.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].format, (CharFormat{0x123456, true, true, Alignment::Right}));
    EXPECT_EQ(lines[1].format, (CharFormat{0x123456, false, true, Alignment::Right}));
}

TEST(ConsoleDocument, InsertedTextLeavesTheSelectionAfterIt) {
    ConsoleDocument doc;
    doc.SetSelText("ab");
    doc.SetSelText("cd");
    EXPECT_EQ(Utf8(doc.Text()), "abcd");
}

TEST(LineFormatMessage, PacksAndUnpacksEveryField) {
    const CharFormat formats[] = {
        {},
        {0x00FFFFFF, true, false, Alignment::Center},
        {0x0000FFCC, false, true, Alignment::Right},
        {0x00010203, true, true, Alignment::Left},
    };
    for (const auto& f : formats) EXPECT_EQ(window::ids::UnpackLineFormat(window::ids::PackLineFormat(f)), f);
    EXPECT_FALSE(window::ids::UnpackLineFormat(-1).has_value());
    // A colour with a stray high byte keeps only its 24 colour bits.
    EXPECT_EQ(
        window::ids::UnpackLineFormat(window::ids::PackLineFormat({0xFF0000FF, false, false, Alignment::Left}))->color,
        0x0000FFu);
}

}  // namespace
