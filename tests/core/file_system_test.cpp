#include "core/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "core/runtime_error.h"
#include "tests/support/temp_dir.h"
#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using core::ErrorKind;

class FileSystemTest : public ::testing::Test {
protected:
    testsupport::TempDir m_dir{"vandrel-fs"};

    template <typename F>
    ErrorKind KindOf(F&& f) {
        try {
            f();
        } catch (const core::RuntimeError& e) {
            return e.Kind();
        }
        ADD_FAILURE() << "no error raised";
        return ErrorKind::Overflow;
    }

    std::string m_root = m_dir.Path();
    core::FileSystem& m_fs = core::RealFileSystem();
};

TEST_F(FileSystemTest, MissingFileAndMissingFolderAreTwoErrors) {
    EXPECT_EQ(KindOf([&] { m_fs.FileSize(m_root + "\\nada.ini"); }), ErrorKind::FileNotFound);
    EXPECT_EQ(KindOf([&] { m_fs.FileSize(m_root + "\\no\\existe.ini"); }), ErrorKind::PathNotFound);
    EXPECT_EQ(KindOf([&] { m_fs.CreateFile(m_root + "\\no\\existe.ini"); }), ErrorKind::PathNotFound);
    EXPECT_EQ(KindOf([&] { m_fs.DeleteFile(m_root + "\\nada.zip"); }), ErrorKind::FileNotFound);
    EXPECT_EQ(KindOf([&] { m_fs.FileSize(m_root); }), ErrorKind::FileNotFound);  // a folder is no file
}

TEST_F(FileSystemTest, BackslashesSeparateFoldersNatively) {
    m_fs.CreateDirectory(m_root + "\\Recursos");
    m_fs.CreateDirectory(m_root + "\\Recursos");  // already there is fine
    core::WriteFileAtomically(m_fs, m_root + "\\Recursos\\a.txt", "hola");
    EXPECT_TRUE(fs::exists(m_root + "/Recursos/a.txt"));
    EXPECT_EQ(m_fs.ReadFile(m_root + "/Recursos/a.txt", 100), "hola");
    EXPECT_EQ(m_fs.FileSize(m_root + "\\Recursos\\a.txt"), 4u);
}

TEST_F(FileSystemTest, AtomicWriteReplacesAndLeavesNoTemporaryFile) {
    const std::string path = m_root + "/v.ini";
    core::WriteFileAtomically(m_fs, path, "uno");
    core::WriteFileAtomically(m_fs, path, "dos!");
    EXPECT_EQ(m_fs.ReadFile(path, 100), "dos!");
    EXPECT_FALSE(fs::exists(core::TemporaryNameFor(path)));
}

TEST_F(FileSystemTest, CreateFileCutsALongerOldFile) {
    const std::string path = m_root + "/6.zip";
    std::ofstream(path) << std::string(5000, 'x');
    auto w = m_fs.CreateFile(path);
    w->Write("abc", 3);
    w->Commit();
    w.reset();
    EXPECT_EQ(m_fs.ReadFile(path, 100), "abc");
}

TEST_F(FileSystemTest, AppendFileCreatesAndWritesAfterTheLastByte) {
    const std::string path = m_root + "/7.zip";
    for (const char* part : {"abc", "defg"}) {
        auto w = m_fs.AppendFile(path);
        w->Write(part, std::char_traits<char>::length(part));
        w->Commit();
    }
    EXPECT_EQ(m_fs.ReadFile(path, 100), "abcdefg");
    EXPECT_EQ(KindOf([&] { m_fs.AppendFile(m_root + "\\no\\existe.zip"); }), ErrorKind::PathNotFound);
}

TEST_F(FileSystemTest, ReadLimitAndRandomAccess) {
    const std::string path = m_root + "/big.bin";
    std::ofstream(path) << "0123456789";
    EXPECT_EQ(KindOf([&] { m_fs.ReadFile(path, 9); }), ErrorKind::PathFileAccess);
    auto r = m_fs.OpenRead(path);
    char buf[8] = {};
    EXPECT_EQ(r->ReadAt(7, buf, sizeof buf), 3u);
    EXPECT_EQ(std::string(buf, 3), "789");
    EXPECT_EQ(r->ReadAt(100, buf, sizeof buf), 0u);
}

TEST_F(FileSystemTest, ReadOnlyFolderRefusesTheWrite) {
#ifdef _WIN32
    GTEST_SKIP() << "folder permissions are POSIX-only";
#else
    if (::geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
#endif
    const std::string dir = m_root + "/ro";
    m_fs.CreateDirectory(dir);
#ifndef _WIN32
    ::chmod(dir.c_str(), 0555);
    EXPECT_EQ(KindOf([&] { core::WriteFileAtomically(m_fs, dir + "/v.ini", "x"); }), ErrorKind::PathFileAccess);
    ::chmod(dir.c_str(), 0755);
#endif
}

// Names as UTF-8 without "." and "..", files with their size, folders and links by kind, the
// write time in UTC seconds; a missing folder and one with more names than allowed are errors.
TEST_F(FileSystemTest, ListDirectoryGivesEveryNameOnce) {
    m_fs.CreateDirectory(m_root + "\\Gráficos");
    core::WriteFileAtomically(m_fs, m_root + "\\año.txt", "12345");
    const auto when = fs::file_time_type::clock::now() - std::chrono::hours(30);
    fs::last_write_time(m_dir.FsPath() / fs::path(u8"año.txt"), when);  // 30 hours ago
    bool withLink = false;
#ifndef _WIN32
    fs::create_symlink(fs::path(u8"año.txt"), m_dir.FsPath() / "enlace");
    withLink = true;
#endif
    std::vector<core::DirectoryEntry> list = m_fs.ListDirectory(m_root + "\\", 10);
    std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    ASSERT_EQ(list.size(), withLink ? 3u : 2u);
    EXPECT_EQ(list[0].name, "Gráficos");
    EXPECT_EQ(list[0].kind, core::DirectoryEntry::Kind::Folder);
    EXPECT_EQ(list[1].name, "año.txt");
    EXPECT_EQ(list[1].kind, core::DirectoryEntry::Kind::File);
    EXPECT_EQ(list[1].size, 5u);
    const std::int64_t now =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    EXPECT_NEAR(static_cast<double>(list[1].modified), static_cast<double>(now - 30 * 3600), 120.0);
    if (withLink) {
        EXPECT_EQ(list[2].name, "enlace");
        EXPECT_EQ(list[2].kind, core::DirectoryEntry::Kind::Link);
    }
    EXPECT_TRUE(m_fs.ListDirectory(m_root + "/Gráficos", 10).empty());
    EXPECT_EQ(KindOf([&] { m_fs.ListDirectory(m_root + "/Gráficos/nada", 10); }), ErrorKind::PathNotFound);
    EXPECT_EQ(KindOf([&] { m_fs.ListDirectory(m_root, 1); }), ErrorKind::PathFileAccess);
}

TEST_F(FileSystemTest, AFullDiskIsReportedAsSuch) {
    // /dev/full refuses every write with "no space left"; under Wine it is Z:\dev\full.
    std::error_code ec;
    if (!fs::exists("/dev/full", ec)) GTEST_SKIP() << "no /dev/full here";
    auto w = m_fs.CreateFile("/dev/full");
    EXPECT_EQ(KindOf([&] {
                  w->Write(std::string(1 << 16, 'x').data(), 1 << 16);
                  w->Commit();
              }),
              ErrorKind::DiskFull);
}

}  // namespace
