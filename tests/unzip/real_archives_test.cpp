// Archives made by real tools (Info-ZIP zip, Python's zipfile, bsdtar, 7-Zip; see
// make_archives.py) extract to exactly the tree they were made from.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/file_system.h"
#include "tests/support/files.h"
#include "tests/support/recording_dialogs.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tree.h"
#include "updater/unzip/zip_extract.h"
#include "updater/update/mod_unzip.h"

namespace {

using testsupport::Tree;

const std::string kData = UNZIP_TEST_DATA;

struct RealCase {
    const char* archive;
    std::size_t bufferSize;  // read window and inflate output
};

std::string CaseName(const ::testing::TestParamInfo<RealCase>& info) {
    std::string name = info.param.archive;
    name = name.substr(0, name.find('.'));
    return name + "_" + std::to_string(info.param.bufferSize);
}

class RealArchiveTest : public ::testing::TestWithParam<RealCase> {
protected:
    testsupport::TempDir m_dir{"vandrel-unzip"};
    std::string m_target = m_dir.Path();
    unzip::Cp437Decoder m_decoder;

    core::Outcome Extract(const std::string& archive, std::size_t bufferSize) {
        unzip::Limits limits;
        limits.bufferSize = bufferSize;
        return unzip::ExtractArchive(kData + "/" + archive, m_target + "\\", core::RealFileSystem(), m_decoder, limits);
    }
};

TEST_P(RealArchiveTest, ExtractsTheSourceTreeByteForByte) {
    const core::Outcome outcome = Extract(GetParam().archive, GetParam().bufferSize);
    ASSERT_TRUE(outcome.ok) << outcome.reason;
    const Tree expected = testsupport::Snapshot(testsupport::U8Path(kData + "/tree"));
    ASSERT_GE(expected.size(), 15u);
    const Tree got = testsupport::Snapshot(testsupport::U8Path(m_target));
    EXPECT_EQ(got.size(), expected.size());
    for (const auto& [path, content] : expected) {
        const auto it = got.find(path);
        ASSERT_NE(it, got.end()) << "missing " << path;
        EXPECT_EQ(it->second.has_value(), content.has_value()) << path;
        if (content) {
            EXPECT_TRUE(it->second == content) << "content differs: " << path;
        }
    }
}

const RealCase kArchives[] = {
    {"infozip_deflate.zip", 1u << 20},
    {"infozip_deflate.zip", 4096},
    {"infozip_stored.zip", 1u << 20},
    {"infozip_stored.zip", 1000},
    {"infozip_stream.zip", 1u << 20},
    {"python_deflate.zip", 1u << 20},
    {"python_deflate.zip", 4096},
    {"python_stored.zip", 1u << 20},
    {"python_descriptor.zip", 1u << 20},
    {"python_descriptor.zip", 777},
    {"python_zip64.zip", 1u << 20},
    {"bsdtar.zip", 1u << 20},
    {"bsdtar_dot.zip", 1u << 20},  // "./" before every name, and "./" itself
    {"7zip.zip", 1u << 20},
};

INSTANTIATE_TEST_SUITE_P(Tools, RealArchiveTest, ::testing::ValuesIn(kArchives), CaseName);

class RealArchiveEdges : public RealArchiveTest {};

TEST_F(RealArchiveEdges, StreamedFromStandardInputWithZip64AndDescriptor) {
    const core::Outcome outcome = Extract("infozip_stdin.zip", 1u << 20);
    ASSERT_TRUE(outcome.ok) << outcome.reason;
    const Tree got = testsupport::Snapshot(testsupport::U8Path(m_target));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(got.at("-") == testsupport::ReadBytes(testsupport::U8Path(kData + "/tree/Recursos/OUTPUT/texto.txt")));
}

TEST_F(RealArchiveEdges, EmptyArchiveChangesNothingAndShowsNothing) {
    testsupport::WriteTree(testsupport::U8Path(m_target), {{"juego.exe", "exe"}, {"Recursos", std::nullopt}});
    const Tree before = testsupport::Snapshot(testsupport::U8Path(m_target));
    testsupport::RecordingDialogs dialogs;
    const core::Outcome outcome = modUnzip::Descomprimir(kData + "/python_empty.zip", m_target + "\\",
                                                         core::RealFileSystem(), dialogs, m_decoder);
    EXPECT_TRUE(outcome.ok) << outcome.reason;
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(testsupport::Snapshot(testsupport::U8Path(m_target)), before);
}

TEST_F(RealArchiveEdges, ReplacesOlderAndNewerFilesWithoutAsking) {
    namespace fs = std::filesystem;
    testsupport::WriteTree(testsupport::U8Path(m_target), {{"Canción.txt", "vieja versión, más corta"},
                                                           {"Recursos/OUTPUT/Update.ini", std::string(5000, 'n')},
                                                           {"propio.txt", "del jugador"}});
    const auto now = fs::file_time_type::clock::now();
    fs::last_write_time(testsupport::U8Path(m_target + "/Canción.txt"), now - std::chrono::hours(24 * 365));
    fs::last_write_time(testsupport::U8Path(m_target + "/Recursos/OUTPUT/Update.ini"), now + std::chrono::hours(24));
    testsupport::RecordingDialogs dialogs;
    modUnzip::ZipExtractor extractor(core::RealFileSystem(), dialogs, m_decoder);
    const core::Outcome outcome = extractor.Extract(kData + "/python_deflate.zip", m_target + "\\");
    ASSERT_TRUE(outcome.ok) << outcome.reason;
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(testsupport::ReadBytes(testsupport::U8Path(m_target + "/Canción.txt")),
              testsupport::ReadBytes(testsupport::U8Path(kData + "/tree/Canción.txt")));
    EXPECT_EQ(testsupport::ReadBytes(testsupport::U8Path(m_target + "/Recursos/OUTPUT/Update.ini")), " 7 \r\n");
    EXPECT_EQ(testsupport::ReadBytes(testsupport::U8Path(m_target + "/propio.txt")),
              "del jugador");  // not in the archive: kept
    for (const auto& [path, content] : testsupport::Snapshot(testsupport::U8Path(m_target))) {
        EXPECT_EQ(path.find(".vandrel-tmp"), std::string::npos) << path;
    }
}

TEST_F(RealArchiveEdges, TargetWithoutTrailingSeparatorAndForwardSlashes) {
    const core::Outcome outcome =
        unzip::ExtractArchive(kData + "/infozip_deflate.zip", m_target, core::RealFileSystem(), m_decoder);
    ASSERT_TRUE(outcome.ok) << outcome.reason;
    EXPECT_EQ(testsupport::ReadBytes(testsupport::U8Path(m_target + "/Datos/a/b/c/d/profundo.txt")), "profundo\n");
}

}  // namespace
