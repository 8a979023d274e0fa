#include "core/utf8.h"

#include <gtest/gtest.h>

namespace {

TEST(Utf8, ConversionsValidityAndBadInput) {
    const struct {
        std::string utf8;
        std::u16string utf16;
        bool valid;
    } cases[] = {
        {"", u"", true},
        {"Actualización ñ", u"Actualización ñ", true},
        {"\xEF\xBF\xBD", u"\xFFFD", true},            // a real U+FFFD is no error
        {"\xF0\x9F\x98\x80", u"\xD83D\xDE00", true},  // outside the BMP: a surrogate pair, two units
        {"a\xFF"
         "b",
         u"a\xFFFD"
         "b",
         false},                                                   // invalid lead byte
        {"\xC3", u"\xFFFD", false},                                // cut sequence at the end
        {"\xE4\xB8", u"\xFFFD\xFFFD", false},                      // cut three-byte sequence
        {"\xC3(", u"\xFFFD(", false},                              // missing continuation
        {"\xC0\xAF", u"\xFFFD\xFFFD", false},                      // overlong
        {"\xED\xA0\x80", u"\xFFFD\xFFFD\xFFFD", false},            // encoded surrogate
        {"\xF4\x90\x80\x80", u"\xFFFD\xFFFD\xFFFD\xFFFD", false},  // beyond U+10FFFF
    };
    for (const auto& c : cases) {
        EXPECT_EQ(core::Utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
        EXPECT_EQ(core::IsValidUtf8(c.utf8), c.valid) << c.utf8;
    }
    EXPECT_TRUE(core::IsAscii(std::string_view("a\x7F\0b", 4)));
    EXPECT_FALSE(core::IsAscii("a\x80"));
    EXPECT_EQ(core::Utf16ToUtf8(u"Actualización \xD83D\xDE00"), "Actualización \xF0\x9F\x98\x80");
    EXPECT_EQ(core::Utf16ToUtf8(u"a\xD800"
                                "b\xDC00"),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");  // lone surrogates
}

}  // namespace
