// Hostile and damaged archives, made by the builder: each is refused with the error box and a
// cause, nothing outside the target changes, and the target stays exactly as it was.
#include <gtest/gtest.h>

#include <functional>

#include "core/file_system.h"
#include "tests/support/files.h"
#include "tests/support/recording_dialogs.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tree.h"
#include "tests/unzip/zip_builder.h"
#include "updater/unzip/zip_extract.h"
#include "updater/update/mod_unzip.h"

namespace {

using unzip::Refusal;
using ziptest::EntryPlan;
using ziptest::ZipBuilder;

// A sandbox: root/centinela.txt outside the target root/juego, which holds an installation.
class Sandbox {
public:
    Sandbox() {
        testsupport::WriteBytes(testsupport::U8Path(root + "/centinela.txt"), "centinela");
        testsupport::WriteTree(
            testsupport::U8Path(target),
            {{"Recursos/OUTPUT/Update.ini", " 5 \r\n"}, {"a.txt", "original"}, {"Vandrel.exe", "MZ juego"}});
    }
    // Writes the archive into the target (as the update run does) and extracts it.
    unzip::Result Run(const std::string& bytes) {
        Prepare(bytes);
        return modUnzip::Descomprimir(target + "\\6.zip", target + "\\", core::RealFileSystem(), dialogs, decoder);
    }
    // The same through the engine with other limits (no box: that is Descomprimir's).
    unzip::Result RunEngine(const std::string& bytes, const unzip::Limits& limits) {
        Prepare(bytes);
        return unzip::ExtractArchive(target + "/6.zip", target, core::RealFileSystem(), decoder, limits);
    }
    // The refusal as the player sees it, and nothing changed anywhere.
    void ExpectRefused(const unzip::Result& o, Refusal code, const std::string& detail, const std::string& label,
                       std::size_t boxes = 1) {
        EXPECT_FALSE(o.ok) << label;
        if (code != Refusal::None) {
            EXPECT_EQ(o.code, code) << label << ": \"" << o.reason << "\"";
        }
        EXPECT_NE(o.reason.find(detail), std::string::npos) << label << ": \"" << o.reason << "\"";
        EXPECT_EQ(testsupport::Snapshot(testsupport::U8Path(root)), before) << label;
        EXPECT_EQ(testsupport::ReadBytes(testsupport::U8Path(root + "/centinela.txt")), "centinela");
        ASSERT_EQ(dialogs.boxes.size(), boxes) << label;
        if (boxes == 0) return;
        EXPECT_EQ(dialogs.boxes[0].text, "Error al descomprimir, pruebe que el archivo sea un original .ZIP y no .RAR");
        EXPECT_EQ(dialogs.boxes[0].caption, "Vandrel Updater");
        EXPECT_EQ(dialogs.boxes[0].style, 0u);
    }

private:
    void Prepare(const std::string& bytes) {
        testsupport::WriteBytes(testsupport::U8Path(target + "/6.zip"), bytes);
        before = testsupport::Snapshot(testsupport::U8Path(root));
    }

public:
    testsupport::TempDir dir{"vandrel-hostile"};
    std::string root = dir.Path();
    std::string target = root + "/juego";
    testsupport::RecordingDialogs dialogs;
    testsupport::Tree before;
    unzip::Cp437Decoder decoder;
};

struct HostileCase {
    const char* label;
    std::function<std::string()> archive;
    unzip::Refusal code;
    const char* detail = "";  // what the text must say beyond the code (a name's fault, a number)
};

std::string Named(const std::string& name, const std::string& data = "pwned") {
    return ZipBuilder().File("ok.txt", "bien").File(name, data).Build().bytes;
}

// The bent entry comes first: a fault found only while inflating must leave no trace either.
std::string With(std::function<void(EntryPlan&)> bend) {
    ZipBuilder b;
    EntryPlan e;
    e.name = "Recursos/dato.txt";
    e.data = std::string(3000, 'x') + "fin";
    bend(e);
    b.Add(e);
    b.File("a.txt", "nuevo").File("ultimo.txt", "último");
    return b.Build().bytes;
}

std::string Built(std::function<void(ZipBuilder&)> make) {
    ZipBuilder b;
    make(b);
    return b.Build().bytes;
}

const HostileCase kCases[] = {
    // Names that leave the target or that Windows would read as something else.
    {"dotdot", [] { return Named("../centinela.txt"); }, Refusal::BadName, "sale de la carpeta de destino"},
    {"dotdot_nested", [] { return Named("Recursos/../../centinela.txt"); }, Refusal::BadName, "sale de la carpeta"},
    {"dotdot_backslash", [] { return Named("Recursos\\..\\..\\centinela.txt"); }, Refusal::BadName,
     "sale de la carpeta"},
    {"absolute_slash", [] { return Named("/tmp/vandrel-pwned"); }, Refusal::BadName, "ruta absoluta"},
    {"absolute_backslash", [] { return Named("\\centinela.txt"); }, Refusal::BadName, "ruta absoluta"},
    {"unc", [] { return Named("\\\\servidor\\recurso\\x.txt"); }, Refusal::BadName, "ruta absoluta"},
    {"drive", [] { return Named("C:\\Windows\\x.txt"); }, Refusal::BadName, "unidad de disco"},
    {"drive_relative", [] { return Named("c:x.txt"); }, Refusal::BadName, "unidad de disco"},
    {"stream", [] { return Named("a.txt:oculto"); }, Refusal::BadName, "(:)"},
    {"control", [] { return Named("a\x01.txt"); }, Refusal::BadName, "control"},
    {"device", [] { return Named("CON"); }, Refusal::BadName, "reservado"},
    {"device_ext", [] { return Named("Recursos/aux.dat"); }, Refusal::BadName, "reservado"},
    {"device_case", [] { return Named("LpT3.txt"); }, Refusal::BadName, "reservado"},
    {"trailing_dot", [] { return Named("a.txt."); }, Refusal::BadName, "punto o en espacio"},
    {"trailing_blank", [] { return Named("Recursos /a.txt"); }, Refusal::BadName, "punto o en espacio"},
    {"wildcard", [] { return Named("a*.txt"); }, Refusal::BadName, "no válidos"},
    {"empty_name", [] { return Named(""); }, Refusal::BadName, "vacío"},
    {"long_name", [] { return Named(std::string(1100, 'a')); }, Refusal::BadName, "largo"},
    {"temporary_suffix", [] { return Named("a.txt.vandrel-tmp"); }, Refusal::BadName, "temporales"},
    {"bad_utf8", [] { return With([](EntryPlan& e) { e.name = "\xff\xfe.txt", e.flags = 0x800; }); }, Refusal::BadName,
     "no válidos"},
    // Links and special files.
    {"symlink", [] { return With([](EntryPlan& e) { e.madeBy = 0x031E, e.attributes = 0120777u << 16; }); },
     Refusal::Link},
    {"reparse_point", [] { return With([](EntryPlan& e) { e.attributes = 0x400; }); }, Refusal::Link},
    {"fifo", [] { return With([](EntryPlan& e) { e.madeBy = 0x031E, e.attributes = 010644u << 16; }); },
     Refusal::SpecialFile},
    // Two entries for one file.
    {"duplicate", [] { return Built([](ZipBuilder& b) { b.File("a.txt", "1").File("a.txt", "2"); }); },
     Refusal::SameFile},
    {"duplicate_case", [] { return Built([](ZipBuilder& b) { b.File("a.txt", "1").File("A.TXT", "2"); }); },
     Refusal::SameFile},
    {"duplicate_accents",
     [] {
         return Built([](ZipBuilder& b) {
             b.Add(ziptest::Plan("Ñandú.txt", "1", 8, 0x800)).Add(ziptest::Plan("ñANDÚ.txt", "2", 8, 0x800));
         });
     },
     Refusal::SameFile},
    {"duplicate_beyond_latin",
     [] {
         return Built([](ZipBuilder& b) {
             b.Add(ziptest::Plan("Ґрунт.txt", "1", 8, 0x800)).Add(ziptest::Plan("ґРУНТ.txt", "2", 8, 0x800));
         });
     },
     Refusal::SameFile},
    {"duplicate_separators",
     [] { return Built([](ZipBuilder& b) { b.File("Recursos/x.dat", "1").File("recursos\\X.DAT", "2"); }); },
     Refusal::SameFile},
    {"file_and_folder", [] { return Built([](ZipBuilder& b) { b.File("Datos", "1").File("datos/x.txt", "2"); }); },
     Refusal::FileAndFolder},
    {"file_and_folder_entry", [] { return Built([](ZipBuilder& b) { b.File("Datos", "1").Folder("Datos/"); }); },
     Refusal::FileAndFolder},
    // Encryption and methods.
    {"encrypted", [] { return With([](EntryPlan& e) { e.flags = 1; }); }, Refusal::EncryptedEntry},
    {"strong_encryption", [] { return With([](EntryPlan& e) { e.flags = 0x41; }); }, Refusal::EncryptedEntry},
    {"bzip2", [] { return With([](EntryPlan& e) { e.method = 12, e.compressed = "BZh9"; }); },
     Refusal::UnsupportedMethod, "(12)"},
    {"lzma", [] { return With([](EntryPlan& e) { e.method = 14, e.compressed = "xxxx"; }); },
     Refusal::UnsupportedMethod, "(14)"},
    {"aes", [] { return With([](EntryPlan& e) { e.method = 99, e.compressed = "xxxx"; }); }, Refusal::UnsupportedMethod,
     "(99)"},
    // Sizes that lie, and bombs.
    {"crc", [] { return With([](EntryPlan& e) { e.crc = 0x12345678; }); }, Refusal::ContentCrc},
    {"size_larger", [] { return With([](EntryPlan& e) { e.size = 3004; }); }, Refusal::ContentSize},
    {"size_smaller", [] { return With([](EntryPlan& e) { e.size = 3002; }); }, Refusal::ContentSize},
    {"compressed_shorter",
     [] { return With([](EntryPlan& e) { e.compressed = ziptest::Deflate(e.data).substr(0, 10); }); },
     Refusal::ContentDamaged},
    {"compressed_longer", [] { return With([](EntryPlan& e) { e.compressed = ziptest::Deflate(e.data) + "basura"; }); },
     Refusal::ContentDamaged},
    {"stored_sizes", [] { return With([](EntryPlan& e) { e.method = 0, e.size = 10; }); }, Refusal::Damaged, "tamaños"},
    {"bomb_ratio", [] { return Named("bomba.raw", std::string(3u << 20, '\0')); }, Refusal::Bomb, "1000 veces"},
    {"bomb_total",
     [] { return With([](EntryPlan& e) { e.zip64 = true, e.size = 5ull << 30, e.compressedSize = 6u << 20; }); },
     Refusal::TooLarge},
    {"folder_with_data", [] { return With([](EntryPlan& e) { e.name = "carpeta/"; }); }, Refusal::Damaged,
     "tiene contenido"},
    // Local headers that disagree with the central directory.
    {"local_name", [] { return With([](EntryPlan& e) { e.localName = "Recursos/otro.txt"; }); }, Refusal::Damaged,
     "no coincide"},
    {"local_method", [] { return With([](EntryPlan& e) { e.localMethod = 0; }); }, Refusal::Damaged, "no coincide"},
    {"local_crc", [] { return With([](EntryPlan& e) { e.localCrc = 1; }); }, Refusal::Damaged, "no coincide"},
    {"descriptor_crc", [] { return With([](EntryPlan& e) { e.descriptor = true, e.descriptorCrc = 7; }); },
     Refusal::Damaged, "descriptor de datos"},
    {"local_signature",
     [] {
         std::string bytes = ZipBuilder().File("a.txt", "1").Build().bytes;
         bytes[1] = 'X';
         return bytes;
     },
     Refusal::Damaged, "cabecera local"},
    // Structure: overlaps, offsets outside the file, zip64 and disks.
    {"shared_header",
     [] {
         return Built([](ZipBuilder& b) {
             EntryPlan e = ziptest::Plan("b.txt", "b");
             e.headerOffset = 0;
             b.File("a.txt", "a").Add(e);
         });
     },
     Refusal::Damaged, "superpuestas"},
    {"overlapping_data",
     [] {
         return Built([](ZipBuilder& b) {
             EntryPlan e = ziptest::Plan("a.txt", "abc", 0);
             e.compressedSize = 40, e.size = 40;  // reaches into the next header
             b.Add(e).File("b.txt", "siguiente");
         });
     },
     Refusal::Damaged, "superpuestas"},
    {"offset_outside", [] { return With([](EntryPlan& e) { e.headerOffset = 1u << 30; }); }, Refusal::Damaged,
     "fuera del archivo"},
    {"zip64_missing",
     [] {
         return With([](EntryPlan& e) {
             e.size = 0xFFFFFFFFu;
             e.centralExtra = std::string(
                 "\x01\x00\x04\x00"
                 "abcd",
                 8);
         });
     },
     Refusal::Damaged, "ZIP64"},
    {"cd_outside", [] { return Built([](ZipBuilder& b) { b.File("a.txt", "1"), b.cdOffset = 1u << 20; }); },
     Refusal::DamagedDirectory, "directorio central fuera"},
    {"cd_too_long", [] { return Built([](ZipBuilder& b) { b.File("a.txt", "1"), b.cdSize = 400; }); },
     Refusal::DamagedDirectory, "directorio central fuera"},
    {"count_larger", [] { return Built([](ZipBuilder& b) { b.File("a.txt", "1"), b.entryCount = 2; }); },
     Refusal::DamagedDirectory, "directorio central"},
    {"count_smaller",
     [] { return Built([](ZipBuilder& b) { b.File("a.txt", "1").File("b.txt", "2"), b.entryCount = 1; }); },
     Refusal::DamagedDirectory, "tamaño del directorio central"},
    {"split", [] { return Built([](ZipBuilder& b) { b.File("a.txt", "1"), b.disk = 1; }); }, Refusal::SplitArchive},
    {"split_zip64", [] { return Built([](ZipBuilder& b) { b.File("a.txt", "1"), b.zip64End = true, b.disk = 2; }); },
     Refusal::SplitArchive},
    // Not zip archives at all.
    {"rar", [] { return std::string("Rar!\x1a\x07\x01\x00", 8) + std::string(5000, 'r'); }, Refusal::Rar},
    {"text", [] { return std::string("<html>404 Not Found</html>"); }, Refusal::NotZip},
    {"zero_bytes", [] { return std::string(); }, Refusal::NotZip},
    {"end_record_only_cut", [] { return std::string("PK\x05\x06\0\0\0\0", 8); }, Refusal::NotZip},
};

class HostileArchiveTest : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileArchiveTest, RefusedWithNothingTouched) {
    Sandbox box;
    box.ExpectRefused(box.Run(GetParam().archive()), GetParam().code, GetParam().detail, GetParam().label);
}

