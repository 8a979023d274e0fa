// The zip writer against Updater's own reader and extraction engine: every content shape
// comes back byte for byte, within the reader's limits, with the UTF-8 flag; files that
// change while they are packed are refused.
#include <gtest/gtest.h>

#include <cstring>

#include "core/runtime_error.h"
#include "tests/parchear/helpers.h"
#include "tools/parchear/refusal.h"
#include "tools/parchear/zip_writer.h"
#include "updater/unzip/name_decoder.h"
#include "updater/unzip/zip_directory.h"
#include "updater/unzip/zip_extract.h"

namespace {

using parchear::ZipWriter;

// A file in memory whose content may change between reads, or that declares another size.
class StringReader final : public core::FileReader {
public:
    explicit StringReader(std::string data) : m_data(std::move(data)), m_size(m_data.size()) {}
    std::uint64_t Size() const override { return m_size; }
    std::size_t ReadAt(std::uint64_t offset, void* out, std::size_t size) override {
        if (offset == 0) ++passes;
        if (offset == 0 && passes == 2 && !secondPass.empty()) m_data = secondPass;
        if (offset >= m_data.size()) return 0;
        const std::size_t n = std::min<std::uint64_t>(size, m_data.size() - offset);
        std::memcpy(out, m_data.data() + offset, n);
        return n;
    }
    void DeclareSize(std::uint64_t size) { m_size = size; }
    std::string secondPass;
    int passes = 0;

private:
    std::string m_data;
    std::uint64_t m_size;
};

struct Written {
    std::string path;
    std::vector<parchear::Packed> packed;
};

class ZipWriterTest : public ::testing::Test {
protected:
    // Writes one archive of the named contents and returns what the writer chose.
    std::vector<parchear::Packed> Write(const std::vector<std::pair<std::string, std::string>>& files,
                                        std::size_t keepBytes = 32u << 20) {
        auto out = core::RealFileSystem().CreateFile(archive);
        ZipWriter zip(*out, keepBytes);
        std::vector<parchear::Packed> packed;
        for (const auto& [name, data] : files) {
            StringReader in(data);
            packed.push_back(zip.AddFile(name, in, 0x5A210000));
        }
        zip.Finish();
        out->Commit();
        return packed;
    }
    core::Outcome Extract() {
        std::filesystem::create_directories(testsupport::U8Path(target));
        return unzip::ExtractArchive(archive, target, core::RealFileSystem(), unzip::Cp437Decoder());
    }

