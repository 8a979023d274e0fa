#include "updater/update/update_run.h"

#include <gtest/gtest.h>

#include "core/runtime_error.h"
#include "fakes.h"
#include "updater/update/console.h"
#include "updater/update/mod_unzip.h"

namespace {

using fakes::kBase;
using update::ConsoleColor;

constexpr const char* kVersionFile = "Recursos/OUTPUT/Update.ini";

class UpdateRunTest : public ::testing::Test {
protected:
    UpdateRunTest() : dir(*inst.platform), extractor(core::RealFileSystem()) {}

    void Local(const std::string& content) { inst.WriteFile(kVersionFile, content); }
    void Remote(const std::string& body) {
        inst.http.scripts[std::string(kBase) + "parches/version.txt"] = fakes::Body(body);
    }
    void Patch(const std::string& n, const std::string& content) {
        inst.http.scripts[std::string(kBase) + "parches/" + n + ".zip"] = fakes::Body(content);
    }
    void Run() { update::BuscarActualizaciones(dir, extractor, kBase); }
    std::vector<std::string> Lines() const { return inst.console.Texts(); }
    bool BarShown() const {
        for (const auto& e : inst.progress.events) {
            if (e.kind == fakes::ProgressEvent::Visible && e.visible) return true;
        }
        return false;
    }

    fakes::FakePlatform inst;
    update::cDirImage dir;
    fakes::Extractor extractor;
};

TEST_F(UpdateRunTest, AlreadyCurrent) {
    Local("7\r\n");
    Remote("7");
    Run();
    EXPECT_EQ(Lines(), (std::vector<std::string>{"Buscando Actualizaciones...", "Juego actualizado correctamente."}));
    EXPECT_EQ(inst.ReadFile(kVersionFile), " 7 \r\n");  // rewritten in the canonical form
    EXPECT_FALSE(BarShown());
    EXPECT_TRUE(inst.progress.events.empty());
    ASSERT_EQ(inst.sound.played.size(), 1u);
    EXPECT_EQ(inst.sound.played[0], inst.root + "\\Recursos\\OUTPUT\\Actualizado.wav");
    EXPECT_EQ(inst.sleeper.total, 200u);  // 100 ms per console line
}

TEST_F(UpdateRunTest, TypicalRoadFromFiveToSeven) {
    Local(" 5 \r\n");
    Remote("7\r\n");
    Patch("6", "seis");
    Patch("7", "siete");
    Run();
    EXPECT_EQ(Lines(),
              (std::vector<std::string>{"Buscando Actualizaciones...", "Iniciando, se instalaran 2 actualizaciones.",
                                        "Instalando actualizacion 6...", "Listo.", "Instalando actualizacion 7...",
                                        "Listo.", "Juego actualizado correctamente."}));
    const std::uint32_t colours[] = {
        ConsoleColor(255, 255, 255), ConsoleColor(200, 200, 200), ConsoleColor(0, 255, 0),  ConsoleColor(204, 255, 0),
        ConsoleColor(0, 255, 0),     ConsoleColor(204, 255, 0),   ConsoleColor(255, 255, 0)};
    const std::vector<window::ConsoleLine> all = inst.console.All();
    ASSERT_EQ(all.size(), std::size(colours));
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].format.color, colours[i]) << i;
        EXPECT_TRUE(all[i].format.bold);
        EXPECT_FALSE(all[i].format.italic);
        EXPECT_EQ(all[i].format.alignment, update::Alignment::Center);
    }
    EXPECT_EQ(inst.http.opened,
              (std::vector<std::string>{std::string(kBase) + "parches/version.txt",
                                        std::string(kBase) + "parches/6.zip", std::string(kBase) + "parches/7.zip"}));
    ASSERT_EQ(extractor.calls.size(), 2u);
    EXPECT_EQ(extractor.calls[0].archive, inst.root + "\\6.zip");
    EXPECT_EQ(extractor.calls[0].folder, inst.root + "\\");
    EXPECT_EQ(extractor.calls[0].content, "seis");
    EXPECT_EQ(extractor.calls[1].content, "siete");
    EXPECT_FALSE(inst.Exists("6.zip"));
    EXPECT_FALSE(inst.Exists("7.zip"));
    EXPECT_EQ(inst.ReadFile(kVersionFile), " 7 \r\n");
    EXPECT_TRUE(BarShown());
    EXPECT_EQ(modUnzip::ParcheActual, "7");  // the last patch's values stay
    EXPECT_EQ(modUnzip::RutaParche, inst.root + "\\7.zip");
    EXPECT_EQ(inst.sound.played.size(), 1u);
}

