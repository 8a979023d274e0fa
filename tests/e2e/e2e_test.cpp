// Updater end to end under Wine: a real Updater.exe (built with the test server's base URL)
// in a real installation folder, against the local HTTPS patch server, read and driven
// through its window as a player would.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/text_win32.h"
#include "tests/e2e/screen.h"
#include "tests/support/files.h"
#include "tests/support/updater_harness.h"
#include "updater/window/window_ids.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadBytes;
using testsupport::U8Path;
using testsupport::WriteBytes;

using harness::kJugar;
using harness::kRunTimeoutMs;
using harness::kSalir;

fs::path Served() { return harness::FromUnix("VANDREL_TEST_ROOT"); }

// A child's top-left corner in its parent's client pixels.
std::pair<int, int> ClientCorner(HWND parent, HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    POINT corner{r.left, r.top};
    ScreenToClient(parent, &corner);
    return {corner.x, corner.y};
}

// One installation folder with its own copy of Updater.exe, and the game's stand-in.
class WatchedUpdater : public harness::UpdaterFolder {
public:
    explicit WatchedUpdater(const std::string& name)
        : harness::UpdaterFolder(UPDATER_EXE, fs::temp_directory_path() / ("vandrel-e2e-" + name)) {}
    HWND Label() const { return Control(window::ids::kLabelId); }
    // ProgressBar1 as the window reports it: visible, and pixels of the picture shown.
    bool BarVisible() const { return (BarState() >> 16) & 1; }
    int BarPixels() const { return static_cast<int>(BarState() & 0xFFFF); }
    void InstallGame() { fs::copy_file(FAKE_GAME_EXE, Path("Vandrel.exe")); }
    // Starts Updater and waits for its message box; nothing (and a failure) without a window.
    std::optional<probe::Dialog> StartToABox() {
        if (Start()) return WaitForBox();
        ADD_FAILURE() << "no Updater window";
        return std::nullopt;
    }
    // Presses Jugar: Updater ends with code 0 and the game's stand-in runs with the one parameter "1".
    void Play() {
        Click(kJugar);
        const auto code = Process().Wait(10000);
        ASSERT_TRUE(code.has_value());
        EXPECT_EQ(*code, 0u);
        for (int i = 0; i < 50 && GameArguments().empty(); ++i) Sleep(100);
        EXPECT_EQ(GameArguments(), "1\n");
    }
    // What the game's stand-in recorded: its arguments, one per line; empty when it never ran.
    std::string GameArguments() const { return testsupport::TryReadBytes(Path("juego_iniciado.txt")).value_or(""); }

private:
    LRESULT BarState() const {
        DWORD_PTR result = 0;
        SendMessageTimeoutW(m_window, window::ids::kBarState, 0, 0, SMTO_ABORTIFHUNG, 2000, &result);
        return static_cast<LRESULT>(result);
    }
};

void Publish(int count) {
    fs::remove_all(Served() / "parches");
    WriteBytes(Served() / "parches" / "version.txt", std::to_string(count) + "\r\n");
}

// Patch archives are made by Python's zipfile at configure time (tests/e2e/data).
void PublishPatch(int n, const char* as = nullptr) {
    const fs::path from = fs::path(E2E_DATA_DIR) / (std::to_string(n) + ".zip");
    fs::copy_file(from, Served() / "parches" / (as ? as : std::to_string(n) + ".zip"),
                  fs::copy_options::overwrite_existing);
}

// The files of 64 KiB and more in the user's WinINet cache.
std::set<std::wstring> LargeCachedFiles() {
    wchar_t folder[MAX_PATH] = {};
    std::set<std::wstring> found;
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_INTERNET_CACHE, nullptr, 0, folder))) return found;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        std::error_code sizeError;
        if (it->is_regular_file(sizeError) && it->file_size(sizeError) >= 64 * 1024) found.insert(it->path().wstring());
    }
    return found;
}

// The Range header of each request the server saw for path ("-" for none).
std::vector<std::string> RangesAsked(const std::string& path) {
    std::ifstream in(Served() / ".peticiones", std::ios::binary);
    std::vector<std::string> ranges;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(path + " range=", 0) == 0)
            ranges.push_back(line.substr(path.size() + 7, line.find(' ', path.size() + 7) - path.size() - 7));
    }
    return ranges;
}

// A patch served slowly (about 200 KB/s) so that a test can act in the middle of its download.
void PublishSlowPatch(int n, std::size_t bytes) {
    std::string body(bytes, '\0');
    std::uint32_t x = 12345;
    for (auto& c : body) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    WriteBytes(Served() / "parches" / (std::to_string(n) + ".zip.slow"), body);
}

