#include "updater/update/download.h"

#include <gtest/gtest.h>

#include "core/runtime_error.h"
#include "fakes.h"
#include "tests/support/faulty_fs.h"
#include "updater/update/dir_image.h"
#include "updater/update/mod_unzip.h"

namespace {

using update::ReadStatus;

update::DownloadResult Get(fakes::FakePlatform& inst, const std::string& url, const std::string& target) {
    update::DownloadServices services = inst.Services();
    return update::DownloadPatch(services, url, target);
}

class DownloadTest : public ::testing::Test {
protected:
    core::Outcome Download(const fakes::Script& s) {
        inst.http.scripts["u"] = s;
        return Get(inst, "u", Target());
    }
    std::string Target() const { return inst.root + "\\6.zip"; }
    static fakes::Script Chunks(std::vector<std::string> chunks, std::optional<std::string> length) {
        fakes::Script s;
        s.chunks = std::move(chunks);
        s.contentLength = std::move(length);
        return s;
    }
    fakes::FakePlatform inst;
};

TEST(DownloadArithmetic, PercentAndWidth) {
    EXPECT_EQ(update::Percent(1024, 2048), 50);
    EXPECT_EQ(update::Percent(1, 8), 12);     // 12.5
    EXPECT_EQ(update::Percent(27, 200), 14);  // 13.5
    EXPECT_EQ(update::Percent(1, 200), 0);    // 0.5
    EXPECT_FLOAT_EQ(update::BarWidthTwips(1), 80.7f);
    EXPECT_FLOAT_EQ(update::BarWidthTwips(50), 4035.0f);
    EXPECT_FLOAT_EQ(update::BarWidthTwips(100), 8070.0f);
    EXPECT_EQ(update::PercentCaption(42), "[42% Completado.]");
}

TEST_F(DownloadTest, CaptionAndWidthSequences) {
    const struct {
        const char* name;
        std::vector<std::string> chunks;
        std::vector<std::string> captions;
        std::vector<float> widths;
    } cases[] = {
        {"two halves",
         {std::string(1024, 'a'), std::string(1024, 'b')},
         {"[50% Completado.]", "[100% Completado.]"},
         {4035, 8070, 0}},
        {"half a per cent stays at 0", {std::string(1, 'a'), std::string(199, 'b')}, {"[100% Completado.]"}, {8070, 0}},
        {"12.5 rounds to 12", {"a", "bbbbbbb"}, {"[12% Completado.]", "[100% Completado.]"}, {12 * 80.7f, 8070, 0}},
        {"empty archive", {}, {}, {0}},
    };
    for (const auto& c : cases) {
        fakes::FakePlatform local;
        std::size_t total = 0;
        for (const auto& ch : c.chunks) total += ch.size();
        local.http.scripts["u"] = Chunks(c.chunks, std::to_string(total));
        const core::Outcome o = Get(local, "u", local.root + "\\6.zip");
        EXPECT_TRUE(o.ok) << c.name << ": " << o.reason;
        EXPECT_EQ(local.progress.Captions(), c.captions) << c.name;
        const auto widths = local.progress.Widths();
        ASSERT_EQ(widths.size(), c.widths.size()) << c.name;
        for (std::size_t i = 0; i < widths.size(); ++i) EXPECT_FLOAT_EQ(widths[i], c.widths[i]) << c.name << i;
        std::string expected;
        for (const auto& ch : c.chunks) expected += ch;
        EXPECT_EQ(local.ReadFile("6.zip"), expected) << c.name;
        EXPECT_TRUE(local.Exists("6.zip")) << c.name;
    }
}

TEST_F(DownloadTest, ManyChunksTouchTheLabelAtMostAHundredTimes) {
    std::string body(3 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 131 + 7);
    const core::Outcome o = Download(fakes::Body(body, 4096));
    ASSERT_TRUE(o.ok);
    const auto captions = inst.progress.Captions();
    EXPECT_LE(captions.size(), 100u);
    EXPECT_EQ(captions.back(), "[100% Completado.]");
    for (std::size_t size : inst.http.readSizes) EXPECT_EQ(size, 1024u);
    EXPECT_EQ(inst.pump.calls, static_cast<int>((body.size() + 1023) / 1024));  // one yield per chunk
    EXPECT_EQ(inst.ReadFile("6.zip"), body);
    EXPECT_EQ(inst.http.liveResponses, 0);
}

TEST_F(DownloadTest, TransferFaultsFailAndRemoveThePartialFile) {
    const struct {
        const char* name;
        fakes::Script script;
    } cases[] = {
        {"short body", Chunks({std::string(2048, 'a')}, "3000")},
        {"longer than announced", Chunks({std::string(1024, 'a'), std::string(1024, 'b')}, "1024")},
        {"bytes after a length of 0", Chunks({"abc"}, "0")},
        {"connection broken",
         [] {
             auto s = Chunks({std::string(1024, 'a')}, "4096");
             s.ending = ReadStatus::Failed;
             return s;
         }()},
        {"stalled",
         [] {
             auto s = Chunks({std::string(1024, 'a')}, "4096");
             s.ending = ReadStatus::TimedOut;
             return s;
         }()},
        {"404",
         [] {
             auto s = fakes::Body("<html>no</html>");
             s.status = 404;
             return s;
         }()},
        {"500",
         [] {
             auto s = fakes::Body("error");
             s.status = 500;
             return s;
         }()},
        {"cannot open",
         [] {
             fakes::Script s;
             s.openFails = true;
             s.openFailure = "el certificado del servidor no es válido";
             return s;
         }()},
    };
    for (const auto& c : cases) {
        fakes::FakePlatform local;
        local.http.scripts["u"] = c.script;
        const core::Outcome o = Get(local, "u", local.root + "\\6.zip");
        EXPECT_FALSE(o.ok) << c.name;
        EXPECT_FALSE(o.reason.empty()) << c.name;
        EXPECT_FALSE(local.Exists("6.zip")) << c.name;
        const auto widths = local.progress.Widths();
        ASSERT_FALSE(widths.empty()) << c.name;
        EXPECT_EQ(widths.back(), 0.0f) << c.name;
        for (float w : widths) EXPECT_LE(w, 8070.0f) << c.name;
        for (const auto& caption : local.progress.Captions()) EXPECT_NE(caption, "[101% Completado.]");
        EXPECT_TRUE(local.dialogs.boxes.empty()) << c.name;
        EXPECT_EQ(local.http.liveResponses, 0) << c.name;
    }
}

TEST_F(DownloadTest, NoContentLengthAsksForTheBoxAndTheEndOfTheProgram) {
    inst.http.scripts["u"] = Chunks({"abc"}, std::nullopt);
    const update::DownloadResult r = Get(inst, "u", Target());
    ASSERT_EQ(r.code, update::DownloadFailure::Program);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.reason, "Error en HttpQueryInfo al extraer el tamaño comunicaselo a un administrador.");
    EXPECT_TRUE(inst.dialogs.boxes.empty());  // the window's edge shows it
    EXPECT_FALSE(inst.Exists("6.zip"));
    EXPECT_EQ(inst.http.liveResponses, 0);  // handles closed before the end
}

