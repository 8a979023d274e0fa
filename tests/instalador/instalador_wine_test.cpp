// The real Instalador.exe under Wine, in installation folders made of test libraries and fake
// installers: the boxes it shows (read and pressed like a player), the installers it runs, the
// registration it leaves, its exit status, and its processor use while it waits.
#include <windows.h>
// After windows.h, which defines its types.
#include <aclapi.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/handle_win32.h"
#include "core/text_win32.h"
#include "tests/instalador/fixtures/registro_fixture.h"
#include "tests/probe/probe.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A build output named by CMake with a Unix path, reached through Wine's Z: drive.
fs::path Built(const char* path) {
    std::string p = path;
    if (!p.empty() && p[0] == '/') p.insert(0, "Z:");
    return fs::path(core::Utf8ToWide(p)).make_preferred();
}

std::string Utf8(const fs::path& p) { return core::WideToUtf8(p.wstring()); }

enum class Library { None, Registers, Fails, Slow, NoExport, NotALibrary };

const struct {
    const char* file;
    const char* switches;
} kGenerations[] = {
    {"vcredist2015_2017_2019_2022_x86.exe", "/passive /norestart"},
    {"vcredist2013_x86.exe", "/passive /norestart"},
    {"vcredist2012_x86.exe", "/passive /norestart"},
    {"vcredist2010_x86.exe", "/passive /norestart"},
    {"vcredist2008_x86.exe", "/qb"},
    {"vcredist2005_x86.exe", "/q"},
};

const char* const kAlready = "La libreria Selvane.Network, ya se encuentra registrada correctamente.";
const char* const kNow = "La libreria Selvane.Network, ha sido registrada correctamente.";
const char* const kMissing = "El archivo Selvane.Network.dll no existe.";
const char* const kNotLoaded = "Ocurrió un error al cargar el archivo: Selvane.Network.dll";
const char* const kNoEntry = "Ocurrió un error al ubicar el punto de entrada para el archivo: \r\nSelvane.Network.dll";
const char* const kTimedOut = "Ocurrió un error al intentar registrar el archivo: \r\nSelvane.Network.dll";

// The fake installer as made by make-signed: signed for Microsoft under the test authority, or
// one of the stand-ins Instalador must refuse.
fs::path Signed(const wchar_t* name) { return Built(SIGNED_DIR) / name; }

// The test authority among the prefix's trusted roots, as Microsoft's is on Windows.
bool TrustTestAuthority() {
    std::ifstream in(Signed(L"ca.der"), std::ios::binary);
    const std::vector<BYTE> der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return !der.empty() && CertAddEncodedCertificateToSystemStoreW(L"ROOT", der.data(), static_cast<DWORD>(der.size()));
}

