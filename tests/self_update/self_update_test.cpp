// Updater under Wine with a patch that holds a new Updater.exe: it installs, the next start runs
// the new one and removes the old copy, and a kill at each step of the swap leaves a program to
// start that repairs the installation. And one Updater per installation: a second start hands
// over to the running one and ends.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/text_win32.h"
#include "tests/support/files.h"
#include "tests/support/updater_harness.h"
#include "tests/unzip/zip_builder.h"
#include "updater/window/window_ids.h"

namespace {

namespace fs = std::filesystem;

using harness::kDone;
using harness::kRunTimeoutMs;
using harness::UpdaterRun;
using testsupport::ReadBytes;
using testsupport::U8;
using testsupport::WriteBytes;

fs::path Served() { return harness::FromUnix("VANDREL_TEST_ROOT") / "parches"; }

const std::string& OldUpdater() {
    static const std::string bytes = ReadBytes(UPDATER_EXE);
    return bytes;
}

// The same program with bytes after its image: a different file that starts all the same.
const std::string& NewUpdater() {
    static const std::string bytes = OldUpdater() + std::string(4096, '\0') + "Vandrel Updater, version nueva";
    return bytes;
}

std::string Noise(std::size_t n) {
    std::mt19937 rng(17);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
}

// Count 1, patch 1 made of files (name -> content); slow: served at about 200 KB/s.
void Publish(const std::vector<std::pair<std::string, std::string>>& files, bool slow = false) {
    fs::remove_all(Served());
    WriteBytes(Served() / "version.txt", "1\r\n");
    ziptest::ZipBuilder zip;
    for (const auto& [name, content] : files) zip.File(name, content, 0);
    WriteBytes(Served() / (slow ? "1.zip.slow" : "1.zip"), zip.Build().bytes);
}

BOOL CALLBACK CountMainWindows(HWND hwnd, LPARAM param) {
    wchar_t cls[64] = {};
    if (IsWindowVisible(hwnd) && GetClassNameW(hwnd, cls, 64) && std::wstring_view(cls) == window::ids::kMainClass) {
        ++*reinterpret_cast<int*>(param);
    }
    return TRUE;
}

int MainWindows() {
    int n = 0;
    EnumWindows(CountMainWindows, reinterpret_cast<LPARAM>(&n));
    return n;
}

// The console's last line once the run is over, or what went wrong (a box, the end of the
// process, a time-out).
std::string WaitForEnd(UpdaterRun& run) {
    const harness::RunEnd end = run.WaitForEnd(kRunTimeoutMs, [&run]() -> std::string {
        const auto box = run.WaitForBox(0);
        return box ? "a box: " + box->text : "";
    });
    return end.failure.empty() ? end.lines.back() : end.failure;
}

// An installation at version 0 with its own copy of Updater.
class OwnCopyFolder : public harness::UpdaterFolder {
public:
    explicit OwnCopyFolder(const std::string& name)
        : harness::UpdaterFolder(UPDATER_EXE, fs::temp_directory_path() / ("vandrel-propio-" + name)) {
        Version(" 0 \r\n");
    }
    // Copies of Updater that a swap moved aside.
    std::vector<std::string> AsideCopies() const {
        std::vector<std::string> out;
        for (const auto& entry : fs::directory_iterator(Folder())) {
            const std::string name = U8(entry.path().filename());
            if (name.find(".anterior-") != std::string::npos) out.push_back(name);
        }
        return out;
    }
};

const std::vector<std::pair<std::string, std::string>> kPatchWithUpdater = {
    {"Recursos/Textos/uno.txt", "parche 1\r\n"},
    {"UPDATER.EXE", NewUpdater()},  // another spelling of the running file's name
    {"Recursos/Textos/dos.txt", "parche 1, dos\r\n"},
};

TEST(SelfUpdate, PatchWithANewUpdaterInstallsAndTheNextStartRunsIt) {
    Publish(kPatchWithUpdater);
    OwnCopyFolder inst("nuevo");
    {
        UpdaterRun run(inst.Path("Updater.exe"));
        ASSERT_NE(run.Window(), nullptr);
        EXPECT_EQ(WaitForEnd(run), kDone);
        EXPECT_EQ(inst.Version(), " 1 \r\n");
        EXPECT_EQ(ReadBytes(inst.Path("Updater.exe")) == NewUpdater(), true) << "the new bytes are not in place";
        EXPECT_EQ(ReadBytes(inst.Path("Recursos/Textos/dos.txt")), "parche 1, dos\r\n");
        EXPECT_EQ(inst.AsideCopies().size(), 1u) << "the running Updater, moved aside";
        EXPECT_TRUE(run.Exit());
    }
    // The next start is the new Updater: the old copy goes, the installation is current.
    UpdaterRun next(inst.Path("Updater.exe"));
    ASSERT_NE(next.Window(), nullptr);
    EXPECT_EQ(WaitForEnd(next), kDone);
    EXPECT_EQ(inst.AsideCopies(), std::vector<std::string>{});
    EXPECT_EQ(next.Console(), (std::vector<std::string>{"Buscando Actualizaciones...", kDone}));
    EXPECT_TRUE(next.Exit());
}

// A kill at each step of the swap (the test build stops Updater there itself, as a kill would):
// the folder keeps Updater.exe, or else an aside copy that starts; that start finishes the patch,
// and the start after it leaves no copy behind.
TEST(SelfUpdate, KillAtEachStepOfTheSwapLeavesAStartableUpdater) {
    Publish(kPatchWithUpdater);
    for (const char* step : {"ready", "aside", "replaced"}) {
        SCOPED_TRACE(step);
        OwnCopyFolder inst(std::string("muerte-") + step);
        SetEnvironmentVariableW(L"VANDREL_KILL_AT", core::Utf8ToWide(step).c_str());
        {
            UpdaterRun run(inst.Path("Updater.exe"));
            SetEnvironmentVariableW(L"VANDREL_KILL_AT", nullptr);
            ASSERT_NE(run.Window(), nullptr);
            const auto code = run.Process().Wait(kRunTimeoutMs);
            ASSERT_TRUE(code.has_value()) << "the kill point was never reached";
            EXPECT_EQ(*code, 9u);
        }
        EXPECT_EQ(inst.Version(), " 0 \r\n");
        fs::path start = inst.Path("Updater.exe");
        if (!fs::exists(start)) {
            const auto copies = inst.AsideCopies();
            ASSERT_EQ(copies.size(), 1u) << "no Updater to start";
            start = inst.Path(copies[0]);
        }
        const std::string before = ReadBytes(start);
        EXPECT_TRUE(before == OldUpdater() || before == NewUpdater());
        {
            UpdaterRun run(start);
            ASSERT_NE(run.Window(), nullptr) << U8(start) << " does not start";
            EXPECT_EQ(WaitForEnd(run), kDone);
            EXPECT_TRUE(run.Exit());
        }
        EXPECT_EQ(inst.Version(), " 1 \r\n");
        EXPECT_TRUE(ReadBytes(inst.Path("Updater.exe")) == NewUpdater());
        UpdaterRun last(inst.Path("Updater.exe"));
        ASSERT_NE(last.Window(), nullptr);
        EXPECT_EQ(WaitForEnd(last), kDone);
        EXPECT_EQ(inst.AsideCopies(), std::vector<std::string>{});
        EXPECT_TRUE(last.Exit());
    }
}

// A file of the patch that cannot be replaced after the swap: the run fails as before, and the
// old Updater is back at its name, with no copy beside it.
TEST(SelfUpdate, FailureAfterTheSwapPutsTheOldUpdaterBack) {
    Publish({{"UPDATER.EXE", NewUpdater()}, {"Recursos/bloqueado.txt", "nuevo\r\n"}});
    OwnCopyFolder inst("fallo");
    WriteBytes(inst.Path("Recursos/bloqueado.txt"), "viejo\r\n");
    // Held open with no sharing, as a running game holds its files.
    HANDLE held = CreateFileW(inst.Path("Recursos/bloqueado.txt").wstring().c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    {
        UpdaterRun run(inst.Path("Updater.exe"));
        ASSERT_NE(run.Window(), nullptr);
        const auto box = run.WaitForBox();
        ASSERT_TRUE(box.has_value());
        probe::Press(*box);
        const std::string end = WaitForEnd(run);
        EXPECT_NE(end.find("«Recursos\\bloqueado.txt»: está en uso"), std::string::npos) << end;
        EXPECT_TRUE(ReadBytes(inst.Path("Updater.exe")) == OldUpdater());
        EXPECT_EQ(inst.AsideCopies(), std::vector<std::string>{});
        EXPECT_TRUE(run.Exit());
    }
    CloseHandle(held);
    EXPECT_EQ(inst.Version(), " 0 \r\n");
}

TEST(SingleInstance, SecondStartHandsOverToTheRunningUpdater) {
    Publish({{"Recursos/grande.bin", Noise(1200 * 1024)}}, true);
    OwnCopyFolder inst("doble");
    OwnCopyFolder other("otra");
    WriteBytes(other.Path("Recursos/OUTPUT/Update.ini"), " 1 \r\n");
    ASSERT_EQ(MainWindows(), 0);

    UpdaterRun first(inst.Path("Updater.exe"));
    ASSERT_NE(first.Window(), nullptr);
    ShowWindow(first.Window(), SW_MINIMIZE);
    for (int i = 0; i < 500 && !IsIconic(first.Window()); ++i) Sleep(20);
    ASSERT_TRUE(IsIconic(first.Window()));

    // The same folder, spelt otherwise: the second process ends at once, with no box.
    std::string spelt = U8(inst.Path("UPDATER.EXE"));
    const ULONGLONG started = GetTickCount64();
    probe::Process second = probe::Process::Start(spelt, "");
    const auto code = second.Wait(10000);
    const ULONGLONG took = GetTickCount64() - started;
    ASSERT_TRUE(code.has_value()) << "the second Updater is still running";
    EXPECT_EQ(*code, 0u);
    std::printf("[instance] second start ended after %llu ms\n", static_cast<unsigned long long>(took));
    EXPECT_FALSE(probe::WaitForDialog(second.Pid(), 0).has_value());
    EXPECT_EQ(MainWindows(), 1);
    // The restore is posted to the running Updater's thread, which a loaded machine may not
    // schedule for a while.
    for (int i = 0; i < 500 && (IsIconic(first.Window()) || GetForegroundWindow() != first.Window()); ++i) Sleep(20);
    EXPECT_FALSE(IsIconic(first.Window())) << "the running window did not come back";
    EXPECT_EQ(GetForegroundWindow(), first.Window());

    // Another installation updates at the same time.
    {
        UpdaterRun beside(other.Path("Updater.exe"));
        ASSERT_NE(beside.Window(), nullptr);
        EXPECT_EQ(MainWindows(), 2);
        EXPECT_EQ(WaitForEnd(beside), kDone);
        EXPECT_TRUE(beside.Exit());
    }

    // The first run was not disturbed; once it has ended, a start works as usual.
    EXPECT_EQ(WaitForEnd(first), kDone);
    EXPECT_EQ(first.Console(),
              (std::vector<std::string>{"Buscando Actualizaciones...", "Iniciando, se instalaran 1 actualizaciones.",
                                        "Instalando actualizacion 1...", "Listo.", kDone}));
    EXPECT_EQ(inst.Version(), " 1 \r\n");
    EXPECT_TRUE(first.Exit());
    UpdaterRun again(inst.Path("Updater.exe"));
    ASSERT_NE(again.Window(), nullptr);
    EXPECT_EQ(WaitForEnd(again), kDone);
    EXPECT_TRUE(again.Exit());
}

}  // namespace
