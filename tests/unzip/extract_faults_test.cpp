// Faults while writing, through the in-memory file seam: files in use, a full disk, damage
// found mid-archive, blocked folders; and what the extraction asks of the file system.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>
#include <set>

#include "tests/support/faulty_fs.h"
#include "tests/support/files.h"
#include "tests/support/memory_fs.h"
#include "tests/support/recording_dialogs.h"
#include "tests/support/tree.h"
#include "tests/unzip/zip_builder.h"
#include "updater/unzip/entry_name.h"
#include "updater/unzip/zip_extract.h"
#include "updater/update/mensajes.h"
#include "updater/update/mod_unzip.h"

namespace {

using testsupport::FaultyFileSystem;
using testsupport::MemoryFileSystem;
using unzip::Refusal;
using ziptest::EntryPlan;
using ziptest::ZipBuilder;

std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
}

std::string Text(std::size_t n) {
    std::string s;
    const char* words[] = {"vandrel ", "espada ", "aldea ", "poción ", "dragón\r\n"};
    for (std::size_t i = 0; s.size() < n; ++i) s += words[(i * 7 + i / 3) % 5];
    s.resize(n);
    return s;
}

class ExtractFaults : public ::testing::Test {
protected:
    ExtractFaults() {
        fs.folders = {"/juego", "/juego/Recursos"};
        Put("/juego/a.txt", "viejo a");
        Put("/juego/Vandrel.exe", "MZ viejo");
        Put("/juego/z.txt", "viejo z");
    }
    void Put(const std::string& path, const std::string& content) {
        fs.files[path] = std::make_shared<std::string>(content);
    }
    std::string Get(const std::string& path) { return fs.files.count(path) ? *fs.files[path] : "<ninguno>"; }
    std::map<std::string, std::string> Contents() const {
        std::map<std::string, std::string> all;
        for (const auto& [path, content] : fs.files) all[path] = *content;
        return all;
    }
    unzip::Result Run(const std::string& bytes, std::size_t bufferSize = 1u << 20, std::size_t lanes = 0) {
        Put("/juego/6.zip", bytes);
        unzip::Limits limits;
        limits.bufferSize = bufferSize;
        limits.lanes = lanes;
        return unzip::ExtractArchive("/juego/6.zip", "/juego\\", faulty, decoder, limits);
    }
    void ExpectNoTemporaryFiles() {
        for (const auto& [path, content] : fs.files) EXPECT_EQ(path.find(unzip::kTemporarySuffix), std::string::npos);
    }
    static std::string ThreeFiles() {
        return ZipBuilder()
            .File("a.txt", "nuevo a")
            .File("Vandrel.exe", "MZ nuevo")
            .File("z.txt", "nuevo z")
            .Build()
            .bytes;
    }

    MemoryFileSystem fs;
    FaultyFileSystem faulty{fs};
    unzip::Cp437Decoder decoder;
};

TEST_F(ExtractFaults, FileInUseFailsNamingItAndKeepsItsOldContent) {
    faulty.failReplace = "/juego/Vandrel.exe";
    const unzip::Result o = Run(ThreeFiles());
    EXPECT_EQ(o.code, Refusal::InUse);
    EXPECT_NE(o.reason.find("«Vandrel.exe»"), std::string::npos) << o.reason;
    EXPECT_EQ(Get("/juego/Vandrel.exe"), "MZ viejo");
    EXPECT_EQ(Get("/juego/a.txt"), "nuevo a");  // whole, and extracted again with the patch next time
    EXPECT_EQ(Get("/juego/z.txt"), "viejo z");  // the run stopped at the file in use
    ExpectNoTemporaryFiles();
    EXPECT_EQ(fs.openReaders, 0);
}

TEST_F(ExtractFaults, FullDiskLeavesTheOldFileWhole) {
    const std::string big = RandomBytes(300000, 1);
    faulty.writeBudget = 7 + 100000;  // a.txt fits, Vandrel.exe does not
    // One lane: with several, whichever write comes after the disk filled up meets it.
    const unzip::Result o = Run(ZipBuilder().File("a.txt", "nuevo a").File("Vandrel.exe", big).Build().bytes, 65536, 1);
    EXPECT_EQ(o.code, Refusal::DiskFull);
    EXPECT_EQ(o.reason, "no se pudo escribir «Vandrel.exe» (Disco lleno)");
    EXPECT_EQ(Get("/juego/Vandrel.exe"), "MZ viejo");
    ExpectNoTemporaryFiles();
}