// Updater.log as the run left it (printed, for a look by hand), after checking that each line
// starts with a local timestamp.
std::string UpdaterLog(const WatchedUpdater& inst) {
    const std::string log = testsupport::TryReadBytes(inst.Path("Recursos/OUTPUT/Updater.log")).value_or("");
    std::cout << log;
    EXPECT_EQ(log.rfind("\xEF\xBB\xBF", 0), 0u);
    std::istringstream lines(log.substr(std::min<std::size_t>(3, log.size())));
    for (std::string line; std::getline(lines, line);) {
        EXPECT_TRUE(line.size() > 24 && line[4] == '-' && line[10] == ' ' && line[19] == '.' && line[23] == ' ')
            << line;
    }
    return log;
}

const e2e::Picture& Background() {
    static const e2e::Picture p = e2e::LoadBmp(std::string(ASSET_DIR) + "/background.bmp");
    return p;
}
const e2e::Picture& BarPicture() {
    static const e2e::Picture p = e2e::LoadBmp(std::string(ASSET_DIR) + "/progress_bar.bmp");
    return p;
}

struct Area {
    int left, top, width, height;
    bool Contains(int x, int y) const { return x >= left && x < left + width && y >= top && y < top + height; }
};
constexpr Area kConsole{152, 272, 321, 73};
constexpr Area kLabel{48, 400, 537, 25};
constexpr Area kBar{49, 389, 538, 37};

// Keeps a screenshot that did not look as expected, for a look by hand.
void KeepShot(const e2e::Picture& shot, const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / "vandrel-e2e-shots";
    fs::create_directories(dir);
    e2e::SaveBmp(shot, (dir / (name + ".bmp")).string());
}

// Columns of the bar's picture shown on row y of the screenshot, counted from the left,
// after checking that the rest of the row is the artwork (clipped, never stretched).
int ShownBarColumns(const e2e::Picture& shot, int row) {
    int shown = 0;
    while (shown < kBar.width && shot.At(kBar.left + shown, kBar.top + row) == BarPicture().At(shown, row)) ++shown;
    for (int x = shown; x < kBar.width; ++x) {
        if (shot.At(kBar.left + x, kBar.top + row) != Background().At(kBar.left + x, kBar.top + row)) return -1;
    }
    return shown;
}

TEST(UpdaterEndToEnd, TypicalRoadFromFiveToSeven) {
    Publish(7);
    PublishPatch(6);
    PublishPatch(7);
    WatchedUpdater inst("road");
    inst.Version(" 5 \r\n");
    WriteBytes(inst.Path("Recursos/Mapas/aldea.map"), "vieja");
    ASSERT_TRUE(inst.Start()) << "no Updater window";
    const auto lines = inst.WaitForEndOfRun();
    EXPECT_EQ(lines,
              (std::vector<std::string>{"Buscando Actualizaciones...", "Iniciando, se instalaran 2 actualizaciones.",
                                        "Instalando actualizacion 6...", "Listo.", "Instalando actualizacion 7...",
                                        "Listo.", "Juego actualizado correctamente."}));
    EXPECT_EQ(inst.Version(), " 7 \r\n");
    EXPECT_FALSE(fs::exists(inst.Path("6.zip")));
    EXPECT_FALSE(fs::exists(inst.Path("7.zip")));
    EXPECT_EQ(ReadBytes(inst.Path("Recursos/Mapas/aldea.map")), "aldea del parche 7\r\n");
    EXPECT_EQ(ReadBytes(inst.Path("Recursos/Textos/seis.txt")), "parche 6\r\n");
    HWND label = inst.Label();
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(probe::WindowText(label), "[100% Completado.]");
    inst.Click(kSalir);
    EXPECT_TRUE(inst.Process().Wait(10000).has_value()) << "Exit did not end Updater";
    const std::string log = UpdaterLog(inst);
    for (const char* event :
         {"Inicio de Updater 2.02.0007 en ", "; versión instalada 5; servidor https://localhost:48443/",
          "GET https://localhost:48443/parches/version.txt -> 200, Content-Length: 3",
          "GET https://localhost:48443/parches/7.zip: cuerpo completo, ", "7.zip extraído: ",
          "Búsqueda terminada: juego actualizado, versión 7", "Fin de Updater: código de salida 0"}) {
        EXPECT_NE(log.find(event), std::string::npos) << event;
    }
}