// The console empties itself when a line comes while it holds more than 700 UTF-16 units (each
// line break two): after patch 16 it holds 706, so patch 17's line starts a fresh console.
TEST_F(UpdateRunTest, ALongRoadEmptiesTheConsoleOncePast700Characters) {
    Local("0");
    Remote("20");
    for (int n = 1; n <= 20; ++n) Patch(std::to_string(n), "p");
    Run();
    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 2u + 2 * 20 + 1);
    EXPECT_EQ(lines[2], "Instalando actualizacion 1...");
    EXPECT_EQ(lines.back(), "Juego actualizado correctamente.");
    EXPECT_EQ(inst.console.clears, 1);
    const std::vector<window::ConsoleLine> shown = inst.console.Document().Lines();
    ASSERT_EQ(shown.size(), 2u * 4 + 1);
    EXPECT_EQ(shown.front().text, u"Instalando actualizacion 17...");
    EXPECT_EQ(inst.console.Document().Text().size(), 4u * 40 + 34);
}

TEST_F(UpdateRunTest, ResetWhenTheServerHasFewerPatches) {
    Local(" 9 \r\n");
    Remote("3");
    Patch("1", "a");
    Patch("2", "b");
    Patch("3", "c");
    Run();
    ASSERT_EQ(extractor.calls.size(), 3u);
    EXPECT_EQ(extractor.calls[0].archive, inst.root + "\\1.zip");
    EXPECT_EQ(extractor.calls[2].archive, inst.root + "\\3.zip");
    EXPECT_EQ(inst.ReadFile(kVersionFile), " 3 \r\n");
}

// Each installed patch is recorded at once: a run that stops at patch k leaves k - 1, and
// the reset's 0 when it stops at the first.
TEST_F(UpdateRunTest, ARunThatStopsAtPatchKLeavesKMinusOne) {
    const struct {
        const char* local;
        const char* remote;
        std::vector<const char*> served;  // the first missing one fails
        const char* left;
    } cases[] = {
        {" 9 \r\n", "3", {"1"}, " 1 \r\n"},  // reset written at once, then patch 1
        {" 9 \r\n", "3", {}, " 0 \r\n"},
        {" 5 \r\n", "9", {"6", "7"}, " 7 \r\n"},
        {" 5 \r\n", "9", {}, " 5 \r\n"},
    };
    for (const auto& c : cases) {
        fakes::FakePlatform local;
        update::cDirImage d(*local.platform);
        fakes::Extractor x(core::RealFileSystem());
        local.WriteFile(kVersionFile, c.local);
        local.http.scripts[std::string(kBase) + "parches/version.txt"] = fakes::Body(c.remote);
        for (const char* n : c.served)
            local.http.scripts[std::string(kBase) + "parches/" + n + ".zip"] = fakes::Body(n);
        update::BuscarActualizaciones(d, x, kBase);
        EXPECT_EQ(local.ReadFile(kVersionFile), c.left) << c.local << c.remote;
        EXPECT_EQ(x.calls.size(), c.served.size());
        EXPECT_EQ(local.console.Texts().back().rfind("No se pudo instalar la actualizacion", 0), 0u);
    }
}

TEST_F(UpdateRunTest, ARealCountOfZeroResets) {
    Local(" 4 \r\n");
    Remote("0");
    Run();
    EXPECT_EQ(inst.ReadFile(kVersionFile), " 0 \r\n");
    EXPECT_TRUE(extractor.calls.empty());
    EXPECT_EQ(Lines().back(), "Juego actualizado correctamente.");
}

TEST_F(UpdateRunTest, NegativeVersionsGiveNegativePatchNumbers) {
    Local("-2 \r\n");
    Remote("1");
    for (const char* n : {"-1", "0", "1"}) Patch(n, n);
    Run();
    ASSERT_EQ(extractor.calls.size(), 3u);
    EXPECT_EQ(extractor.calls[0].archive, inst.root + "\\-1.zip");
    EXPECT_EQ(extractor.calls[1].archive, inst.root + "\\0.zip");
    EXPECT_EQ(extractor.calls[2].archive, inst.root + "\\1.zip");
    EXPECT_EQ(Lines()[1], "Iniciando, se instalaran 3 actualizaciones.");
    EXPECT_EQ(inst.ReadFile(kVersionFile), " 1 \r\n");
}

TEST_F(UpdateRunTest, OverflowOfTheMissingCountEndsTheRunBeforeAnyDownload) {
    Local("-32000 \r\n");
    Remote("999");
    try {
        Run();
        ADD_FAILURE() << "no overflow";
    } catch (const core::RuntimeError& e) {
        EXPECT_EQ(e.Kind(), core::ErrorKind::Overflow);
    }
    EXPECT_EQ(Lines(), std::vector<std::string>{"Buscando Actualizaciones..."});
    EXPECT_EQ(inst.ReadFile(kVersionFile), "-32000 \r\n");
    EXPECT_EQ(inst.http.opened.size(), 1u);
}