// A folder with a library variant of its own (or none) beside the library's name.
void PutLibrary(const fs::path& folder, Library library) {
    const fs::path target = folder / L"Selvane.Network.dll";
    switch (library) {
        case Library::None: return;
        case Library::Registers: fs::copy_file(Built(FIXTURE_REGISTERS), target); return;
        case Library::Fails: fs::copy_file(Built(FIXTURE_FAILS), target); return;
        case Library::Slow: fs::copy_file(Built(FIXTURE_SLOW), target); return;
        case Library::NoExport: fs::copy_file(Built(FIXTURE_NO_EXPORT), target); return;
        case Library::NotALibrary: std::ofstream(target) << "MZ no soy una biblioteca\r\n"; return;
    }
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The lines of a text file written by the fakes; none when it is not there.
std::vector<std::string> ReadLines(const fs::path& file) {
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// An installation folder (with blanks and "(x86)" in its name): Instalador.exe, a library
// variant, and signed fake installers for the first generations. Beside it, a decoy
// "Vandrel.exe" that an unquoted installer path would start in place of the installer. The fakes
// run from Instalador's private copies and report into dlls\ (VANDREL_FAKE_DLLS, inherited).
class InstaladorFolder {
public:
    explicit InstaladorFolder(Library library, int installers = 6) : m_dir("instalador") {
        fs::create_directory(Root());
        fs::copy_file(Built(FAKE_VCREDIST), m_dir.FsPath() / L"Vandrel.exe");
        fs::copy_file(Built(INSTALADOR_EXE), Root() / L"Instalador.exe");
        PutLibrary(Root(), library);
        fs::create_directory(Dlls());
        for (int g = 0; g < installers; ++g) {
            std::string x64 = kGenerations[g].file;
            x64.replace(x64.find("x86"), 3, "x64");
            fs::copy_file(Signed(L"signed.exe"), Dlls() / kGenerations[g].file);
            fs::copy_file(Signed(L"signed.exe"), Dlls() / x64);
        }
        SetEnvironmentVariableW(L"VANDREL_FAKE_DLLS", Dlls().wstring().c_str());
    }
    ~InstaladorFolder() { SetEnvironmentVariableW(L"VANDREL_FAKE_DLLS", nullptr); }
    InstaladorFolder(const InstaladorFolder&) = delete;
    InstaladorFolder& operator=(const InstaladorFolder&) = delete;

    fs::path Root() const { return m_dir.FsPath() / L"Vandrel Juego (x86)"; }
    fs::path Dlls() const { return Root() / L"dlls"; }
    fs::path LibraryPath() const { return Root() / L"Selvane.Network.dll"; }
    std::string Exe() const { return Utf8(Root() / L"Instalador.exe"); }
    std::string Installer(int generation) const { return Utf8(Dlls() / kGenerations[generation - 1].file); }

    // The command line Instalador gives the installer of a generation (1-based), in its x86 or
    // its x64 form.
    std::string Line(int generation, bool x64 = false) const {
        std::string installer = Installer(generation);
        if (x64) installer.replace(installer.rfind("x86"), 3, "x64");
        std::string line = "\"";
        line += installer;
        line += "\" ";
        line += kGenerations[generation - 1].switches;
        return line;
    }
    // What the installers' log must hold after the first generations: a 32-bit Instalador on
    // 64-bit Windows runs each generation's x86 installer and then its x64 one, any other only
    // the x86 one. wow64 comes from the process under test, never from the test's own build.
    std::vector<std::string> Lines(int generations, bool wow64) const {
        std::vector<std::string> lines;
        for (int g = 1; g <= generations; ++g) {
            lines.push_back(Line(g));
            if (wow64) lines.push_back(Line(g, true));
        }
        return lines;
    }

    // Gives the fake installer of a generation a behaviour ("slow" with ms, or "registers").
    void Control(int generation, const std::string& behaviour, const std::string& content = {}) const {
        std::string name = kGenerations[generation - 1].file;
        name += '.';
        name += behaviour;
        std::ofstream(Dlls() / name) << content;
    }

    // The installers' command lines in the order they ran, each with the folder of the copy that
    // ran put back to dlls\ (where it ran is checked by ExpectWellRun).
    std::vector<std::string> Log() const {
        std::vector<std::string> lines = ReadLines(Dlls() / L"installers.log");
        for (std::string& line : lines) {
            const std::size_t close = line.find('"', 1);
            const std::size_t slash = line.rfind('\\', close);
            if (line.starts_with('"') && close != std::string::npos && slash != std::string::npos) {
                line.replace(1, slash - 1, Utf8(Dlls()));
            }
        }
        return lines;
    }

    // What every run must leave, whatever its outcome: each installer was started hidden, the
    // decoy never ran, and the library's registration was called on a worker thread inside a
    // COM apartment whenever it was called.
    void ExpectWellRun() const {
        const auto shows = ReadLines(Dlls() / L"installers.show");
        EXPECT_EQ(shows, std::vector<std::string>(Log().size(), "hidden"));
        EXPECT_FALSE(fs::exists(m_dir.FsPath() / L"installers.log")) << "an unquoted path started Vandrel.exe";
        // Every installer ran from a private copy outside the game, removed after its run.
        const auto where = ReadLines(Dlls() / L"installers.where");
        EXPECT_EQ(where.size(), Log().size());
        for (const std::string& folder : where) {
            EXPECT_NE(Lower(folder), Lower(Utf8(Dlls())));
            EXPECT_EQ(Lower(folder).find(Lower(Utf8(Root()))), std::string::npos) << folder;
            EXPECT_FALSE(fs::exists(fs::path(core::Utf8ToWide(folder)))) << "copy left behind: " << folder;
        }
        const auto refused = ReadLines(Root() / L"Selvane.Network.dll.refused");
        EXPECT_TRUE(refused.empty()) << refused.front();
    }

private:
    testsupport::TempDir m_dir;
};

// Lets Everyone change the file or folder, as an operator does who makes the game writable by all.
bool GrantEveryoneFull(const fs::path& path) {
    PACL current = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::wstring name = path.wstring();
    if (GetNamedSecurityInfoW(name.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &current,
                              nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    BYTE everyone[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof everyone;
    if (!CreateWellKnownSid(WinWorldSid, nullptr, everyone, &sidSize)) return false;
    EXPLICIT_ACCESSW access{};
    access.grfAccessPermissions = GENERIC_ALL;
    access.grfAccessMode = GRANT_ACCESS;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.ptstrName = reinterpret_cast<LPWSTR>(everyone);
    PACL updated = nullptr;
    bool ok = SetEntriesInAclW(1, &access, current, &updated) == ERROR_SUCCESS &&
              SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, updated,
                                    nullptr) == ERROR_SUCCESS;
    LocalFree(updated);
    LocalFree(descriptor);
    return ok;
}

// Kills the process at the end of a test that failed before it ended.
struct Running {
    probe::Process process;
    ~Running() { process.Kill(); }
    DWORD Pid() const { return process.Pid(); }
    bool Wow64() const { return process.IsWow64(); }
};

struct Box {
    std::string caption;
    std::string text;
    bool icon;
};

Box Info(const std::string& text) { return {"Instalador", text, false}; }
Box RegisterError(const std::string& text) { return {"DLL/OCX Register", text, true}; }
// The error box of an installer that is not there.
Box NotFound(const std::string& installer) {
    std::string text = "Error 53: No se encontró el archivo\r\n";
    text += installer;
    return {"Instalador", text, true};
}

// Waits for the next box of the process, checks it and presses OK; false when none came.
bool Expect(DWORD pid, const Box& box, DWORD timeoutMs = 30000) {
    const auto dialog = probe::WaitForDialog(pid, timeoutMs);
    if (!dialog) {
        ADD_FAILURE() << "no box came; expected: " << box.text;
        return false;
    }
    EXPECT_EQ(dialog->caption, box.caption);
    EXPECT_EQ(dialog->text, box.text);
    EXPECT_EQ(dialog->hasIcon, box.icon) << box.text;
    EXPECT_EQ(dialog->buttons.size(), 1u) << box.text;
    if (!dialog->buttons.empty()) {
        EXPECT_EQ(dialog->buttons[0].id, IDOK);
    }
    EXPECT_TRUE(probe::Press(*dialog));
    return true;
}

// Presses the boxes in order and returns the exit status (nothing when it did not end).
std::optional<DWORD> RunThrough(Running& run, const std::vector<Box>& boxes) {
    for (const auto& box : boxes) {
        if (!Expect(run.Pid(), box)) return std::nullopt;
    }
    return run.process.Wait(30000);
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// Processor time (user + kernel, ms) of the process started from exe. Wine reports no other
// process's times through GetProcessTimes, so under Wine the host's /proc is read instead
// (through Z:), finding the host process whose command line is exe.
std::optional<double> CpuMs(DWORD pid, const std::string& exe) {
    std::error_code ec;
    const fs::path proc = L"Z:\\proc";
    if (fs::exists(proc / L"self" / L"stat", ec)) {
        const std::string needle = Lower(exe);
        for (const auto& entry : fs::directory_iterator(proc, ec)) {
            const std::wstring name = entry.path().filename().wstring();
            if (name.empty() || name.find_first_not_of(L"0123456789") != std::wstring::npos) continue;
            std::ifstream cmd(entry.path() / L"cmdline", std::ios::binary);
            std::string command((std::istreambuf_iterator<char>(cmd)), {});
            if (Lower(command).find(needle) == std::string::npos) continue;
            std::ifstream statFile(entry.path() / L"stat");
            std::string stat((std::istreambuf_iterator<char>(statFile)), {});
            const auto close = stat.rfind(')');
            if (close == std::string::npos) continue;
            std::istringstream fields(stat.substr(close + 2));
            std::string field;
            unsigned long long utime = 0, stime = 0;
            // After the name: state is field 3; utime and stime are fields 14 and 15.
            for (int i = 3; i <= 15 && fields >> field; ++i) {
                if (i == 14) utime = std::stoull(field);
                if (i == 15) stime = std::stoull(field);
            }
            return (utime + stime) * 10.0;  // USER_HZ is 100 on Linux
        }
        return std::nullopt;
    }
    const core::UniqueHandle h(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    FILETIME created, ended, kernel, user;
    if (!h || !GetProcessTimes(h.Get(), &created, &ended, &kernel, &user)) return std::nullopt;
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return (ticks(kernel) + ticks(user)) / 10000.0;
}

class InstaladorExe : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(TrustTestAuthority());
        ASSERT_TRUE(fixture::UnregisterServer());
    }
    void TearDown() override { fixture::UnregisterServer(); }
};

TEST_F(InstaladorExe, AlreadyRegisteredSaysSoAndRunsNoInstaller) {
    const InstaladorFolder inst(Library::Registers);
    ASSERT_TRUE(fixture::RegisterServer(inst.LibraryPath().wstring()));
    Running run{probe::Process::Start(inst.Exe(), {})};
    EXPECT_EQ(RunThrough(run, {Info(kAlready)}), 0u);
    EXPECT_TRUE(inst.Log().empty());
    inst.ExpectWellRun();
}

TEST_F(InstaladorExe, RegistersAfterGenerationOneFromAnotherFolderWithoutSpinning) {
    // Blanks in the installation folder; started from a folder that holds a library of the same
    // name without the entry point; the first installer takes four seconds.
    const InstaladorFolder inst(Library::Registers);
    inst.Control(1, "slow", "4000");
    const testsupport::TempDir elsewhere("otra carpeta");
    PutLibrary(elsewhere.FsPath(), Library::NoExport);
    Running run{probe::Process::Start(inst.Exe(), {}, elsewhere.Path())};

    ASSERT_TRUE(WaitUntil([&] { return !inst.Log().empty(); }, 30s));
    const auto before = CpuMs(run.Pid(), inst.Exe());
    std::this_thread::sleep_for(2s);
    const auto after = CpuMs(run.Pid(), inst.Exe());
    ASSERT_TRUE(before && after) << "no processor time for " << inst.Exe();
    EXPECT_TRUE(run.process.Running());
    EXPECT_LT(*after - *before, 200.0) << "Instalador used the processor while the installer ran";
    std::cout << "[ measure  ] Instalador's processor time over 2 s of a running installer: " << (*after - *before)
              << " ms\n";

    EXPECT_EQ(RunThrough(run, {Info(kNow)}), 0u);
    EXPECT_EQ(inst.Log(), inst.Lines(1, run.Wow64()));
    EXPECT_EQ(Lower(core::WideToUtf8(fixture::RegisteredServer())), Lower(Utf8(inst.LibraryPath())));
    inst.ExpectWellRun();
}

TEST_F(InstaladorExe, RegistersAfterTheGenerationWhoseInstallerMakesItWork) {
    // DllRegisterServer fails at once (E_FAIL): no box, the presence check says no, the next
    // generation follows; the third installer registers the class itself.
    const InstaladorFolder inst(Library::Fails);
    inst.Control(3, "registers");
    Running run{probe::Process::Start(inst.Exe(), {})};
    EXPECT_EQ(RunThrough(run, {Info(kNow)}), 0u);
    EXPECT_EQ(inst.Log(), inst.Lines(3, run.Wow64()));
    inst.ExpectWellRun();
}

TEST_F(InstaladorExe, MissingLibraryFailsEveryGenerationDespiteACopyInTheCurrentFolder) {
    const InstaladorFolder inst(Library::None);
    const testsupport::TempDir elsewhere("otra carpeta");
    PutLibrary(elsewhere.FsPath(), Library::Registers);
    Running run{probe::Process::Start(inst.Exe(), {}, elsewhere.Path())};
    EXPECT_EQ(RunThrough(run, std::vector<Box>(6, RegisterError(kMissing))), 1u);
    EXPECT_EQ(inst.Log(), inst.Lines(6, run.Wow64()));
    EXPECT_TRUE(fixture::RegisteredServer().empty());
    inst.ExpectWellRun();
}

TEST_F(InstaladorExe, LibraryWithoutEntryPointThenAMissingFifthInstaller) {
    const InstaladorFolder inst(Library::NoExport, 4);
    Running run{probe::Process::Start(inst.Exe(), {})};
    std::vector<Box> boxes(4, RegisterError(kNoEntry));
    boxes.push_back(NotFound(inst.Installer(5)));
    EXPECT_EQ(RunThrough(run, boxes), 2u);
    EXPECT_EQ(inst.Log(), inst.Lines(4, run.Wow64()));
    inst.ExpectWellRun();
}

TEST_F(InstaladorExe, FileThatIsNotALibrary) {
    const InstaladorFolder inst(Library::NotALibrary, 1);
    Running run{probe::Process::Start(inst.Exe(), {})};
    EXPECT_EQ(RunThrough(run, {RegisterError(kNotLoaded), NotFound(inst.Installer(2))}), 2u);
    EXPECT_EQ(inst.Log(), inst.Lines(1, run.Wow64()));
    inst.ExpectWellRun();
}

TEST_F(InstaladorExe, RegistrationThatOutlastsTheLimitIsLeftRunning) {
    const InstaladorFolder inst(Library::Slow, 1);
    const fs::path finished = inst.Root() / L"Selvane.Network.dll.finished";
    Running run{probe::Process::Start(inst.Exe(), {})};
    ASSERT_TRUE(WaitUntil([&] { return !inst.Log().empty(); }, 30s));
    const auto start = std::chrono::steady_clock::now();

    const auto dialog = probe::WaitForDialog(run.Pid(), 30000);
    ASSERT_TRUE(dialog);
    const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(dialog->caption, "DLL/OCX Register");
    EXPECT_EQ(dialog->text, kTimedOut);
    EXPECT_TRUE(dialog->hasIcon);
    EXPECT_GE(waited, 9.5) << "the box came before the 10 s limit";
    EXPECT_FALSE(fs::exists(finished)) << "Instalador waited for the registration to end";
    std::cout << "[ measure  ] time-out box " << waited << " s after the installer\n";
    // The worker was not stopped: it finishes while the box is still open.
    EXPECT_TRUE(WaitUntil([&] { return fs::exists(finished); }, 8s));
    EXPECT_TRUE(probe::Press(*dialog));

    EXPECT_EQ(RunThrough(run, {NotFound(inst.Installer(2))}), 2u);
    EXPECT_EQ(inst.Log(), inst.Lines(1, run.Wow64()));
    inst.ExpectWellRun();
}

TEST_F(InstaladorExe, RunsNoInstallerThatIsNotMicrosoftsValidlySigned) {
    // The first x86 installer replaced; nothing runs, not even the later trusted ones.
    const wchar_t* const stand_ins[] = {
        nullptr,               // the unsigned fake
        L"tampered.exe",       // Microsoft's signature, one byte changed after signing
        L"other.exe",          // validly signed by another publisher
        L"untrusted-root.exe"  // Microsoft's name under an authority that is not trusted
    };
    for (const wchar_t* stand_in : stand_ins) {
        SCOPED_TRACE(stand_in ? Utf8(stand_in) : "unsigned");
        const InstaladorFolder inst(Library::Registers);
        const fs::path first = inst.Dlls() / kGenerations[0].file;
        fs::copy_file(stand_in ? Signed(stand_in) : Built(FAKE_VCREDIST), first, fs::copy_options::overwrite_existing);
        Running run{probe::Process::Start(inst.Exe(), {})};
        std::string text = "El archivo ";
        text += inst.Installer(1);
        text += " no es de confianza: no lleva una firma válida de Microsoft Corporation.";
        EXPECT_EQ(RunThrough(run, {{"Instalador", text, true}}), 3u);
        EXPECT_TRUE(inst.Log().empty());
        EXPECT_TRUE(fixture::RegisteredServer().empty());
        inst.ExpectWellRun();
    }
}

TEST_F(InstaladorExe, LoadsNoLibraryThatOthersCouldHaveReplaced) {
    // The library, then (already registered) its folder, made changeable by every user: the run
    // ends at the presence check, before any installer, without loading or registering anything.
    for (const bool folder : {false, true}) {
        SCOPED_TRACE(folder ? "folder" : "file");
        const InstaladorFolder inst(Library::Registers);
        if (folder) {
            ASSERT_TRUE(fixture::RegisterServer(inst.LibraryPath().wstring()));
        }
        ASSERT_TRUE(GrantEveryoneFull(folder ? inst.Root() : inst.LibraryPath()));
        Running run{probe::Process::Start(inst.Exe(), {})};
        std::string text = "El archivo ";
        text += Utf8(inst.LibraryPath());
        text +=
            " no es de confianza: otros usuarios, además de los administradores, pueden cambiarlo o cambiar su "
            "carpeta.";
        EXPECT_EQ(RunThrough(run, {{"Instalador", text, true}}), 3u);
        EXPECT_TRUE(inst.Log().empty());
        EXPECT_EQ(fixture::RegisteredServer().empty(), !folder);
        fixture::UnregisterServer();
    }
}

}  // namespace