TEST(UpdaterEndToEnd, AlreadyCurrentAndWindowLayout) {
    Publish(3);
    WatchedUpdater inst("current");
    inst.Version(" 3 \r\n");
    ASSERT_TRUE(inst.Start()) << "no Updater window";
    const auto lines = inst.WaitForEndOfRun();
    EXPECT_EQ(lines, (std::vector<std::string>{"Buscando Actualizaciones...", "Juego actualizado correctamente."}));
    HWND label = inst.Label();
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(probe::WindowText(label), "[0% Completado]");
    // The console and the label where the form puts them, in client pixels.
    EXPECT_EQ(ClientCorner(inst.Window(), inst.Control(window::ids::kConsoleId)), (std::pair{152, 272}));
    EXPECT_EQ(ClientCorner(inst.Window(), label), (std::pair{48, 400}));
    RECT client;
    GetClientRect(inst.Window(), &client);
    EXPECT_EQ(client.right, 638);
    EXPECT_EQ(client.bottom, 479);
    RECT outer;
    GetWindowRect(inst.Window(), &outer);
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_NEAR(outer.left, (sw - (outer.right - outer.left)) / 2, 1);
    EXPECT_NEAR(outer.top, (sh - (outer.bottom - outer.top)) / 2, 1);
    EXPECT_EQ(inst.Version(), " 3 \r\n");
    EXPECT_TRUE(inst.BarVisible());
    EXPECT_EQ(inst.BarPixels(), 0);

    // The artwork at the origin, at its natural size, wherever no control draws.
    ASSERT_FALSE(Background().Empty());
    const e2e::Picture shot = e2e::CaptureClient(inst.Window());
    ASSERT_EQ(shot.width, 638);
    ASSERT_EQ(shot.height, 479);
    int wrong = 0, consoleArtwork = 0, consoleText = 0;
    for (int y = 0; y < shot.height; ++y) {
        for (int x = 0; x < shot.width; ++x) {
            const bool same = shot.At(x, y) == Background().At(x, y);
            if (kConsole.Contains(x, y)) {
                (same ? consoleArtwork : consoleText)++;
            } else if (!kLabel.Contains(x, y) && !same) {
                ++wrong;
            }
        }
    }
    // The console is see-through: the artwork between and around its two lines, text on it.
    const int consolePixels = kConsole.width * kConsole.height;
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(consoleArtwork, consolePixels * 7 / 10);
    EXPECT_GT(consoleText, consolePixels / 100);
    if (wrong != 0 || consoleArtwork <= consolePixels * 7 / 10) KeepShot(shot, "current");

    // Play: the game in the installation folder, with the one parameter "1"; then the end.
    inst.InstallGame();
    ASSERT_NO_FATAL_FAILURE(inst.Play());
}

TEST(UpdaterEndToEnd, BarGrowsFromTheLeftAndPlayInterruptsTheDownload) {
    Publish(1);
    PublishSlowPatch(1, 1500 * 1024);
    WatchedUpdater inst("slow");
    inst.Version(" 0 \r\n");
    const std::set<std::wstring> cachedBefore = LargeCachedFiles();
    inst.InstallGame();
    ASSERT_TRUE(inst.Start()) << "no Updater window";
    ASSERT_FALSE(BarPicture().Empty());

    // Two screenshots as the download goes on: the bar uncovers more of its picture, from the left.
    std::vector<int> shown;
    for (const int atLeast : {40, 200}) {
        const ULONGLONG end = GetTickCount64() + 20000;
        while (GetTickCount64() < end && inst.BarPixels() < atLeast) Sleep(20);
        ASSERT_GE(inst.BarPixels(), atLeast);
        Sleep(100);  // let the paint of that width reach the screen
        const e2e::Picture shot = e2e::CaptureClient(inst.Window());
        const int columns = ShownBarColumns(shot, 4);
        if (columns < 0) KeepShot(shot, "bar");
        shown.push_back(columns);
    }
    EXPECT_GE(shown[0], 40);
    EXPECT_GT(shown[1], shown[0]);
    EXPECT_LT(shown[1], 538);
    const auto caption = probe::WindowText(inst.Label());
    EXPECT_EQ(caption.rfind("[", 0), 0u);
    EXPECT_NE(caption.find("% Completado.]"), std::string::npos) << caption;

    // Play in the middle of the download: the game starts, Updater ends at once, the partial
    // archive stays and the version is not advanced.
    ASSERT_NO_FATAL_FAILURE(inst.Play());
    EXPECT_TRUE(fs::exists(inst.Path("1.zip")));
    EXPECT_LT(fs::file_size(inst.Path("1.zip")), 1500u * 1024u);
    EXPECT_EQ(inst.Version(), " 0 \r\n");

    // The next start asks only for the rest, beside which the record stayed. The archive is
    // not a real patch: once whole, the extraction refuses it.
    EXPECT_TRUE(fs::exists(inst.Path("1.zip.reanudar")));
    const std::uintmax_t part = fs::file_size(inst.Path("1.zip"));
    ASSERT_TRUE(inst.Start()) << "no Updater window";
    const auto box = inst.WaitForBox(60000);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->text, "Error al descomprimir, pruebe que el archivo sea un original .ZIP y no .RAR");
    probe::Press(*box);
    inst.WaitForEndOfRun();
    EXPECT_TRUE(inst.Exit());
    const std::vector<std::string> ranges = RangesAsked("/parches/1.zip");
    ASSERT_FALSE(ranges.empty());
    EXPECT_EQ(ranges.back(), "bytes=" + std::to_string(part) + "-");
    EXPECT_EQ(LargeCachedFiles(), cachedBefore) << "an archive was copied into the WinINet cache";
}