TEST_F(ExtractFaults, DamageFoundMidArchiveKeepsTheDamagedEntrysOldFile) {
    ZipBuilder b;
    b.File("a.txt", "nuevo a");
    EntryPlan bad = ziptest::Plan("Vandrel.exe", Text(50000));
    bad.crc = 0xDEADBEEF;
    b.Add(bad).File("z.txt", "nuevo z");
    const unzip::Result o = Run(b.Build().bytes);
    EXPECT_EQ(o.code, Refusal::ContentCrc);
    EXPECT_EQ(o.reason, "el contenido de «Vandrel.exe» está dañado (CRC)");
    EXPECT_EQ(Get("/juego/Vandrel.exe"), "MZ viejo");
    EXPECT_EQ(Get("/juego/z.txt"), "viejo z");
    EXPECT_EQ(Get("/juego/a.txt"), "viejo a");
    ExpectNoTemporaryFiles();
}

// All or nothing: a fault in the last of six entries, found only while writing it, leaves every
// file and folder as it was and no temporary file behind.
TEST_F(ExtractFaults, ALateFaultLeavesEveryFileAsItWas) {
    struct Case {
        const char* label;
        std::function<void(EntryPlan&)> bend;
        Refusal code;
        std::uint64_t writeBudget = UINT64_MAX;
    };
    const Case cases[] = {
        {"crc", [](EntryPlan& e) { e.crc = 0x12345678; }, Refusal::ContentCrc},
        {"stored_crc", [](EntryPlan& e) { e.method = 0, e.crc = 1; }, Refusal::ContentCrc},
        {"size", [](EntryPlan& e) { e.size = e.data.size() - 1; }, Refusal::ContentSize},
        {"stream", [](EntryPlan& e) { e.compressed = std::string(40, '\xff'); }, Refusal::ContentDamaged},
        {"disk_full", [](EntryPlan&) {}, Refusal::DiskFull, 4 * 7 + 1000},
    };
    for (const Case& c : cases) {
        fs.files.clear();
        for (const char* name : {"a", "b", "c", "d"}) Put(std::string("/juego/") + name + ".txt", "viejo");
        Put("/juego/Vandrel.exe", "MZ viejo");
        ZipBuilder b;
        for (const char* name : {"a", "b", "c", "d"}) b.File(std::string(name) + ".txt", "nuevo " + std::string(name));
        b.File("Nueva/Sub/e.txt", "e");
        EntryPlan last = ziptest::Plan("Vandrel.exe", Text(200000));
        c.bend(last);
        b.Add(last);
        faulty.writeBudget = c.writeBudget;
        const unzip::Result o = Run(b.Build().bytes, 65536);
        faulty.writeBudget = UINT64_MAX;
        EXPECT_EQ(o.code, c.code) << c.label << ": " << o.reason;
        for (const char* name : {"a", "b", "c", "d"})
            EXPECT_EQ(Get(std::string("/juego/") + name + ".txt"), "viejo") << c.label;
        EXPECT_EQ(Get("/juego/Vandrel.exe"), "MZ viejo") << c.label;
        EXPECT_EQ(fs.folders, (std::set<std::string>{"/juego", "/juego/Recursos"})) << c.label;
        ExpectNoTemporaryFiles();
    }
}

