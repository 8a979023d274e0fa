// The installers' command lines: the right files, quoted, with their switches, in both forms.
#include "instalador/commands.h"

#include <gtest/gtest.h>

namespace {

using instalador::kArguments;
using instalador::X64Command;
using instalador::X86Command;

TEST(Commands, SixGenerationsNewestFirstInBothForms) {
    const struct {
        const char* x86;
        const char* x64;
    } expected[] = {
        {R"("D:\Juego\dlls\vcredist2015_2017_2019_2022_x86.exe" /passive /norestart)",
         R"("D:\Juego\dlls\vcredist2015_2017_2019_2022_x64.exe" /passive /norestart)"},
        {R"("D:\Juego\dlls\vcredist2013_x86.exe" /passive /norestart)",
         R"("D:\Juego\dlls\vcredist2013_x64.exe" /passive /norestart)"},
        {R"("D:\Juego\dlls\vcredist2012_x86.exe" /passive /norestart)",
         R"("D:\Juego\dlls\vcredist2012_x64.exe" /passive /norestart)"},
        {R"("D:\Juego\dlls\vcredist2010_x86.exe" /passive /norestart)",
         R"("D:\Juego\dlls\vcredist2010_x64.exe" /passive /norestart)"},
        {R"("D:\Juego\dlls\vcredist2008_x86.exe" /qb)", R"("D:\Juego\dlls\vcredist2008_x64.exe" /qb)"},
        {R"("D:\Juego\dlls\vcredist2005_x86.exe" /q)", R"("D:\Juego\dlls\vcredist2005_x64.exe" /q)"},
    };
    ASSERT_EQ(kArguments.size(), std::size(expected));
    for (std::size_t i = 0; i < kArguments.size(); ++i) {
        SCOPED_TRACE(kArguments[i]);
        EXPECT_EQ(X86Command("D:\\Juego", kArguments[i]).Line(), expected[i].x86);
        EXPECT_EQ(X64Command("D:\\Juego", kArguments[i]).Line(), expected[i].x64);
    }
}

TEST(Commands, FolderWithBlanksStaysOneQuotedPathAndKeepsItsX86) {
    const std::string folder = "C:\\Program Files (x86)\\Vandrel Online";
    const auto x86 = X86Command(folder, kArguments[1]);
    const auto x64 = X64Command(folder, kArguments[1]);
    EXPECT_EQ(x86.path, "C:\\Program Files (x86)\\Vandrel Online\\dlls\\vcredist2013_x86.exe");
    EXPECT_EQ(x86.switches, "/passive /norestart");
    EXPECT_EQ(x86.Line(), R"("C:\Program Files (x86)\Vandrel Online\dlls\vcredist2013_x86.exe" /passive /norestart)");
    // Only the argument turns into its 64-bit form, never the installation folder.
    EXPECT_EQ(x64.Line(), R"("C:\Program Files (x86)\Vandrel Online\dlls\vcredist2013_x64.exe" /passive /norestart)");
}

TEST(Commands, EdgeFoldersAndArguments) {
    const struct {
        const char* folder;
        const char* argument;
        const char* path;
        const char* line;
    } cases[] = {
        {"C:", "2005_x86.exe /q", R"(C:\dlls\vcredist2005_x86.exe)", R"("C:\dlls\vcredist2005_x86.exe" /q)"},
        // No switches: no trailing blank after the quote.
        {"D:\\J", "2005_x86.exe", R"(D:\J\dlls\vcredist2005_x86.exe)", R"("D:\J\dlls\vcredist2005_x86.exe")"},
        // Switches go on exactly as written, blanks included.
        {"D:\\J", "a.exe  /q /x", R"(D:\J\dlls\vcredista.exe)", R"("D:\J\dlls\vcredista.exe"  /q /x)"},
        // UTF-8 folder names pass through untouched.
        {"C:\\Juegos\\Vandrel Año", "2012_x86.exe /passive", "C:\\Juegos\\Vandrel Año\\dlls\\vcredist2012_x86.exe",
         "\"C:\\Juegos\\Vandrel Año\\dlls\\vcredist2012_x86.exe\" /passive"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argument);
        const auto cmd = X86Command(c.folder, c.argument);
        EXPECT_EQ(cmd.path, c.path);
        EXPECT_EQ(cmd.Line(), c.line);
    }
}

TEST(Commands, EveryX86OfTheArgumentTurnsIntoX64CaseSensitively) {
    const struct {
        const char* argument;
        const char* x64Line;
    } cases[] = {
        {"x86x86_x86.exe /x86", R"("D:\dlls\vcredistx64x64_x64.exe" /x64)"},
        {"2013_X86.exe /q", R"("D:\dlls\vcredist2013_X86.exe" /q)"},
        {"xxx86.exe", R"("D:\dlls\vcredistxxx64.exe")"},
        {"x8_6.exe", R"("D:\dlls\vcredistx8_6.exe")"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argument);
        EXPECT_EQ(X64Command("D:", c.argument).Line(), c.x64Line);
    }
}

TEST(Commands, ReplaceAllDoesNotRescanWhatItInserted) {
    EXPECT_EQ(instalador::ReplaceAll("x86", "x86", "x86x86"), "x86x86");
    EXPECT_EQ(instalador::ReplaceAll("aaa", "aa", "a"), "aa");
    EXPECT_EQ(instalador::ReplaceAll("", "x86", "x64"), "");
    EXPECT_EQ(instalador::ReplaceAll("x86", "", "x64"), "x86");
}

}  // namespace
