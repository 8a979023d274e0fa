// Free space before a patch is written: the archive before its download (less what a resumed
// partial holds), its files before the extraction; a shortage is one red line and changes nothing.
#include <gtest/gtest.h>

#include "fakes.h"
#include "tests/support/faulty_fs.h"
#include "tests/unzip/zip_builder.h"
#include "updater/update/mod_unzip.h"
#include "updater/update/resume_record.h"

namespace {

constexpr std::uint64_t kMiB = 1u << 20;
const std::string kEtag = "\"v1\"";
const std::string kUrl = std::string(fakes::kBase) + "parches/1.zip";

TEST(DiskRoom, APatchIsWrittenOnlyWhenTheDiskHoldsIt) {
    const std::string data(10000, 'x');  // stored: 3 clusters once extracted
    const std::string zip = ziptest::ZipBuilder().File("Recursos/datos.bin", data, 0).Build().bytes;
    const std::uint64_t archive = zip.size(), extraction = 2 * kMiB + 3 * 4096 + 1024;
    const auto line = [](std::uint64_t mb) {
        return "Falta espacio en el disco: se necesitan " + std::to_string(mb) + " MB más para el parche 1.";
    };
    const struct {
        const char* name;
        std::uint64_t partial;  // bytes of the archive left by an earlier start, with their record
        std::uint64_t free;
        std::string redLine;       // empty: installed
        std::uint64_t leftOnDisk;  // of 1.zip afterwards
    } cases[] = {
        {"download one byte too big", 0, archive - 1, line(1), 0},
        {"download fits exactly, extraction too big", 0, archive, line((extraction - archive + kMiB - 1) / kMiB), 0},
        {"exactly enough for the extraction", 0, extraction, "", 0},
        {"a resumed partial counts: the rest fits exactly", 4000, archive - 4000,
         line((extraction - archive + 4000 + kMiB - 1) / kMiB), 0},
        {"a resumed partial one byte short is kept", 4000, archive - 4001, line(1), 4000},
        {"free space unknown", 0, UINT64_MAX, "", 0},
    };
    for (const auto& c : cases) {
        fakes::FakePlatform inst;
        testsupport::FaultyFileSystem disk;
        if (c.free != UINT64_MAX) disk.freeBytes = c.free;
        update::Platform platform{disk,         inst.http,  inst.console,  inst.progress, inst.pump, inst.sound,
                                  inst.sleeper, inst.clock, inst.launcher, inst.root,     '.'};
        update::cDirImage dir(platform);
        modUnzip::ZipExtractor extractor(disk, inst.dialogs);
        inst.WriteFile("Recursos/OUTPUT/Update.ini", "0\r\n");
        inst.http.scripts[std::string(fakes::kBase) + "parches/version.txt"] = fakes::Body("1");
        inst.http.servers[kUrl] = [&](const update::RangeRequest& r) {
            fakes::Script s = fakes::Body(zip.substr(r.from));
            s.headers[update::Header::ETag] = kEtag;
            if (r.from > 0) {
                s.status = 206;
                s.headers[update::Header::ContentRange] = "bytes " + std::to_string(r.from) + "-" +
                                                          std::to_string(archive - 1) + "/" + std::to_string(archive);
            }
            return s;
        };
        if (c.partial > 0) {
            inst.WriteFile("1.zip", zip.substr(0, c.partial));
            inst.WriteFile("1.zip.reanudar",
                           update::FormatResumeRecord({kUrl, kEtag, static_cast<std::int32_t>(archive)}));
        }

        update::BuscarActualizaciones(dir, extractor, fakes::kBase);

        const std::vector<std::string> lines = inst.console.Texts();
        EXPECT_EQ(lines.back(), c.redLine.empty() ? "Juego actualizado correctamente." : c.redLine) << c.name;
        EXPECT_EQ(inst.ReadFile("Recursos/OUTPUT/Update.ini"), c.redLine.empty() ? " 1 \r\n" : "0\r\n") << c.name;
        EXPECT_EQ(inst.Exists("Recursos/datos.bin"), c.redLine.empty()) << c.name;
        EXPECT_EQ(inst.ReadFile("1.zip").size(), c.leftOnDisk) << c.name;
        EXPECT_EQ(inst.Exists("1.zip.reanudar"), c.leftOnDisk > 0) << c.name;
        EXPECT_TRUE(inst.dialogs.boxes.empty()) << c.name;
    }
}

}  // namespace