// Entries written by several lanes at once: whichever lane meets its damage first, the refusal is
// that of the first failing entry in archive order, on every run, and a lane stopped mid-file
// leaves nothing behind. One lane and several give the same files.
TEST_F(ExtractFaults, TheFirstFailureInArchiveOrderWinsWhateverTheLanes) {
    const auto crc = [](EntryPlan& e) { e.crc = 0x12345678; };  // found only once the whole file is written
    const auto stream = [](EntryPlan& e) { e.compressed = std::string(40, '\xff'); };  // found at once
    const auto size = [](EntryPlan& e) { e.size = e.data.size() - 1; };
    struct Case {
        const char* label;
        std::map<std::size_t, std::function<void(EntryPlan&)>> bend;  // entry -> its damage
        bool blockDatos;                                              // entry 6's folder is a file
        Refusal code;
        const char* subject;
    };
    const Case cases[] = {
        {"whole", {}, false, Refusal::None, ""},
        {"late_crc_before_quick_damage", {{0, crc}, {1, stream}}, false, Refusal::ContentCrc, "«a.txt»"},
        {"damage_while_big_file_written", {{3, stream}}, false, Refusal::ContentDamaged, "«d.txt»"},
        {"stored_crc_before_size", {{2, crc}, {5, size}}, false, Refusal::ContentCrc, "«c.bin»"},
        {"damage_before_blocked_folder", {{4, crc}}, true, Refusal::ContentCrc, "«Vandrel.exe»"},
        {"blocked_folder_before_damage", {{7, stream}}, true, Refusal::CannotCreateFolder, "«Datos»"},
    };
    const char* const names[] = {"a.txt", "b.txt", "c.bin", "d.txt", "Vandrel.exe", "e.txt", "Datos/f.txt", "g.txt"};
    const std::string big = Text(1000000), random = RandomBytes(600000, 3);
    for (const Case& c : cases) {
        ZipBuilder b;
        for (std::size_t i = 0; i < std::size(names); ++i) {
            EntryPlan e = ziptest::Plan(names[i],
                                        i == 0   ? big
                                        : i == 2 ? random
                                                 : Text(3000 + 50000 * (i % 3)),
                                        i == 2 ? 0 : 8);
            if (c.bend.count(i)) c.bend.at(i)(e);
            b.Add(e);
        }
        const std::string bytes = b.Build().bytes;
        std::map<std::string, std::string> oneLane;
        std::string oneLaneReason;
        for (const std::size_t lanes : {1, 2, 4}) {
            for (int run = 0; run < (lanes == 1 ? 1 : 20); ++run) {
                fs.files.clear();
                fs.folders = {"/juego"};
                for (const char* name : {"a.txt", "d.txt", "Vandrel.exe"}) Put(std::string("/juego/") + name, "viejo");
                if (c.blockDatos) Put("/juego/Datos", "un archivo");
                Put("/juego/6.zip", bytes);
                const std::map<std::string, std::string> before = Contents();
                const unzip::Result o = Run(bytes, 65536, lanes);
                const std::string where = std::string(c.label) + ", " + std::to_string(lanes) + " lanes";
                ASSERT_EQ(o.code, c.code) << where << ": " << o.reason;
                EXPECT_EQ(fs.openReaders, 0) << where;
                if (lanes == 1) oneLane = Contents(), oneLaneReason = o.reason;
                EXPECT_EQ(Contents(), oneLane) << where;
                EXPECT_EQ(o.reason, oneLaneReason) << where;
                if (o.ok) continue;
                EXPECT_NE(o.reason.find(c.subject), std::string::npos) << where << ": " << o.reason;
                EXPECT_EQ(Contents(), before) << where;
                EXPECT_EQ(fs.folders, std::set<std::string>{"/juego"}) << where;
            }
        }
    }
}

TEST_F(ExtractFaults, FolderBlockedByAFile) {
    Put("/juego/Datos", "un archivo");
    const unzip::Result o = Run(ZipBuilder().File("Datos/x.txt", "x").Build().bytes);
    EXPECT_EQ(o.code, Refusal::CannotCreateFolder);
    EXPECT_NE(o.reason.find("«Datos»"), std::string::npos) << o.reason;
    EXPECT_EQ(Get("/juego/Datos"), "un archivo");
}

TEST_F(ExtractFaults, MissingArchiveAndMissingTarget) {
    unzip::Limits limits;
    unzip::Result o = unzip::ExtractArchive("/juego/7.zip", "/juego\\", fs, decoder, limits);
    EXPECT_EQ(o.code, Refusal::CannotOpen);
    Put("/juego/6.zip", ThreeFiles());
    o = unzip::ExtractArchive("/juego/6.zip", "/otro\\", fs, decoder, limits);
    EXPECT_EQ(o.code, Refusal::NoTarget);
    EXPECT_EQ(fs.openReaders, 0);
}

