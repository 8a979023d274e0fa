// Files named by Instalador are taken beside the program, never in the current folder.
#include "instalador/paths.h"

#include <gtest/gtest.h>

namespace {

TEST(Paths, RelativeNamesGoBesideTheProgramAbsoluteOnesStay) {
    const struct {
        const char* folder;
        const char* name;
        const char* expected;
    } cases[] = {
        {R"(C:\Program Files (x86)\Vandrel)", "Selvane.Network.dll",
         R"(C:\Program Files (x86)\Vandrel\Selvane.Network.dll)"},
        {R"(C:\Juego)", R"(sub\x.dll)", R"(C:\Juego\sub\x.dll)"},
        {R"(C:\Juego)", R"(..\x.dll)", R"(C:\Juego\..\x.dll)"},
        {R"(C:\Juego\)", "x.dll", R"(C:\Juego\x.dll)"},
        {"C:/Juego/", "x.dll", "C:/Juego/x.dll"},
        {"C:", "x.dll", R"(C:\x.dll)"},
        {R"(C:\Juego)", R"(D:\Otra\x.dll)", R"(D:\Otra\x.dll)"},
        {R"(C:\Juego)", "d:/otra/x.dll", "d:/otra/x.dll"},
        {R"(C:\Juego)", R"(\\servidor\juego\x.dll)", R"(\\servidor\juego\x.dll)"},
        {R"(C:\Juego)", R"(\x.dll)", R"(\x.dll)"},
        {R"(C:\Juego)", "", R"(C:\Juego\)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(instalador::BesideProgram(c.folder, c.name), c.expected);
    }
}

TEST(Paths, DriveRelativeAndOddNamesAreNotAbsolute) {
    for (const char* name : {"C:x.dll", "1:\\x.dll", "C", "Selvane.Network.dll", ":\\x"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(instalador::IsAbsolutePath(name));
    }
}

}  // namespace
