// The name rules, the CP437 decoder and the comparison of names, case by case.
#include "updater/unzip/entry_name.h"

#include <gtest/gtest.h>

#include "updater/unzip/name_decoder.h"

namespace {

struct NameCase {
    const char* name;
    const char* path;     // expected normalized path, or nullptr when refused
    const char* problem;  // part of the expected cause when refused
    bool folder = false;
};

class EntryNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(EntryNameTest, AcceptsPlainRelativePathsOnly) {
    const NameCase& c = GetParam();
    const unzip::CheckedName r = unzip::CheckEntryName(c.name);
    if (c.path) {
        EXPECT_EQ(r.reason, "") << c.name;
        EXPECT_EQ(r.path, c.path);
        EXPECT_EQ(r.folder, c.folder);
    } else {
        EXPECT_NE(r.reason.find(c.problem), std::string::npos) << c.name << " -> " << r.reason;
        EXPECT_EQ(r.path, "");
    }
}

const NameCase kNames[] = {
    {"a.txt", "a.txt", nullptr},
    {"Recursos/OUTPUT/Update.ini", "Recursos/OUTPUT/Update.ini", nullptr},
    {"Recursos\\OUTPUT\\x.dat", "Recursos/OUTPUT/x.dat", nullptr},
    {"carpeta/", "carpeta", nullptr, true},
    {"a\\b\\", "a/b", nullptr, true},
    {"Canción.txt", "Canción.txt", nullptr},
    {".oculto", ".oculto", nullptr},
    {"a..b/c", "a..b/c", nullptr},
    // bsdtar's names: leading "./" dropped, "./" itself the root (empty path, nothing to create).
    {"./a.txt", "a.txt", nullptr},
    {"././Recursos/", "Recursos", nullptr, true},
    {".\\x\\y.dat", "x/y.dat", nullptr},
    {"./", "", nullptr, true},
    {".", "", nullptr, true},
    {"a/./b", nullptr, "punto"},
    {"./../x", nullptr, "(..)"},
    {".//x", nullptr, "separadores"},
    {"CONSOLA.txt", "CONSOLA.txt", nullptr},
    {"COM10", "COM10", nullptr},
    {"x.vandrel-tmp/", "x.vandrel-tmp", nullptr, true},
    {"", nullptr, "vacío"},
    {"/", nullptr, "absoluta"},
    {"/etc/passwd", nullptr, "absoluta"},
    {"\\Windows\\x", nullptr, "absoluta"},
    {"\\\\servidor\\recurso\\x", nullptr, "absoluta"},
    {"C:\\Windows\\x", nullptr, "unidad"},
    {"c:x", nullptr, "unidad"},
    {"..", nullptr, "(..)"},
    {"../x", nullptr, "(..)"},
    {"a/../../x", nullptr, "(..)"},
    {"a\\..\\..\\x", nullptr, "(..)"},
    {"a/..", nullptr, "(..)"},
    {"a.txt:secreto", nullptr, "(:)"},
    {"a.txt::$DATA", nullptr, "(:)"},
    {"a\x01"
     "b",
     nullptr, "control"},
    {"a\tb", nullptr, "control"},
    {"a\x7f", nullptr, "control"},
    {"a<b", nullptr, "no válidos"},
    {"a|b", nullptr, "no válidos"},
    {"a*", nullptr, "no válidos"},
    {"a?", nullptr, "no válidos"},
    {"a\"b", nullptr, "no válidos"},
    {"a//b", nullptr, "seguidos"},
    {"a///", nullptr, "seguidos"},
    {"CON", nullptr, "reservado"},
    {"con.txt", nullptr, "reservado"},
    {"Recursos/Aux.dat", nullptr, "reservado"},
    {"nul.tar.gz", nullptr, "reservado"},
    {"PRN /x", nullptr, "espacio"},
    {"nul .txt", nullptr, "reservado"},
    {"COM1", nullptr, "reservado"},
    {"lpt9.log", nullptr, "reservado"},
    {"COM\xC2\xB9.txt", nullptr, "reservado"},
    {"CONIN$", nullptr, "reservado"},
    {"LPT1/x", nullptr, "reservado"},
    {"a.", nullptr, "punto"},
    {"a/.", nullptr, "punto"},  // "." only at the start is the root
    {"a/./", nullptr, "punto"},
    {"Recursos./a.txt", nullptr, "punto"},
    {"a.txt ", nullptr, "espacio"},
    {"carpeta /a", nullptr, "espacio"},
    {"x.vandrel-tmp", nullptr, "temporales"},
    {"d/X.VANDREL-TMP", nullptr, "temporales"},
    {"\xff\xfe.txt", nullptr, "no válidos"},
    {"\xc0\xaf", nullptr, "no válidos"},          // overlong '/'
    {"\xed\xa0\x80.txt", nullptr, "no válidos"},  // surrogate
};

INSTANTIATE_TEST_SUITE_P(Names, EntryNameTest, ::testing::ValuesIn(kNames));

TEST(EntryNameLimits, LongNamesAndComponents) {
    EXPECT_EQ(unzip::CheckEntryName(std::string(255, 'a')).reason, "");
    EXPECT_NE(unzip::CheckEntryName(std::string(256, 'a')).reason, "");
    std::string deep;
    for (int i = 0; i < 210; ++i) deep += "abcd/";
    deep += "x";
    EXPECT_NE(unzip::CheckEntryName(deep).reason.find("largo"), std::string::npos);
}

TEST(Cp437Decoder, MapsTheHighHalfAndKeepsAscii) {
    const unzip::Cp437Decoder d;
    EXPECT_EQ(d.ToUtf8("Canci\xA2n.txt"), "Canción.txt");
    EXPECT_EQ(d.ToUtf8("\xA4"
                       "and\xA3/\xA5u"),
              "ñandú/Ñu");
    EXPECT_EQ(d.ToUtf8("\x80\x9E\xB0\xE1\xFF"), "Ç₧░ß\xC2\xA0");
    EXPECT_EQ(d.ToUtf8("plain/ascii"), "plain/ascii");
    EXPECT_EQ(d.ToUtf8(""), "");
}

// Pairs Windows' ordinal case-insensitive comparison takes for one file, or not; one file's names
// share a key (Windows' key may also join a few pairs the comparison then tells apart).
TEST(NameKey, EqualWhenWindowsComparesNamesEqual) {
    const struct {
        const char *a, *b;
        bool same;
    } cases[] = {
        {"Recursos/A.TXT", "recursos/a.txt", true},
        {"ÑANDÚ", "ñandú", true},
        {"ÀÉÎÕÜ", "àéîõü", true},
        {"Ÿ", "ÿ", true},
        {"ŁĄĆ", "łąć", true},
        {"ΣΩ", "σω", true},
        {"ДЖ", "дж", true},
        {"×", "÷", false},
        {"a", "b", false},
        {"ß", "ss", false},
        {"Ё", "ё", true},
        {"Ґ", "ґ", true},          // Ukrainian, Cyrillic beyond the basic block
        {"Ǎ.txt", "ǎ.TXT", true},  // Latin Extended-B
        {"Ա", "ա", true},          // Armenian
        {"Ａ", "ａ", true},        // fullwidth
        {"Ａ", "A", false},
        {"ı", "I", false},  // dotless i and long s: Windows does not uppercase them
        {"ſ", "S", false},
        {"İ", "i", false},                                // fullwidth is not ASCII
        {"Cancio\xCC\x81n", "CANCIÓN", true},             // decomposed against composed
        {"\xF0\x90\x90\x80", "\xF0\x90\x90\xA8", false},  // Deseret: above the BMP, left as it is
    };
    for (const auto& c : cases) {
        EXPECT_EQ(unzip::SameName(c.a, c.b), c.same) << c.a << " " << c.b;
        if (c.same) {
            EXPECT_EQ(unzip::NameKey(c.a), unzip::NameKey(c.b)) << c.a << " " << c.b;
        }
    }
}

TEST(Printable, MakesHostileNamesSafeToShow) {
    EXPECT_EQ(unzip::Printable("a\x01"
                               "b"),
              "a?b");
    EXPECT_EQ(unzip::Printable("\xff"
                               "x"),
              "?x");
    EXPECT_EQ(unzip::Printable("ñ"), "ñ");
    EXPECT_EQ(unzip::Printable(std::string(500, 'x')).size(), 123u);
}

}  // namespace