TEST_F(ExtractFaults, FoldersAreCreatedOnceAndTheArchiveIsClosed) {
    ZipBuilder b;
    b.Folder("Recursos/OUTPUT/");
    for (int i = 0; i < 50; ++i) b.File("Recursos/OUTPUT/graficos/g" + std::to_string(i) + ".bmp", "g");
    for (int i = 0; i < 50; ++i) b.File("Recursos/OUTPUT/s" + std::to_string(i) + ".wav", "s");
    b.Folder("Vacia/");
    const core::Outcome o = Run(b.Build().bytes);
    ASSERT_TRUE(o.ok) << o.reason;
    EXPECT_EQ(fs.createDirectoryCalls, 4);  // Recursos, Recursos/OUTPUT, .../graficos, Vacia
    EXPECT_TRUE(fs.folders.count("/juego/Vacia"));
    EXPECT_EQ(Get("/juego/Recursos/OUTPUT/graficos/g49.bmp"), "g");
    EXPECT_EQ(fs.openReaders, 0);
    ExpectNoTemporaryFiles();
}

// Contents that cross every buffer edge: stored, deflated, incompressible, empty, descriptors.
TEST_F(ExtractFaults, BufferSizesDoNotChangeTheResult) {
    const std::string random = RandomBytes(700000, 2), text = Text(900000);
    ZipBuilder b;
    b.File("r.bin", random).File("t.txt", text).File("s.bin", random, 0).File("vacio.dat", "", 0).File("cero.dat", "");
    EntryPlan d = ziptest::Plan("d.txt", text.substr(0, 200000));
    d.descriptor = true;
    b.Add(d);
    EntryPlan z = ziptest::Plan("z.txt", text.substr(0, 70001), 0);
    z.zip64 = true;
    b.Add(z);
    b.zip64End = true;
    const std::string bytes = b.Build().bytes;
    for (const std::size_t buffer : {std::size_t{64}, std::size_t{4096}, std::size_t{65537}, std::size_t{1} << 20}) {
        fs.files.clear();
        const core::Outcome o = Run(bytes, buffer);
        ASSERT_TRUE(o.ok) << buffer << ": " << o.reason;
        EXPECT_EQ(Get("/juego/r.bin"), random) << buffer;
        EXPECT_EQ(Get("/juego/t.txt"), text) << buffer;
        EXPECT_EQ(Get("/juego/s.bin"), random) << buffer;
        EXPECT_EQ(Get("/juego/vacio.dat"), "") << buffer;
        EXPECT_EQ(Get("/juego/cero.dat"), "") << buffer;
        EXPECT_EQ(Get("/juego/d.txt"), text.substr(0, 200000)) << buffer;
        EXPECT_EQ(Get("/juego/z.txt"), text.substr(0, 70001)) << buffer;
    }
}

TEST_F(ExtractFaults, Utf8ExtraFieldNamesAreUsedWhenTheyMatch) {
    const std::string raw = "Cancion.txt";
    std::string extra = std::string("\x75\x70", 2);
    const std::string utf8 = "Canción.txt";
    const std::uint32_t crc = ziptest::Crc32(raw);
    const std::uint16_t size = static_cast<std::uint16_t>(5 + utf8.size());
    extra += static_cast<char>(size & 0xFF);
    extra += static_cast<char>(size >> 8);
    extra += '\x01';
    for (int i = 0; i < 4; ++i) extra += static_cast<char>((crc >> (8 * i)) & 0xFF);
    extra += utf8;
    EntryPlan e = ziptest::Plan(raw, "ó");
    e.centralExtra = extra;
    EntryPlan stale = ziptest::Plan("Otro.txt", "x");
    stale.centralExtra = extra;  // its CRC is of another name: ignored
    ASSERT_TRUE(Run(ZipBuilder().Add(e).Add(stale).Build().bytes).ok);
    EXPECT_EQ(Get("/juego/Canción.txt"), "ó");
    EXPECT_EQ(Get("/juego/Otro.txt"), "x");
}

