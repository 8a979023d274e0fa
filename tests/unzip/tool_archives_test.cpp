// Archives as the common tools write them, header field by header field: the names come out as
// the tool meant them, and the end records are read only as far as the archive needs.
#include <gtest/gtest.h>

#include "tests/support/memory_fs.h"
#include "tests/unzip/zip_builder.h"
#include "updater/unzip/zip_extract.h"

namespace {

using unzip::Refusal;
using ziptest::EntryPlan;
using ziptest::ZipBuilder;

// Info-ZIP's UTF-8 path extra field (0x7075) for the stored name bytes raw.
std::string UnicodePath(const std::string& raw, const std::string& utf8) {
    std::string x("\x75\x70", 2);
    const std::size_t size = 5 + utf8.size();
    x += static_cast<char>(size & 0xFF);
    x += static_cast<char>(size >> 8);
    x += '\x01';
    const std::uint32_t crc = ziptest::Crc32(raw);
    for (int i = 0; i < 4; ++i) x += static_cast<char>((crc >> (8 * i)) & 0xFF);
    return x + utf8;
}

// Extended timestamp (0x5455) and Unix owner (0x7875) fields, as macOS and Info-ZIP add them.
const std::string kUnixExtras("UT\x05\x00\x03\x10\x32\x54\x65ux\x0b\x00\x01\x04\xf5\x01\x00\x00\x04\x14\x00\x00\x00",
                              24);

struct NameCase {
    const char* tool;
    std::uint16_t madeBy;  // host in the high byte, version in the low byte
    std::uint16_t flags;
    std::string raw;  // the stored name bytes
    std::string extra;
    std::string expected;  // the file that must appear
};

const NameCase kNames[] = {
    // Archive Utility: Unix host, UTF-8 bytes without the flag, a data descriptor.
    {"macos_archive_utility", 0x0315, 0x0008, "世界.txt", kUnixExtras, "世界.txt"},
    {"macos_archive_utility_accents", 0x0315, 0x0008, "Recursos/Canción.txt", kUnixExtras, "Recursos/Canción.txt"},
    // macOS writes names decomposed: "o" + U+0301, and Hangul as its jamo; Windows composes.
    {"macos_decomposed", 0x0315, 0x0008, "Recursos/Cancio\xCC\x81n.txt", kUnixExtras, "Recursos/Canci\xC3\xB3n.txt"},
    {"macos_ditto_decomposed_hangul", 0x0315, 0x0800, "\xE1\x84\x92\xE1\x85\xA1\xE1\x86\xAB.txt", kUnixExtras,
     "\xED\x95\x9C.txt"},
    {"infozip_macos_decomposed", 0x0314, 0x0000, "Cancio\xCC\x81n.txt",
     UnicodePath("Cancio\xCC\x81n.txt", "Cancio\xCC\x81n.txt"), "Canci\xC3\xB3n.txt"},
    // Windows Explorer: MS-DOS host, the OEM code page (CP437 here), no flag.
    {"windows_explorer", 0x0014, 0x0000, "Canci\xA2n.txt", "", "Canción.txt"},
    // WinRAR: UTF-8 with the flag when the OEM code page cannot hold the name.
    {"winrar", 0x0014, 0x0800, "世界.txt", "", "世界.txt"},
    // WinZip: the OEM name with Info-ZIP's UTF-8 path beside it.
    {"winzip", 0x003F, 0x0000, "Canci\xA2n_?.txt", UnicodePath("Canci\xA2n_?.txt", "Canción_世.txt"), "Canción_世.txt"},
    // 7-Zip on Windows: UTF-8 with the flag; on Linux (p7zip) Unix host.
    {"7zip_windows", 0x003F, 0x0800, "ñandú/Ñu.txt", "", "ñandú/Ñu.txt"},
    {"7zip_linux", 0x031E, 0x0000, "ñandú/Ñu.txt", "", "ñandú/Ñu.txt"},
    // PowerShell 5 Compress-Archive (.NET Framework): backslash separators, UTF-8 with the flag.
    {"powershell_compress_archive", 0x0014, 0x0800, "Recursos\\OUTPUT\\Año.ini", "", "Recursos/OUTPUT/Año.ini"},
    // Info-ZIP zip on Linux: raw UTF-8 plus the UTF-8 path field.
    {"infozip_linux", 0x031E, 0x0000, "Canción.txt", UnicodePath("Canción.txt", "Canción.txt"), "Canción.txt"},
    // A Unix archiver in a Latin-1 locale: not UTF-8, so the OEM code page.
    {"unix_latin1", 0x0317, 0x0000, "Canci\xF3n.txt", "", "Canci≤n.txt"},
    // A UTF-8 path field that is not UTF-8 is ignored.
    {"bad_unicode_path", 0x0014, 0x0000, "Canci\xA2n.txt", UnicodePath("Canci\xA2n.txt", "\xff\xfe"), "Canción.txt"},
};

TEST(ToolArchives, NamesComeOutAsTheToolMeantThem) {
    for (const NameCase& c : kNames) {
        testsupport::MemoryFileSystem fs;
        fs.folders = {"/juego"};
        EntryPlan e = ziptest::Plan(c.raw, "contenido", 8, c.flags & 0x0800);
        e.madeBy = c.madeBy;
        e.descriptor = c.flags & 0x0008;
        e.centralExtra = e.localExtra = c.extra;
        fs.files["/juego/1.zip"] = std::make_shared<std::string>(ZipBuilder().Add(e).Build().bytes);
        const unzip::Result o = unzip::ExtractArchive("/juego/1.zip", "/juego", fs, unzip::Cp437Decoder());
        ASSERT_TRUE(o.ok) << c.tool << ": " << o.reason;
        ASSERT_TRUE(fs.files.count("/juego/" + c.expected)) << c.tool;
        EXPECT_EQ(*fs.files["/juego/" + c.expected], "contenido") << c.tool;
    }
}

// Sets the byte pair at the last occurrence of signature + offset.
std::string Patched(std::string bytes, const std::string& signature, std::size_t offset, std::uint16_t value) {
    const std::size_t at = bytes.rfind(signature);
    bytes[at + offset] = static_cast<char>(value & 0xFF);
    bytes[at + offset + 1] = static_cast<char>(value >> 8);
    return bytes;
}

struct EndCase {
    const char* label;
    std::string bytes;
    Refusal code;  // None: extracted
};

ZipBuilder TwoFiles() {
    ZipBuilder b;
    b.File("a.txt", "a").File("b.txt", "b");
    return b;
}

// A central directory whose last bytes look like a ZIP64 locator of a split archive.
std::string LocatorLookalike() {
    ZipBuilder b;
    EntryPlan e = ziptest::Plan("b.txt", "b");
    e.centralExtra = std::string("\xfe\xca\x14\x00PK\x06\x07\0\0\0\0\0\0\0\0\0\0\0\0\x03\0\0\0", 24);
    return b.File("a.txt", "a").Add(e).Build().bytes;
}

std::string Zip64(std::uint16_t disk = 0) {
    ZipBuilder b = TwoFiles();
    b.zip64End = true;
    b.disk = disk;
    return b.Build().bytes;
}

const std::string kEnd("PK\x05\x06", 4), kEnd64("PK\x06\x06", 4);

TEST(ToolArchives, EndRecordsAreReadOnlyAsFarAsNeeded) {
    const EndCase cases[] = {
        {"plain", TwoFiles().Build().bytes, Refusal::None},
        {"locator_lookalike", LocatorLookalike(), Refusal::None},
        {"zip64", Zip64(), Refusal::None},
        {"split", Patched(TwoFiles().Build().bytes, kEnd, 4, 1), Refusal::SplitArchive},
        {"split_zip64", Zip64(2), Refusal::SplitArchive},
        {"entries_on_disk_disagree", Patched(TwoFiles().Build().bytes, kEnd, 8, 1), Refusal::DamagedDirectory},
        {"entry_on_other_disk", Patched(TwoFiles().Build().bytes, std::string("PK\x01\x02", 4), 34, 1),
         Refusal::DamagedDirectory},
        {"zip64_missing", Patched(TwoFiles().Build().bytes, kEnd, 10, 0xFFFF), Refusal::DamagedDirectory},
        {"encrypted_directory", Patched(Zip64(), kEnd64, 14, 62), Refusal::EncryptedDirectory},
    };
    for (const EndCase& c : cases) {
        testsupport::MemoryFileSystem fs;
        fs.folders = {"/juego"};
        fs.files["/juego/1.zip"] = std::make_shared<std::string>(c.bytes);
        const unzip::Result o = unzip::ExtractArchive("/juego/1.zip", "/juego", fs, unzip::Cp437Decoder());
        EXPECT_EQ(o.code, c.code) << c.label << ": " << o.reason;
        if (c.code == Refusal::None) {
            EXPECT_TRUE(fs.files.count("/juego/b.txt")) << c.label;
        }
    }
    // Each cause has a text of its own.
    EXPECT_NE(unzip::RefusalText(Refusal::SplitArchive), unzip::RefusalText(Refusal::EncryptedDirectory));
    EXPECT_NE(unzip::RefusalText(Refusal::SplitArchive), unzip::RefusalText(Refusal::DamagedDirectory, {}, "x"));
}

}  // namespace