TEST_F(DownloadTest, BadContentLengthTextRaises) {
    const struct {
        const char* text;
        core::ErrorKind kind;
    } cases[] = {{"abc", core::ErrorKind::TypeMismatch},
                 {"3000000000", core::ErrorKind::Overflow},
                 {"", core::ErrorKind::TypeMismatch}};
    for (const auto& c : cases) {
        try {
            static_cast<void>(Download(Chunks({"abc"}, c.text)));  // raises
            ADD_FAILURE() << c.text;
        } catch (const core::RuntimeError& e) {
            EXPECT_EQ(e.Kind(), c.kind) << c.text;
        }
    }
}

TEST_F(DownloadTest, ALeftoverLongerArchiveLosesItsOldTail) {
    inst.WriteFile("6.zip", std::string(10000, 'z'));
    ASSERT_TRUE(Download(fakes::Body("nuevo")).ok);
    EXPECT_EQ(inst.ReadFile("6.zip"), "nuevo");
}

TEST_F(DownloadTest, AnArchiveThatCannotBeWrittenIsACleanFailure) {
    inst.http.scripts["u"] = fakes::Body("abc");
    const core::Outcome o = Get(inst, "u", inst.root + "\\no\\existe\\6.zip");
    EXPECT_FALSE(o.ok);
    EXPECT_NE(o.reason.find("no se pudo escribir el archivo"), std::string::npos) << o.reason;
}