TEST_F(ExtractFaults, DescomprimirShowsTheBoxOnlyOnFailure) {
    testsupport::RecordingDialogs dialogs;
    modUnzip::ZipExtractor extractor(fs, dialogs, decoder);
    Put("/juego/6.zip", ThreeFiles());
    EXPECT_TRUE(extractor.Extract("/juego/6.zip", "/juego\\").ok);
    EXPECT_TRUE(dialogs.boxes.empty());
    Put("/juego/7.zip", std::string("Rar!\x1a\x07\x00 no es zip", 16));
    const core::Outcome o = extractor.Extract("/juego/7.zip", "/juego\\");
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.reason, "el archivo descargado es un .rar, no un .zip");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, update::mensajes::kErrorAlDescomprimir);
    EXPECT_EQ(dialogs.boxes[0].caption, update::mensajes::kTitulo);
    EXPECT_EQ(dialogs.boxes[0].style, 0u);
}

}  // namespace

// The threads of one extraction stay bounded on any machine (a player's 8 cores, a server's 64,
// one that cannot tell), whatever the limits ask, and never exceed the work.
TEST(ThreadPlan, BoundedOnEveryMachine) {
    for (const unsigned cores : {0u, 1u, 2u, 4u, 8u, 64u}) {
        for (const std::size_t files : {0u, 1u, 3u, 100000u}) {
            for (const std::size_t lanes : {0u, 1u, 8u, 1000u}) {
                for (const std::size_t flushers : {0u, 1u, 1000u}) {
                    unzip::Limits limits;
                    limits.lanes = lanes;
                    limits.flushers = flushers;
                    const unzip::ThreadPlan plan = unzip::PlanThreads(cores, files, limits);
                    const std::string where = std::to_string(cores) + " cores, " + std::to_string(files) + " files, " +
                                              std::to_string(lanes) + "/" + std::to_string(flushers) + " asked";
                    EXPECT_GE(plan.lanes, 1u) << where;
                    EXPECT_LE(plan.lanes, std::max<std::size_t>(files, 1)) << where;
                    EXPECT_LE(plan.lanes, unzip::kMaxLanes) << where;
                    EXPECT_GE(plan.flushers, 1u) << where;
                    EXPECT_LE(plan.Total(), unzip::kMaxThreads) << where;
                }
            }
        }
    }
    const unzip::ThreadPlan player = unzip::PlanThreads(8, 500, {});
    EXPECT_EQ(player.lanes, unzip::kMaxLanes);
    EXPECT_EQ(player.flushers, unzip::kDefaultFlushers);
}

// Many files through the most lanes an 8-core machine gets and one flusher or the default pool:
// the writers wait for the flushers' queue, nothing waits forever, every file arrives.
TEST_F(ExtractFaults, ManyFilesThroughEveryLaneAndFewFlushers) {
    ZipBuilder b;
    for (int i = 0; i < 300; ++i) b.File("f/" + std::to_string(i) + ".txt", Text(100 + i * 37));
    b.File("grande.bin", RandomBytes(3u << 20, 5), 0);
    const std::string bytes = b.Build().bytes;
    for (const std::size_t flushers : {std::size_t{1}, std::size_t{0}}) {
        fs.files.clear();
        fs.folders = {"/juego"};
        Put("/juego/6.zip", bytes);
        unzip::Limits limits;
        limits.lanes = 8;
        limits.flushers = flushers;
        limits.bufferSize = 65536;
        const unzip::Result o = unzip::ExtractArchive("/juego/6.zip", "/juego", fs, decoder, limits);
        ASSERT_TRUE(o.ok) << o.reason;
        for (int i = 0; i < 300; ++i) ASSERT_EQ(Get("/juego/f/" + std::to_string(i) + ".txt"), Text(100 + i * 37));
        EXPECT_EQ(Get("/juego/grande.bin"), RandomBytes(3u << 20, 5));
        EXPECT_EQ(fs.openReaders, 0);
        ExpectNoTemporaryFiles();
    }
}