    testsupport::TempDir dir{"parchear-zip"};
    std::string archive = dir.Path() + "/p.zip";
    std::string target = dir.Path() + "/out";
};

TEST_F(ZipWriterTest, EveryContentShapeComesBackExactly) {
    struct Case {
        const char* label;
        std::string data;
        std::uint16_t method;
        std::size_t keepBytes;
    };
    const std::size_t mib = 1u << 20;
    const std::vector<Case> cases = {
        {"vacío", "", 0, 32 * mib},
        {"un byte", "x", 0, 32 * mib},
        {"texto", std::string(5000, 'a') + "fin", 8, 32 * mib},
        {"aleatorio (no se comprime)", parchtest::RandomBytes(300000, 1), 0, 32 * mib},
        {"exactamente un bloque de lectura", parchtest::RandomBytes(mib, 2), 0, 32 * mib},
        {"un bloque y un byte", std::string(mib + 1, 'q'), 8, 32 * mib},
        {"ceros que se expandirían demasiado", std::string(3 * mib, '\0'), 8, 32 * mib},
        {"ceros en dos pasadas", std::string(5 * mib + 7, '\0'), 8, 1000},
        {"texto en dos pasadas", std::string(2 * mib, 'z') + parchtest::RandomBytes(1000, 3), 8, 64},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(testsupport::U8Path(target));
        const auto packed = Write({{"carpeta/archivo.bin", c.data}}, c.keepBytes);
        EXPECT_EQ(packed[0].method, c.method) << c.label;
        const unzip::Limits limits;
        if (c.data.size() > limits.ratioFreeSize) {
            EXPECT_LE(c.data.size() / limits.maxRatio, packed[0].compressedSize) << c.label;
        }
        const core::Outcome o = Extract();
        ASSERT_TRUE(o.ok) << c.label << ": " << o.reason;
        EXPECT_EQ(testsupport::ReadBytes(testsupport::U8Path(target + "/carpeta/archivo.bin")), c.data) << c.label;
    }
}

TEST_F(ZipWriterTest, NamesAreFlaggedUtf8InBothHeadersAndFoldersAreEntries) {
    {
        auto out = core::RealFileSystem().CreateFile(archive);
        ZipWriter zip(*out);
        zip.AddFolder("Recursos/vacía", 0);
        StringReader in("contenido");
        zip.AddFile("Recursos/canción ñ.txt", in, 0);
        zip.Finish();
        out->Commit();
    }
    const std::string bytes = testsupport::ReadBytes(testsupport::U8Path(archive));
    // Every local (PK\3\4) and central (PK\1\2) header carries general purpose bit 11.
    int headers = 0;
    for (std::size_t at = 0; (at = bytes.find("PK", at)) != std::string::npos; ++at) {
        if (at + 10 > bytes.size()) break;
        const char kind = bytes[at + 2];
        if ((kind == 3 && bytes[at + 3] == 4) || (kind == 1 && bytes[at + 3] == 2)) {
            const std::size_t flagsAt = at + (kind == 3 ? 6 : 8);
            EXPECT_EQ(static_cast<unsigned char>(bytes[flagsAt + 1]) & 0x08, 0x08) << "cabecera en " << at;
            ++headers;
        }
    }
    EXPECT_EQ(headers, 4);
    EXPECT_EQ(parchtest::EntryNames(archive), (std::vector<std::string>{"Recursos/vacía/", "Recursos/canción ñ.txt"}));
    ASSERT_TRUE(Extract().ok);
    EXPECT_TRUE(std::filesystem::is_directory(testsupport::U8Path(target + "/Recursos/vacía")));
    EXPECT_EQ(testsupport::ReadBytes(testsupport::U8Path(target + "/Recursos/canción ñ.txt")), "contenido");
}

TEST_F(ZipWriterTest, MoreThan65535EntriesGetZip64EndRecords) {
    constexpr std::size_t kCount = 70000;
    {
        auto out = core::RealFileSystem().CreateFile(archive);
        ZipWriter zip(*out);
        for (std::size_t i = 0; i < kCount; ++i) {
            StringReader in(i == kCount - 1 ? "último" : "");
            zip.AddFile("d/" + std::to_string(i), in, 0);
        }
        zip.Finish();
        out->Commit();
    }
    const auto names = parchtest::EntryNames(archive);
    ASSERT_EQ(names.size(), kCount);
    EXPECT_EQ(names.back(), "d/69999");
}

TEST_F(ZipWriterTest, FilesThatChangeWhilePackedAreRefused) {
    struct Case {
        const char* label;
        std::string data;
        std::string secondPass;
        std::int64_t declaredSize;  // -1: the real size
        std::size_t keepBytes;
    };
    const std::vector<Case> cases = {
        {"más corto de lo anunciado", "abc", "", 10, 32u << 20},
        {"más largo de lo anunciado", "abcdef", "", 3, 32u << 20},
        {"otro contenido en la segunda pasada (comprimido)", std::string(4000, 'a'), std::string(4000, 'b'), -1, 16},
        {"otro contenido en la segunda pasada (sin comprimir)", parchtest::RandomBytes(4000, 9),
         parchtest::RandomBytes(4000, 10), -1, 16},
        {"reescrito con el mismo tamaño mientras se comprime en memoria", std::string(4000, 'a'),
         std::string(4000, 'b'), -1, 32u << 20},
    };
    for (const Case& c : cases) {
        auto out = core::RealFileSystem().CreateFile(archive);
        ZipWriter zip(*out, c.keepBytes);
        StringReader in(c.data);
        in.secondPass = c.secondPass;
        if (c.declaredSize >= 0) in.DeclareSize(static_cast<std::uint64_t>(c.declaredSize));
        try {
            zip.AddFile("a.bin", in, 0);
            ADD_FAILURE() << c.label << ": aceptado";
        } catch (const parchear::Refusal& e) {
            EXPECT_NE(std::string(e.what()).find("cambió mientras se empaquetaba"), std::string::npos)
                << c.label << ": " << e.what();
        }
    }
}

TEST_F(ZipWriterTest, FilesOf4GiBOrMoreAreRefusedBeforeAnyRead) {
    for (const std::uint64_t size : {0xFFFFFFFFull, 0x100000000ull, 0x7FFFFFFFFull}) {
        auto out = core::RealFileSystem().CreateFile(archive);
        ZipWriter zip(*out);
        StringReader in("");
        in.DeclareSize(size);
        EXPECT_THROW(zip.AddFile("grande.bin", in, 0), parchear::Refusal) << size;
        EXPECT_EQ(in.passes, 0) << size;
    }
}

TEST(Progress, OneLinePerTenthOnlyForLargeTotals) {
    struct Case {
        std::uint64_t total, threshold;
        std::vector<std::uint64_t> steps;
        int lines;
    };
    const std::vector<Case> cases = {
        {100, 1000, {100}, 0},    // below the threshold: silent
        {1000, 1000, {1000}, 1},  // all at once: one line (100 %)
        {1000, 10, {100, 100, 100, 100, 100, 100, 100, 100, 100, 100}, 10},
        {1000, 10, {1, 1, 1}, 0},  // not a tenth yet
        {1000, 10, {5000}, 1},     // more than the total is capped
        {0, 0, {5}, 0},            // nothing to do
    };
    for (const Case& c : cases) {
        std::ostringstream out;
        parchear::Progress p(out, "Prueba", c.total, c.threshold);
        for (const auto s : c.steps) p.Advance(s);
        const std::string text = out.str();
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), c.lines) << text;
        if (c.lines > 0) {
            EXPECT_NE(text.find("100 %"), std::string::npos) << text;
        }
    }
}

}  // namespace
