// The whole way of a patch: crear, publicar, then Updater's own Descomprimir over a copy of
// the old installation gives the new one byte for byte (plus what a patch cannot delete).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "tests/parchear/helpers.h"
#include "updater/unzip/name_decoder.h"
#include "updater/update/mod_unzip.h"

namespace {

using testsupport::Tree;

// Version n of a game folder: what changes from one version to the next is the point.
Tree Version(int n) {
    Tree t = {
        {"Vandrel.exe", "MZ juego " + std::to_string(n)},
        {"Recursos/OUTPUT/Update.ini", " 0 \r\n"},
        {"Recursos/Gráficos/fondo.bmp", parchtest::RandomBytes(300000, 7)},  // never changes
        {"Recursos/vacío.txt", ""},
        {"Recursos/ceros.bin", std::string((3u << 20) + static_cast<unsigned>(n), '\0')},
        {"Mapas/" + std::to_string(n) + ".map", parchtest::RandomBytes(200000 + n, static_cast<std::uint32_t>(n))},
        {"Música/canción ñandú.ogg", parchtest::RandomBytes(1u << 20, n < 2 ? 1u : 2u)},
        {"Texto/diálogos.txt", std::string(50000, 'a') + std::to_string(n)},
    };
    if (n >= 1) t["Carpeta vacía"] = std::nullopt;
    if (n == 0) t["Viejo/borrado.txt"] = "se borra en la versión 1";
    return t;
}

class RoundTrip : public ::testing::Test {
protected:
    RoundTrip() {
        for (int v = 0; v <= 2; ++v) testsupport::WriteTree(testsupport::U8Path(Folder(v)), Version(v));
        std::filesystem::create_directories(testsupport::U8Path(server));
    }
    std::string Folder(int v) const { return dir.Path() + "/v" + std::to_string(v); }
    // What an installation holds after the patches up to version n: version n's folder plus
    // everything earlier versions had (patches never delete).
    Tree Installed(int n) const {
        Tree t;
        for (int v = 0; v <= n; ++v) {
            for (const auto& [path, content] : testsupport::Snapshot(testsupport::U8Path(Folder(v)))) t[path] = content;
        }
        return t;
    }
    // Installs archive as the update run does: Descomprimir into the installation folder.
    void Install(const std::string& archive, const std::string& installation) {
        const core::Outcome o = modUnzip::Descomprimir(archive, installation + "\\", core::RealFileSystem(), dialogs,
                                                       unzip::SystemNameDecoder());
        ASSERT_TRUE(o.ok) << o.reason;
        EXPECT_TRUE(dialogs.boxes.empty());
    }

    testsupport::TempDir dir{"parchear-ida-y-vuelta"};
    std::string server = dir.Path() + "/servidor";
    std::string rec = dir.Path() + "/registro";
    std::string player = dir.Path() + "/jugador";
    testsupport::RecordingDialogs dialogs;
};

TEST_F(RoundTrip, TwoPatchesTakeAnInstallationFromVersion0To2) {
    for (int v = 1; v <= 2; ++v) {
        const std::string zip = dir.Path() + "/p" + std::to_string(v) + ".zip";
        const auto made = parchtest::Run({"crear", Folder(v - 1), Folder(v), zip});
        ASSERT_EQ(made.code, 0) << made.out << made.err;
        const auto published = parchtest::Run({"publicar", zip, server, "--registro", rec});
        ASSERT_EQ(published.code, 0) << published.err;
    }
    EXPECT_EQ(testsupport::ReadBytes(testsupport::U8Path(server + "/parches/version.txt")), "2");
    EXPECT_EQ(parchtest::Run({"comprobar", server}).code, 0);

    std::filesystem::copy(testsupport::U8Path(Folder(0)), testsupport::U8Path(player),
                          std::filesystem::copy_options::recursive);
    Install(server + "/parches/1.zip", player);
    EXPECT_EQ(testsupport::Snapshot(testsupport::U8Path(player)), Installed(1));
    Install(server + "/parches/2.zip", player);
    EXPECT_EQ(testsupport::Snapshot(testsupport::U8Path(player)), Installed(2));
    // Only what changed travelled: the unchanged picture is in neither patch.
    for (const char* zip : {"/parches/1.zip", "/parches/2.zip"}) {
        for (const std::string& name : parchtest::EntryNames(server + zip))
            EXPECT_EQ(name.find("fondo"), std::string::npos);
    }
}

TEST_F(RoundTrip, AFreshInstallFromAnEmptyFolderGetsEverything) {
    const std::string empty = dir.Path() + "/nada";
    std::filesystem::create_directories(testsupport::U8Path(empty));
    ASSERT_EQ(parchtest::Run({"crear", empty, Folder(2), dir.Path() + "/todo.zip"}).code, 0);
    std::filesystem::create_directories(testsupport::U8Path(player));
    Install(dir.Path() + "/todo.zip", player);
    EXPECT_EQ(testsupport::Snapshot(testsupport::U8Path(player)),
              testsupport::Snapshot(testsupport::U8Path(Folder(2))));
}

#ifdef PREPARAR_SERVIDOR
// The script that sets up a server folder from successive versions (for the Wine round trip).
TEST_F(RoundTrip, ThePreparationScriptPublishesEveryVersion) {
    const std::string command = std::string(PREPARAR_SERVIDOR) + " " + PARCHEAR_EXE + " '" + server + "' '" + rec +
                                "' '" + Folder(0) + "' '" + Folder(1) + "' '" + Folder(2) + "' > '" + dir.Path() +
                                "/log.txt' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << testsupport::ReadBytes(testsupport::U8Path(dir.Path() + "/log.txt"));
    EXPECT_EQ(testsupport::ReadBytes(testsupport::U8Path(server + "/parches/version.txt")), "2");
    std::filesystem::copy(testsupport::U8Path(Folder(0)), testsupport::U8Path(player),
                          std::filesystem::copy_options::recursive);
    Install(server + "/parches/1.zip", player);
    Install(server + "/parches/2.zip", player);
    EXPECT_EQ(testsupport::Snapshot(testsupport::U8Path(player)), Installed(2));
    // Run again over the same server: refused, nothing is published twice.
    EXPECT_NE(std::system(command.c_str()), 0);
    EXPECT_EQ(testsupport::ReadBytes(testsupport::U8Path(server + "/parches/version.txt")), "2");
}
#endif

}  // namespace
