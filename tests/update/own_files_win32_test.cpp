// The running process's own files on Windows, known by identity: any spelling of the
// executable's path counts (case, separators, short name), a copy with the same bytes does not.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>

#include "core/text_win32.h"
#include "tests/support/temp_dir.h"
#include "updater/update/own_files_win32.h"

namespace {

namespace fs = std::filesystem;

std::string U8(const fs::path& p) {
    const auto u8 = p.u8string();
    return std::string(u8.begin(), u8.end());
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return s;
}

TEST(ProcessFiles, KnowsTheExecutableByIdentity) {
    const std::string exe = update::RunningProgramPath();
    ASSERT_FALSE(exe.empty());
    EXPECT_FALSE(update::AsideOrigin(exe).has_value());
    testsupport::TempDir dir("vandrel-own");
    const fs::path copy = dir.FsPath() / "copia.exe";
    fs::copy_file(fs::u8path(exe), copy);
    std::ofstream(dir.FsPath() / "otro.txt") << "x";

    update::ProcessFiles own;
    std::string slashes = exe;
    for (char& c : slashes) c = c == '\\' ? '/' : c;
    const std::string dotted = exe.substr(0, exe.find_last_of('\\')) + "\\.\\" + exe.substr(exe.find_last_of('\\') + 1);
    const struct {
        std::string path;
        bool held;
    } rows[] = {
        {exe, true},
        {Upper(exe), true},
        {slashes, true},
        {dotted, true},
        {U8(copy), false},
        {U8(dir.FsPath() / "otro.txt"), false},
        {U8(dir.FsPath() / "no-existe.exe"), false},
        {dir.Path(), false},
        {"", false},
    };
    for (const auto& r : rows) EXPECT_EQ(own.Holds(r.path), r.held) << r.path;
    std::wstring shortName(MAX_PATH, L'\0');
    const DWORD n = ::GetShortPathNameW(core::Utf8ToWide(exe).c_str(), shortName.data(), MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        shortName.resize(n);
        EXPECT_TRUE(own.Holds(core::WideToUtf8(shortName))) << core::WideToUtf8(shortName);
    }
}

}  // namespace