TEST(UpdaterEndToEnd, ExitBeforeTheTickUpdatesNothing) {
    Publish(1);
    PublishSlowPatch(1, 64 * 1024);
    WatchedUpdater inst("early");
    inst.Version(" 0 \r\n");
    ASSERT_TRUE(inst.Start()) << "no Updater window";
    inst.Click(kSalir);  // before Timer1's 500 ms
    const auto code = inst.Process().Wait(10000);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0u);
    Sleep(700);
    EXPECT_FALSE(fs::exists(inst.Path("1.zip")));
    EXPECT_EQ(inst.Version(), " 0 \r\n");
}

TEST(UpdaterEndToEnd, FaultsEndTheRunCleanly) {
    // A patch without Content-Length: the administrator box, then the end of Updater.
    {
        Publish(1);
        PublishPatch(1, "1.zip.chunked");
        WatchedUpdater inst("chunked");
        inst.Version(" 0 \r\n");
        const auto box = inst.StartToABox();
        ASSERT_TRUE(box.has_value());
        EXPECT_EQ(box->caption, "Vandrel Updater");
        EXPECT_EQ(box->text, "Error en HttpQueryInfo al extraer el tamaño comunicaselo a un administrador.");
        EXPECT_FALSE(box->hasIcon);
        probe::Press(*box);
        EXPECT_TRUE(inst.Process().Wait(10000).has_value());
        EXPECT_EQ(inst.Version(), " 0 \r\n");
        EXPECT_FALSE(fs::exists(inst.Path("1.zip")));
    }
    // No version file: the error box with number 53 and a non-zero exit.
    {
        Publish(2);
        WatchedUpdater inst("noini");
        const auto box = inst.StartToABox();
        ASSERT_TRUE(box.has_value());
        EXPECT_EQ(box->caption, "Vandrel Updater");
        EXPECT_NE(box->text.find("53"), std::string::npos) << box->text;
        EXPECT_NE(box->text.find("No se encontró el archivo"), std::string::npos) << box->text;
        probe::Press(*box);
        const auto code = inst.Process().Wait(10000);
        ASSERT_TRUE(code.has_value());
        EXPECT_NE(*code, 0u);
    }
    // A damaged patch: the extraction box, the red line, the version unchanged.
    {
        Publish(1);
        WriteBytes(Served() / "parches" / "1.zip", "Rar!\x1a\x07\x00 esto no es un zip");
        WatchedUpdater inst("damaged");
        inst.Version(" 0 \r\n");
        const auto box = inst.StartToABox();
        ASSERT_TRUE(box.has_value());
        EXPECT_EQ(box->text, "Error al descomprimir, pruebe que el archivo sea un original .ZIP y no .RAR");
        probe::Press(*box);
        const auto lines = inst.WaitForEndOfRun();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().rfind("No se pudo instalar la actualizacion 1", 0), 0u) << lines.back();
        EXPECT_EQ(inst.Version(), " 0 \r\n");
        EXPECT_FALSE(fs::exists(inst.Path("1.zip")));
        inst.Click(kSalir);
        EXPECT_TRUE(inst.Process().Wait(10000).has_value());
        const std::string log = UpdaterLog(inst);
        for (const char* event :
             {"GET https://localhost:48443/parches/1.zip -> 200", "1.zip fallida: ", "Cuadro: Error al descomprimir",
              "Búsqueda detenida: No se pudo instalar la actualizacion 1", "Fin de Updater: código de salida 0"}) {
            EXPECT_NE(log.find(event), std::string::npos) << event;
        }
    }
    // Play with no game in the folder: the box says so before Updater ends.
    {
        Publish(0);
        WatchedUpdater inst("nogame");
        inst.Version(" 0 \r\n");
        ASSERT_TRUE(inst.Start()) << "no Updater window";
        inst.WaitForEndOfRun();
        inst.Click(kJugar);
        const auto box = inst.WaitForBox(15000);
        ASSERT_TRUE(box.has_value());
        EXPECT_EQ(box->text, "No se pudo iniciar el juego (Vandrel.exe).");
        probe::Press(*box);
        EXPECT_TRUE(inst.Process().Wait(10000).has_value());
    }
}

