// The Windows build with the real Win32 file seam: Spanish names and folders land under their
// Unicode names (read back with wide calls), OEM names follow the system's OEM code page, and a
// file held open by the game makes the archive fail with its name.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/file_system.h"
#include "core/handle_win32.h"
#include "core/text_win32.h"
#include "tests/support/files.h"
#include "tests/support/recording_dialogs.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tree.h"
#include "tests/unzip/zip_builder.h"
#include "updater/update/mensajes.h"
#include "updater/update/mod_unzip.h"

namespace {

using ziptest::Plan;
using ziptest::ZipBuilder;

class WindowsNames : public ::testing::Test {
protected:
    std::wstring W(const std::string& relative) const { return core::Utf8ToWide(m_root + "\\" + relative); }

    // The content of a file read through CreateFileW/ReadFile, or nothing when it cannot be opened.
    std::optional<std::string> ReadWide(const std::wstring& path) const {
        core::UniqueHandle h(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!h) return std::nullopt;
        std::string out(4096, '\0');
        DWORD got = 0;
        if (!::ReadFile(h.Get(), out.data(), static_cast<DWORD>(out.size()), &got, nullptr)) return std::nullopt;
        out.resize(got);
        return out;
    }
    bool IsFolder(const std::wstring& path) const {
        const DWORD a = ::GetFileAttributesW(path.c_str());
        return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
    }
    core::Outcome Extract(const std::string& bytes) {
        testsupport::WriteBytes(testsupport::U8Path(m_root + "\\6.zip"), bytes);
        return modUnzip::Descomprimir(m_root + "\\6.zip", m_root + "\\", core::RealFileSystem(), m_dialogs);
    }

    testsupport::TempDir m_dir{"vandrel-win"};
    std::string m_root = m_dir.Path();
    testsupport::RecordingDialogs m_dialogs;
};

TEST_F(WindowsNames, SpanishNamesAndFoldersWithWideCalls) {
    ZipBuilder b;
    b.Add(Plan("ñandú/", "", 0, 0x800));
    b.Add(Plan("Canción.txt", "la canción", 8, 0x800));
    b.Add(Plan("ñandú/Ñu.txt", "ñu", 8, 0x800));
    b.Add(Plan("Recursos\\OUTPUT\\Árbol.dat", "árbol", 0, 0x800));
    const core::Outcome o = Extract(b.Build().bytes);
    ASSERT_TRUE(o.ok) << o.reason;
    EXPECT_TRUE(m_dialogs.boxes.empty());
    EXPECT_EQ(ReadWide(core::Utf8ToWide(m_root) + L"\\Canci\u00f3n.txt"), "la canción");
    EXPECT_TRUE(IsFolder(core::Utf8ToWide(m_root) + L"\\\u00f1and\u00fa"));
    EXPECT_EQ(ReadWide(core::Utf8ToWide(m_root) + L"\\\u00f1and\u00fa\\\u00d1u.txt"), "ñu");
    EXPECT_EQ(ReadWide(core::Utf8ToWide(m_root) + L"\\Recursos\\OUTPUT\\\u00c1rbol.dat"), "árbol");
    WIN32_FIND_DATAW found{};
    HANDLE f = ::FindFirstFileW((core::Utf8ToWide(m_root) + L"\\*.txt").c_str(), &found);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::wstring(found.cFileName), L"Canci\u00f3n.txt");
    ::FindClose(f);
}

TEST_F(WindowsNames, NamesWithoutTheUtf8FlagUseTheOemCodePage) {
    const std::string raw = "Canci\xA2n-oem.txt";
    const core::Outcome o = Extract(ZipBuilder().File(raw, "oem").Build().bytes);
    ASSERT_TRUE(o.ok) << o.reason;
    wchar_t wide[64] = {};
    const int n = ::MultiByteToWideChar(CP_OEMCP, 0, raw.data(), static_cast<int>(raw.size()), wide, 64);
    ASSERT_GT(n, 0);
    EXPECT_EQ(ReadWide(core::Utf8ToWide(m_root) + L"\\" + std::wstring(wide, static_cast<std::size_t>(n))), "oem");
}

TEST_F(WindowsNames, AFileHeldOpenByTheGameFailsNamingIt) {
    testsupport::WriteBytes(testsupport::U8Path(m_root + "\\Vandrel.exe"), "MZ viejo");
    core::UniqueHandle game(::CreateFileW(W("Vandrel.exe").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(game.Valid());
    const core::Outcome o = Extract(ZipBuilder().File("Vandrel.exe", "MZ nuevo").File("b.txt", "b").Build().bytes);
    EXPECT_FALSE(o.ok);
    EXPECT_NE(o.reason.find("«Vandrel.exe»"), std::string::npos) << o.reason;
    EXPECT_NE(o.reason.find("en uso"), std::string::npos) << o.reason;
    ASSERT_EQ(m_dialogs.boxes.size(), 1u);
    EXPECT_EQ(m_dialogs.boxes[0].text, update::mensajes::kErrorAlDescomprimir);
    game.Reset();
    EXPECT_EQ(ReadWide(W("Vandrel.exe")), "MZ viejo");
    EXPECT_EQ(::GetFileAttributesW(W("Vandrel.exe.vandrel-tmp").c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
