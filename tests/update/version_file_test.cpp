#include "updater/update/version_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "core/runtime_error.h"
#include "fakes.h"
#include "tests/support/faulty_fs.h"

namespace {

using core::ErrorKind;

class VersionFileTest : public ::testing::Test {
protected:
    std::string FilePath() const { return update::VersionFilePath(inst.root); }
    std::optional<ErrorKind> ReadError(char sep = '.') {
        try {
            update::ReadVersionFile(core::RealFileSystem(), FilePath(), sep);
        } catch (const core::RuntimeError& e) {
            return e.Kind();
        }
        return std::nullopt;
    }
    std::int16_t Read(char sep = '.') { return update::ReadVersionFile(core::RealFileSystem(), FilePath(), sep); }
    fakes::FakePlatform inst;
};

TEST_F(VersionFileTest, Bytes) {
    const struct {
        std::int16_t value;
        std::string bytes;
    } cases[] = {{7, " 7 \r\n"}, {0, " 0 \r\n"}, {-3, "-3 \r\n"}, {32767, " 32767 \r\n"}, {-32768, "-32768 \r\n"}};
    for (const auto& c : cases) {
        EXPECT_EQ(update::FormatVersionFile(c.value), c.bytes);
        update::WriteVersionFile(core::RealFileSystem(), FilePath(), c.value);
        EXPECT_EQ(inst.ReadFile("Recursos/OUTPUT/Update.ini"), c.bytes);
        EXPECT_EQ(Read(), c.value);  // round trip
    }
}

TEST_F(VersionFileTest, ReadsContents) {
    const struct {
        std::string content;
        std::int16_t value;
    } cases[] = {
        {" 7 \r\n", 7},   {"7", 0},         {"12", 0},
        {"", 0},          {"ab", 0},  // under 3 bytes: 0 whatever it holds
        {"7\r\n", 7},     {"123", 123},     {"\t-4\t", -4},
        {" 2.5 \r\n", 2}, {" 3.5 \r\n", 4},
    };
    for (const auto& c : cases) {
        inst.WriteFile("Recursos/OUTPUT/Update.ini", c.content);
        EXPECT_EQ(Read(), c.value) << '"' << c.content << '"';
    }
}

TEST_F(VersionFileTest, BadContentsRaise) {
    const struct {
        std::string content;
        ErrorKind kind;
    } cases[] = {
        {"abc", ErrorKind::TypeMismatch},
        {" 1 \r\n 2 \r\n", ErrorKind::TypeMismatch},
        {"40000", ErrorKind::Overflow},
        {"   ", ErrorKind::TypeMismatch},
        {std::string(5000, ' ') + "7", ErrorKind::TypeMismatch},
    };
    for (const auto& c : cases) {
        inst.WriteFile("Recursos/OUTPUT/Update.ini", c.content);
        EXPECT_EQ(ReadError(), c.kind) << c.content.substr(0, 20);
    }
}

TEST_F(VersionFileTest, DecimalSeparatorComesFromTheUser) {
    inst.WriteFile("Recursos/OUTPUT/Update.ini", " 4,5 \r\n");
    EXPECT_EQ(Read(','), 4);
    EXPECT_EQ(ReadError('.'), ErrorKind::TypeMismatch);
}

TEST_F(VersionFileTest, MissingFileAndFolder) {
    EXPECT_EQ(ReadError(), ErrorKind::FileNotFound);
    update::WriteVersionFile(core::RealFileSystem(), FilePath(), 5);  // created when the folder exists
    EXPECT_EQ(Read(), 5);
    std::filesystem::remove_all(inst.Path("Recursos"));
    EXPECT_EQ(ReadError(), ErrorKind::PathNotFound);
    try {
        update::WriteVersionFile(core::RealFileSystem(), FilePath(), 5);
        ADD_FAILURE() << "no error";
    } catch (const core::RuntimeError& e) {
        EXPECT_EQ(e.Kind(), ErrorKind::PathNotFound);
    }
}

// A failure at each step of a write, as a crash or a full disk would cause it.
TEST_F(VersionFileTest, AFailedWriteLeavesTheOldValueAndNoTemporaryFile) {
    const struct {
        const char* step;
        std::string testsupport::FaultyFileSystem::*fault;
    } steps[] = {
        {"create", &testsupport::FaultyFileSystem::failCreate},
        {"write", &testsupport::FaultyFileSystem::failWrite},  // two bytes reach the disk, then the write fails
        {"commit", &testsupport::FaultyFileSystem::failCommit},
        {"replace", &testsupport::FaultyFileSystem::failReplace},
    };
    for (const auto& s : steps) {
        update::WriteVersionFile(core::RealFileSystem(), FilePath(), 5);
        testsupport::FaultyFileSystem failing;
        failing.*s.fault = "Update.ini";
        failing.failAfter = 2;
        EXPECT_THROW(update::WriteVersionFile(failing, FilePath(), 32767), core::RuntimeError) << s.step;
        EXPECT_EQ(inst.ReadFile("Recursos/OUTPUT/Update.ini"), " 5 \r\n") << "step " << s.step;
        EXPECT_FALSE(inst.Exists("Recursos/OUTPUT/Update.ini.nuevo")) << "step " << s.step;
    }
}

TEST_F(VersionFileTest, ALeftoverTemporaryFileIsNeverReadAsTheVersion) {
    // As after a crash between writing the new content and moving it into place.
    update::WriteVersionFile(core::RealFileSystem(), FilePath(), 5);
    inst.WriteFile("Recursos/OUTPUT/Update.ini.nuevo", " 9");
    EXPECT_EQ(Read(), 5);
    update::WriteVersionFile(core::RealFileSystem(), FilePath(), 6);  // and the next write still works
    EXPECT_EQ(Read(), 6);
    EXPECT_FALSE(inst.Exists("Recursos/OUTPUT/Update.ini.nuevo"));
}

}  // namespace