TEST(UpdaterEndToEnd, ServerDownKeepsTheVersionAndPlayWorks) {
    // The fixed port's server is up; a count that is not a number reads as no server.
    fs::remove_all(Served() / "parches");
    WriteBytes(Served() / "parches" / "version.txt", "<html>");
    WatchedUpdater inst("down");
    inst.Version(" 4 \r\n");
    ASSERT_TRUE(inst.Start()) << "no Updater window";
    const auto lines = inst.WaitForEndOfRun();
    EXPECT_EQ(lines, (std::vector<std::string>{"Buscando Actualizaciones...",
                                               "No se pudo conectar con el servidor de actualizaciones."}));
    EXPECT_EQ(inst.Version(), " 4 \r\n");
    // The game can still be played.
    inst.InstallGame();
    ASSERT_NO_FATAL_FAILURE(inst.Play());
}

// The operators' road: a patch made with parchear from two versions of the game's folder,
// published into the server's folder, and installed by Updater.
TEST(UpdaterEndToEnd, PatchMadeAndPublishedWithParchearInstalls) {
    const fs::path work = fs::temp_directory_path() / "vandrel-e2e-parchear";
    fs::remove_all(work);
    WriteBytes(work / "v0" / "Recursos" / "Mapas" / "aldea.map", "aldea vieja\r\n");
    WriteBytes(work / "v0" / "Recursos" / "Textos" / "igual.txt", "sin cambios\r\n");
    WriteBytes(work / "v1" / "Recursos" / "Mapas" / "aldea.map", "aldea nueva\r\n");
    WriteBytes(work / "v1" / "Recursos" / "Textos" / "igual.txt", "sin cambios\r\n");
    WriteBytes(work / "v1" / "Recursos" / "Textos" / "nuevo.txt", "parche de parchear\r\n");
    WriteBytes(work / "v1" / "Recursos" / "Textos" / U8Path("Canción nueva.txt"), "ñandú\r\n");
    fs::remove_all(Served() / "parches");

    const auto run = [](const std::string& arguments) {
        probe::Process tool = probe::Process::Start(PARCHEAR_EXE, arguments);
        const auto code = tool.Wait(60000);
        return code.value_or(999u);
    };
    const auto quoted = [](const fs::path& p) {
        const auto u8 = p.u8string();
        std::string q = "\"";
        q.append(u8.begin(), u8.end());
        q += '"';
        return q;
    };
    ASSERT_EQ(run("crear " + quoted(work / "v0") + " " + quoted(work / "v1") + " " + quoted(work / "p.zip")), 0u);
    ASSERT_EQ(
        run("publicar " + quoted(work / "p.zip") + " " + quoted(Served()) + " --registro " + quoted(work / "registro")),
        0u);
    ASSERT_EQ(run("comprobar " + quoted(Served())), 0u);
    EXPECT_EQ(ReadBytes(Served() / "parches" / "version.txt").substr(0, 1), "1");

    WatchedUpdater inst("parchear");
    inst.Version(" 0 \r\n");
    WriteBytes(inst.Path("Recursos/Mapas/aldea.map"), "aldea vieja\r\n");
    WriteBytes(inst.Path("Recursos/Textos/igual.txt"), "sin cambios\r\n");
    ASSERT_TRUE(inst.Start()) << "no Updater window";
    const auto lines = inst.WaitForEndOfRun();
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "Buscando Actualizaciones...", "Iniciando, se instalaran 1 actualizaciones.",
                         "Instalando actualizacion 1...", "Listo.", "Juego actualizado correctamente."}));
    EXPECT_EQ(inst.Version(), " 1 \r\n");
    EXPECT_EQ(ReadBytes(inst.Path("Recursos/Mapas/aldea.map")), "aldea nueva\r\n");
    EXPECT_EQ(ReadBytes(inst.Path("Recursos/Textos/nuevo.txt")), "parche de parchear\r\n");
    EXPECT_EQ(ReadBytes(inst.Path("Recursos/Textos/Canción nueva.txt")), "ñandú\r\n");
    inst.Click(kSalir);
    EXPECT_TRUE(inst.Process().Wait(10000).has_value());
    fs::remove_all(work);
}

}  // namespace
