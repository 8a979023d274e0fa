#include "tests/faults/installation.h"

#include <cstdlib>

namespace faults {
namespace {

// The console is the child whose top-left corner is at (152, 272) of the client area.
struct ChildSearch {
    HWND parent;
    HWND found = nullptr;
};

BOOL CALLBACK FindConsole(HWND child, LPARAM param) {
    auto* s = reinterpret_cast<ChildSearch*>(param);
    RECT r;
    if (!GetWindowRect(child, &r)) return TRUE;
    POINT tl{r.left, r.top};
    ScreenToClient(s->parent, &tl);
    if (tl.x == 152 && tl.y == 272) {
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

std::string Relative(const fs::path& p, const fs::path& root) {
    const auto u8 = fs::relative(p, root).generic_u8string();
    return std::string(u8.begin(), u8.end());
}

}  // namespace

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

fs::path FromUnix(const char* variable) {
    const std::string unix = Env(variable);
    return unix.empty() ? fs::path() : fs::path("Z:" + unix);
}

Tree Snapshot(const fs::path& root) {
    Tree tree;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const std::string rel = Relative(it->path(), root);
        tree[rel] = it->is_directory() ? "<carpeta>" : ReadBytes(it->path());
    }
    return tree;
}

std::vector<std::string> Leftovers(const fs::path& root) {
    std::vector<std::string> found;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const std::string name = testsupport::U8(it->path().filename());
        const bool temporary = name.size() > 12 && name.compare(name.size() - 12, 12, ".vandrel-tmp") == 0;
        const bool archive = it.depth() == 0 && it->path().extension() == ".zip";
        if (temporary || archive) found.push_back(Relative(it->path(), root));
    }
    return found;
}

Installation::Installation(const fs::path& base, const std::string& name) : m_root(base / name) {
    fs::remove_all(m_root);
    fs::create_directories(Folder() / "Recursos" / "OUTPUT");
    fs::copy_file(UPDATER_EXE, Folder() / "Updater.exe");
    WriteBytes(Path("Recursos/Mapas/aldea.map"), "vieja\r\n");
    WriteBytes(Path("Recursos/Textos/uno.txt"), "parche 1\r\n");
    WriteBytes(Neighbour() / "carta.txt", "no tocar\r\n");
    Version(" 1 \r\n");
}

Installation::~Installation() {
    if (m_process.Running()) m_process.Kill();
    std::error_code ec;
    fs::remove_all(m_root, ec);
}

void Installation::Version(const std::string& content) const {
    WriteBytes(Path("Recursos/OUTPUT/Update.ini"), content);
}
std::string Installation::Version() const { return ReadBytes(Path("Recursos/OUTPUT/Update.ini")); }

void Installation::Start(const fs::path& exe) {
    const auto u8 = (exe.empty() ? Folder() / "Updater.exe" : exe).u8string();
    m_process = probe::Process::Start(std::string(u8.begin(), u8.end()), "");
    m_window = probe::WaitForWindow(m_process.Pid(), "Vandrel Updater", 20000);
}

HWND Installation::Console() const {
    ChildSearch s{m_window};
    if (m_window) EnumChildWindows(m_window, FindConsole, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

std::vector<std::string> Installation::WaitForEndOfRun(DWORD timeoutMs) {
    const auto read = [&] {
        HWND console = Console();
        return console ? Lines(probe::WindowText(console)) : std::vector<std::string>{};
    };
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (GetTickCount64() < end && m_process.Running()) {
        const auto lines = read();
        if (!lines.empty() &&
            (lines.back() == "Juego actualizado correctamente." || lines.back().rfind("No se pudo", 0) == 0)) {
            return lines;
        }
        Sleep(100);
    }
    return read();
}

std::optional<probe::Dialog> Installation::WaitForBox(DWORD timeoutMs) const {
    return probe::WaitForDialog(m_process.Pid(), timeoutMs);
}

bool Installation::Exit() {
    if (m_window && m_process.Running()) {
        const LPARAM at = MAKELPARAM(480 + 50, 352 + 12);  // Salir
        PostMessageW(m_window, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(m_window, WM_LBUTTONUP, 0, at);
    }
    if (m_process.Wait(10000).has_value()) return true;
    m_process.Kill();
    return false;
}

}  // namespace faults