TEST_F(UpdateRunTest, OnePatchKeepsThePlural) {
    Local(" 0 \r\n");
    Remote("1");
    Patch("1", "x");
    Run();
    EXPECT_EQ(Lines()[1], "Iniciando, se instalaran 1 actualizaciones.");
}

TEST_F(UpdateRunTest, AFailedCountFetchNeverResetsTheInstallation) {
    const struct {
        const char* name;
        bool serve;
        std::string body;
        int status;
    } cases[] = {{"server down", false, "", 200},
                 {"404 with a number", true, "7", 404},
                 {"login page", true, "<html>", 200},
                 {"empty body", true, "", 200}};
    for (const auto& c : cases) {
        fakes::FakePlatform local;
        update::cDirImage d(*local.platform);
        fakes::Extractor x(core::RealFileSystem());
        local.WriteFile(kVersionFile, " 5 \r\n");
        if (c.serve) {
            fakes::Script s = fakes::Body(c.body);
            s.status = c.status;
            local.http.scripts[std::string(kBase) + "parches/version.txt"] = s;
        }
        update::BuscarActualizaciones(d, x, kBase);
        EXPECT_EQ(local.console.Texts(),
                  (std::vector<std::string>{"Buscando Actualizaciones...",
                                            "No se pudo conectar con el servidor de actualizaciones."}))
            << c.name;
        EXPECT_EQ(local.console.All().back().format.color, ConsoleColor(255, 0, 0));
        EXPECT_TRUE(local.console.All().back().format.bold);
        EXPECT_EQ(local.ReadFile(kVersionFile), " 5 \r\n") << c.name;
        EXPECT_TRUE(local.sound.played.empty()) << c.name;
    }
}

TEST_F(UpdateRunTest, AFailedDownloadStopsAtThatPatch) {
    Local(" 5 \r\n");
    Remote("7");
    Patch("7", "siete");  // 6 cannot be opened
    inst.WriteFile("6.zip", "resto de una descarga anterior");
    Run();
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], "Instalando actualizacion 6...");
    EXPECT_EQ(lines[3], "No se pudo instalar la actualizacion 6: no se pudo conectar con el servidor.");
    EXPECT_EQ(inst.console.All().back().format.color, ConsoleColor(255, 0, 0));
    EXPECT_EQ(inst.http.opened.size(), 2u);  // patch 7 not attempted
    EXPECT_TRUE(extractor.calls.empty());
    EXPECT_FALSE(inst.Exists("6.zip"));  // the stale archive goes too
    EXPECT_EQ(inst.ReadFile(kVersionFile), " 5 \r\n");
    EXPECT_TRUE(inst.sound.played.empty());
}

TEST_F(UpdateRunTest, AServerWithoutArchiveSizeEndsTheRunForTheWindow) {
    Local(" 5 \r\n");
    Remote("7");
    fakes::Script noLength = fakes::Body("seis");
    noLength.contentLength.reset();
    inst.http.scripts[std::string(kBase) + "parches/6.zip"] = noLength;
    Patch("7", "siete");
    const auto end = update::BuscarActualizaciones(dir, extractor, kBase);
    ASSERT_TRUE(end.has_value());
    EXPECT_EQ(end->exitCode, 1);
    EXPECT_EQ(Lines().back(), "Instalando actualizacion 6...");  // no "Listo.", no red line
    EXPECT_EQ(inst.http.opened.size(), 2u);                      // patch 7 not attempted
    EXPECT_TRUE(extractor.calls.empty());
    EXPECT_EQ(inst.ReadFile(kVersionFile), " 5 \r\n");
}

TEST_F(UpdateRunTest, AFailedExtractionStopsAtThatPatch) {
    Local(" 5 \r\n");
    Remote("7");
    Patch("6", "roto");
    Patch("7", "siete");
    extractor.failFor = inst.root + "\\6.zip";
    Run();
    EXPECT_EQ(Lines().back(), "No se pudo instalar la actualizacion 6: el archivo está dañado.");
    EXPECT_EQ(extractor.calls.size(), 1u);
    EXPECT_FALSE(inst.Exists("6.zip"));
    EXPECT_EQ(inst.ReadFile(kVersionFile), " 5 \r\n");
    EXPECT_TRUE(inst.sound.played.empty());
}

TEST_F(UpdateRunTest, VersionFileErrorsEndTheRun) {
    Remote("7");
    EXPECT_THROW(Run(), core::RuntimeError);  // no Update.ini: file not found
    Local("abc");
    try {
        Run();
        ADD_FAILURE();
    } catch (const core::RuntimeError& e) {
        EXPECT_EQ(e.Kind(), core::ErrorKind::TypeMismatch);
    }
}

}  // namespace
