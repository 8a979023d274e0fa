// Updater end to end under Wine: a real Updater.exe (built with the test server's base URL)
// in a real installation folder, against the local HTTPS patch server, read and driven
// through its window as a player would.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/text_win32.h"
#include "tests/probe/probe.h"

namespace {

namespace fs = std::filesystem;

constexpr DWORD kRunTimeoutMs = 60000;

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

fs::path Served() { return fs::path("Z:" + Env("VANDREL_TEST_ROOT")); }

void WriteBytes(const fs::path& p, const std::string& content) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << content;
}

std::string ReadBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// A child of the main window found by its top-left corner in client pixels.
struct ChildSearch {
    HWND parent;
    POINT at;
    HWND found = nullptr;
};

BOOL CALLBACK FindChildAt(HWND child, LPARAM param) {
    auto* s = reinterpret_cast<ChildSearch*>(param);
    RECT r;
    GetWindowRect(child, &r);
    POINT tl{r.left, r.top};
    ScreenToClient(s->parent, &tl);
    if (tl.x == s->at.x && tl.y == s->at.y) {
        s->found = child;
        return FALSE;
    }
    return TRUE;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out.push_back(line);
            line.clear();
            ++i;
        } else {
            line += text[i];
        }
    }
    if (!line.empty()) out.push_back(line);
    return out;
}

// One installation folder with its own copy of Updater.exe.
class Installation {
public:
    explicit Installation(const std::string& name) {
        m_root = fs::temp_directory_path() / ("vandrel-e2e-" + name);
        fs::remove_all(m_root);
        fs::create_directories(m_root / "Recursos" / "OUTPUT");
        fs::copy_file(UPDATER_EXE, m_root / "Updater.exe");
    }
    ~Installation() {
        if (m_process.Running()) m_process.Kill();
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }
    fs::path Path(const std::string& rel) const { return m_root / rel; }
    void Version(const std::string& content) { WriteBytes(Path("Recursos/OUTPUT/Update.ini"), content); }
    std::string Version() const { return ReadBytes(Path("Recursos/OUTPUT/Update.ini")); }

    void Start() {
        const auto u8 = (m_root / "Updater.exe").u8string();
        m_process = probe::Process::Start(std::string(u8.begin(), u8.end()), "");
        m_window = probe::WaitForWindow(m_process.Pid(), "Vandrel Updater", 20000);
        ASSERT_NE(m_window, nullptr) << "no Updater window";
    }
    HWND Child(int x, int y) const {
        ChildSearch s{m_window, {x, y}};
        EnumChildWindows(m_window, FindChildAt, reinterpret_cast<LPARAM>(&s));
        return s.found;
    }
    std::vector<std::string> Console() const {
        HWND console = Child(152, 272);
        return console ? Lines(probe::WindowText(console)) : std::vector<std::string>{};
    }
    // Waits until the console's last line is one of the run's closing lines.
    std::vector<std::string> WaitForEndOfRun() {
        const ULONGLONG end = GetTickCount64() + kRunTimeoutMs;
        while (GetTickCount64() < end && m_process.Running()) {
            const auto lines = Console();
            if (!lines.empty() &&
                (lines.back() == "Juego actualizado correctamente." || lines.back().rfind("No se pudo", 0) == 0)) {
                return lines;
            }
            Sleep(100);
        }
        return Console();
    }
    void Click(int x, int y) {
        const LPARAM at = MAKELPARAM(x, y);
        PostMessageW(m_window, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(m_window, WM_LBUTTONUP, 0, at);
    }
    probe::Process& Process() { return m_process; }
    HWND Window() const { return m_window; }

private:
    fs::path m_root;
    probe::Process m_process;
    HWND m_window = nullptr;
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

TEST(UpdaterEndToEnd, TypicalRoadFromFiveToSeven) {
    Publish(7);
    PublishPatch(6);
    PublishPatch(7);
    Installation inst("road");
    inst.Version(" 5 \r\n");
    WriteBytes(inst.Path("Recursos/Mapas/aldea.map"), "vieja");
    inst.Start();
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
    HWND label = inst.Child(48, 400);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(probe::WindowText(label), "[100% Completado.]");
    inst.Click(480 + 50, 352 + 12);  // Salir
    EXPECT_TRUE(inst.Process().Wait(10000).has_value()) << "Exit did not end Updater";
}

TEST(UpdaterEndToEnd, AlreadyCurrentAndWindowLayout) {
    Publish(3);
    Installation inst("current");
    inst.Version(" 3 \r\n");
    inst.Start();
    const auto lines = inst.WaitForEndOfRun();
    EXPECT_EQ(lines, (std::vector<std::string>{"Buscando Actualizaciones...", "Juego actualizado correctamente."}));
    HWND label = inst.Child(48, 400);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(probe::WindowText(label), "[0% Completado]");
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
}

TEST(UpdaterEndToEnd, FaultsEndTheRunCleanly) {
    // A patch without Content-Length: the administrator box, then the end of Updater.
    {
        Publish(1);
        PublishPatch(1, "1.zip.chunked");
        Installation inst("chunked");
        inst.Version(" 0 \r\n");
        inst.Start();
        const auto box = probe::WaitForDialog(inst.Process().Pid(), kRunTimeoutMs);
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
        Installation inst("noini");
        inst.Start();
        const auto box = probe::WaitForDialog(inst.Process().Pid(), kRunTimeoutMs);
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
        Installation inst("damaged");
        inst.Version(" 0 \r\n");
        inst.Start();
        const auto box = probe::WaitForDialog(inst.Process().Pid(), kRunTimeoutMs);
        ASSERT_TRUE(box.has_value());
        EXPECT_EQ(box->text, "Error al descomprimir, pruebe que el archivo sea un original .ZIP y no .RAR");
        probe::Press(*box);
        const auto lines = inst.WaitForEndOfRun();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().rfind("No se pudo instalar la actualizacion 1", 0), 0u) << lines.back();
        EXPECT_EQ(inst.Version(), " 0 \r\n");
        EXPECT_FALSE(fs::exists(inst.Path("1.zip")));
    }
    // Play with no game in the folder: the box says so before Updater ends.
    {
        Publish(0);
        Installation inst("nogame");
        inst.Version(" 0 \r\n");
        inst.Start();
        inst.WaitForEndOfRun();
        inst.Click(48 + 50, 352 + 12);  // Jugar
        const auto box = probe::WaitForDialog(inst.Process().Pid(), 15000);
        ASSERT_TRUE(box.has_value());
        EXPECT_EQ(box->text, "No se pudo iniciar el juego (Vandrel.exe).");
        probe::Press(*box);
        EXPECT_TRUE(inst.Process().Wait(10000).has_value());
    }
}

TEST(UpdaterEndToEnd, ServerDownKeepsTheVersionAndExitWorks) {
    // The fixed port's server is up; a count that is not a number reads as no server.
    fs::remove_all(Served() / "parches");
    WriteBytes(Served() / "parches" / "version.txt", "<html>");
    Installation inst("down");
    inst.Version(" 4 \r\n");
    inst.Start();
    const auto lines = inst.WaitForEndOfRun();
    EXPECT_EQ(lines, (std::vector<std::string>{"Buscando Actualizaciones...",
                                               "No se pudo conectar con el servidor de actualizaciones."}));
    EXPECT_EQ(inst.Version(), " 4 \r\n");
    inst.Click(480 + 50, 352 + 12);
    EXPECT_TRUE(inst.Process().Wait(10000).has_value());
}

}  // namespace