// The disk fails in the first write of the archive, in one in the middle, or in the last,
// which only closing the file makes.
TEST_F(DownloadTest, AFailedWriteEndsTheDownloadAtOnceAndLeavesNothing) {
    std::string body(800000, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7 + 3);
    for (const std::uint64_t failAfter : {0ull, 300000ull, 790000ull}) {
        fakes::FakePlatform i;
        testsupport::FaultyFileSystem faulty;
        faulty.failWrite = "6.zip";
        faulty.failAfter = failAfter;
        i.http.scripts["u"] = fakes::Body(body);
        i.http.scripts["u"].headers[update::Header::ETag] = "\"v1\"";
        update::DownloadServices services{faulty, i.http, i.progress, i.pump, i.sleeper, i.clock, '.', {}};
        const core::Outcome o = update::DownloadPatch(services, "u", i.Path("6.zip"));
        EXPECT_FALSE(o.ok) << failAfter;
        EXPECT_NE(o.reason.find("no se pudo escribir el archivo"), std::string::npos) << o.reason;
        EXPECT_EQ(i.http.opened.size(), 1u) << failAfter;  // a disk fault is not worth another attempt
        EXPECT_FALSE(i.Exists("6.zip")) << failAfter;
        EXPECT_FALSE(i.Exists("6.zip.reanudar")) << failAfter;
    }
}

// A wait between attempts lasts what the clock says, not what the slices asked for: a slice that
// oversleeps shortens the rest of the wait.
TEST_F(DownloadTest, TheBackOffFollowsTheClock) {
    const struct {
        unsigned oversleep;
        unsigned asked;
    } cases[] = {{0, 1000}, {50, 500}, {1000, 50}};
    for (const auto& c : cases) {
        fakes::FakePlatform local;
        int requests = 0;
        local.http.servers["u"] = [&](const update::RangeRequest&) {
            fakes::Script s = fakes::Body("abc");
            if (requests++ == 0) s.status = 503;
            return s;
        };
        local.sleeper.oversleep = c.oversleep;
        const std::uint64_t start = local.clock.now;
        const core::Outcome o = Get(local, "u", local.root + "\\6.zip");
        EXPECT_TRUE(o.ok) << o.reason;
        EXPECT_EQ(requests, 2);
        EXPECT_EQ(local.sleeper.total, c.asked) << c.oversleep;
        EXPECT_GE(local.clock.now - start, 1000u) << c.oversleep;
    }
}

TEST_F(DownloadTest, ListoOnlyAfterAGoodDownload) {
    update::cDirImage dir(*inst.platform);
    modUnzip::RutaParche = Target();
    inst.http.scripts["bien"] = fakes::Body("ok");
    EXPECT_TRUE(dir.JuegoActualizacion("bien").ok);
    EXPECT_EQ(inst.console.Texts(), std::vector<std::string>{"Listo."});
    EXPECT_EQ(inst.console.All()[0].format.color, update::ConsoleColor(204, 255, 0));
    EXPECT_FALSE(dir.JuegoActualizacion("mal").ok);
    EXPECT_EQ(inst.console.Texts().size(), 1u);
}

}  // namespace
