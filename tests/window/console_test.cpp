// The console rule (AppendConsoleLine) on the console's real document: the 700-character
// bound counted with CR LF, one centred line per call, formatting only on the new line.
#include <gtest/gtest.h>

#include <string>

#include "core/utf8.h"
#include "updater/update/console.h"
#include "updater/window/console_document.h"

namespace {

using update::Alignment;
using update::AppendConsoleLine;
using update::ConsoleColor;
using window::ConsoleDocument;

std::string Utf8(const std::u16string& s) { return core::Utf16ToUtf8(s); }

// Fills the document with lines of the given text until it holds exactly length units.
void FillWithLines(ConsoleDocument& doc, int lines, const std::string& text) {
    for (int i = 0; i < lines; ++i) AppendConsoleLine(doc, text, ConsoleColor(1, 2, 3), false, false);
}

TEST(ConsoleRule, TheBoundKeepsExactly700AndEmptiesAbove) {
    const struct {
        std::size_t before;  // console length before the call
        bool emptied;        // whether the call starts from an empty console
    } cases[] = {{0, false}, {699, false}, {700, false}, {701, true}, {900, true}};
    for (const auto& c : cases) {
        ConsoleDocument doc;
        // One line of before - 2 characters plus its CR LF (or nothing at 0).
        if (c.before > 0) AppendConsoleLine(doc, std::string(c.before - 2, 'x'), 0, false, false);
        ASSERT_EQ(doc.TextLength(), c.before);
        AppendConsoleLine(doc, "nueva", ConsoleColor(255, 0, 0), true, false);
        const auto lines = doc.Lines();
        if (c.emptied) {
            ASSERT_EQ(lines.size(), 1u) << c.before;
            EXPECT_EQ(Utf8(doc.Text()), "nueva\r\n");
        } else {
            EXPECT_EQ(doc.TextLength(), c.before + 7) << c.before;
            EXPECT_EQ(Utf8(lines.back().text), "nueva");
        }
    }
}

TEST(ConsoleRule, LineBreaksCountTwice) {
    ConsoleDocument doc;
    FillWithLines(doc, 100, "abcde");
    EXPECT_EQ(doc.TextLength(), 700u);
    EXPECT_EQ(doc.Lines().size(), 100u);

    AppendConsoleLine(doc, "abcde", 0, false, false);  // 700 stays: now 707
    EXPECT_EQ(doc.TextLength(), 707u);
    EXPECT_EQ(doc.Lines().size(), 101u);

    AppendConsoleLine(doc, "fin", 0, false, false);  // 707 > 700: emptied first
    EXPECT_EQ(Utf8(doc.Text()), "fin\r\n");
}

TEST(ConsoleRule, LengthCountsUtf16UnitsNotBytes) {
    ConsoleDocument doc;
    // "ñ" is two UTF-8 bytes but one character of the box.
    AppendConsoleLine(doc, std::string(697, 'a') + "\xC3\xB1", 0, false, false);
    EXPECT_EQ(doc.TextLength(), 700u);
    AppendConsoleLine(doc, "x", 0, false, false);
    EXPECT_EQ(doc.Lines().size(), 2u);  // 700 stays although the bytes are 701
}

TEST(ConsoleRule, EachCallAddsOneCentredLineInItsFormat) {
    ConsoleDocument doc;
    AppendConsoleLine(doc, "Buscando Actualizaciones...", ConsoleColor(255, 255, 255), true, false);
    AppendConsoleLine(doc, "Listo.", ConsoleColor(204, 255, 0), false, true);
    AppendConsoleLine(doc, "", ConsoleColor(0, 255, 0), true, true);
    EXPECT_EQ(Utf8(doc.Text()), "Buscando Actualizaciones...\r\nListo.\r\n\r\n");

    const auto lines = doc.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].format, (window::CharFormat{0x00FFFFFF, true, false, Alignment::Center}));
    EXPECT_EQ(lines[1].format, (window::CharFormat{0x0000FFCC, false, true, Alignment::Center}));
    // An empty text still adds an empty, centred line in its own format.
    EXPECT_TRUE(lines[2].text.empty());
    EXPECT_EQ(lines[2].format, (window::CharFormat{0x0000FF00, true, true, Alignment::Center}));
}

TEST(ConsoleRule, ColourValues) {
    EXPECT_EQ(ConsoleColor(204, 255, 0), 0x0000FFCCu);
    EXPECT_EQ(ConsoleColor(255, 255, 255), 0x00FFFFFFu);
    EXPECT_EQ(ConsoleColor(0, 0, 255), 0x00FF0000u);
    EXPECT_EQ(ConsoleColor(1, 2, 3), 1u + 256u * 2u + 65536u * 3u);
}

TEST(ConsoleRule, TextWithItsOwnBreaksStillEndsWithOneBreak) {
    ConsoleDocument doc;
    AppendConsoleLine(doc, "uno\ndos\r\ntres\r", 0, false, false);
    EXPECT_EQ(Utf8(doc.Text()), "uno\r\ndos\r\ntres\r\n\r\n");
    EXPECT_EQ(doc.TextLength(), 18u);
}

TEST(ConsoleRule, RefreshesOncePerCall) {
    ConsoleDocument doc;
    int repaints = 0;
    doc.SetRepaint([&] { ++repaints; });
    for (int i = 0; i < 3; ++i) AppendConsoleLine(doc, "x", 0, false, false);
    EXPECT_EQ(repaints, 3);
}

}  // namespace