INSTANTIATE_TEST_SUITE_P(Refusals, HostileArchiveTest, ::testing::ValuesIn(kCases),
                         [](const auto& p) { return std::string(p.param.label); });

TEST(HostileLimits, TooManyEntries) {
    Sandbox box;
    unzip::Limits limits;
    limits.maxEntries = 3;
    const std::string bytes =
        Built([](ZipBuilder& b) { b.File("1", "1").File("2", "2").File("3", "3").File("4", "4"); });
    box.ExpectRefused(box.RunEngine(bytes, limits), Refusal::TooManyEntries, "", "entries", 0);
}

// A rich archive cut at every structural boundary (and one byte either side) is refused.
TEST(Truncation, EveryBoundaryIsRefused) {
    ZipBuilder b;
    b.File("Recursos/OUTPUT/a.txt", std::string(5000, 'a'));
    b.File("b.dat", "stored", 0);
    b.Folder("vacía/");
    EntryPlan d = ziptest::Plan("c.txt", "descriptor");
    d.descriptor = true;
    b.Add(d);
    EntryPlan z = ziptest::Plan("d.txt", "zip64 entry");
    z.zip64 = true;
    b.Add(z);
    b.zip64End = true;
    b.comment = "comentario";
    const ziptest::Archive a = b.Build();
    {
        Sandbox whole;
        ASSERT_TRUE(whole.Run(a.bytes).ok);  // the uncut archive is fine
    }
    std::vector<std::uint64_t> cuts;
    for (const std::uint64_t at : a.boundaries) {
        for (const std::uint64_t c : {at - 1, at, at + 1}) {
            if (c <= at + 1 && c < a.bytes.size() - b.comment.size()) cuts.push_back(c);
        }
    }
    ASSERT_GT(cuts.size(), 30u);
    for (const std::uint64_t cut : cuts) {
        Sandbox box;
        box.ExpectRefused(box.Run(a.bytes.substr(0, cut)), Refusal::None, "", "cut at " + std::to_string(cut));
    }
}

}  // namespace
