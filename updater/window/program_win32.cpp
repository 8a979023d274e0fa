#include "updater/window/program_win32.h"

#include <cstdlib>
#include <exception>

#include "core/file_system.h"
#include "core/text_win32.h"
#include "updater/base_url.h"
#include "updater/update/http_client_win32.h"
#include "updater/update/mensajes.h"
#include "updater/update/mod_unzip.h"
#include "updater/update/own_files_win32.h"
#include "updater/update/update_run.h"
#include "updater/window/actions.h"
#include "updater/window/failure_report.h"
#include "updater/window/frm_main_win32.h"
#include "updater/window/message_pump_win32.h"
#include "updater/window/seams_win32.h"
#include "updater/window/single_instance_win32.h"

namespace window {
namespace {

// WinINet's connect, send and receive time-out. Test builds only: VANDREL_TIMEOUT_MS shortens it.
DWORD NetworkTimeoutMs() {
    constexpr DWORD kPlayers = 30000;
#ifdef VANDREL_TEST_HOOKS
    if (const char* text = std::getenv("VANDREL_TIMEOUT_MS")) {
        const long ms = std::strtol(text, nullptr, 10);
        if (ms > 0 && ms < static_cast<long>(kPlayers)) return static_cast<DWORD>(ms);
    }
#endif
    return kPlayers;
}

}  // namespace

int RunUpdater(HINSTANCE instance, int showCommand, const std::vector<std::string>& publicKeys) {
    // A second start for the same folder hands over to the running Updater and ends. When no
    // window of it appears (a hung Updater, or another program holding the lock), the player is
    // told why nothing starts.
    const std::string folder = core::ExecutableFolder();
    const InstanceLock lock(folder);
    if (!lock.First()) {
        if (!BringRunningToFront(folder, 5000)) {
            Win32Dialogs dialogs;
            dialogs.ShowMessage(update::mensajes::kOtroUpdater, update::mensajes::kTitulo, core::BoxStyle::Exclamation);
        }
        return 0;
    }
    // Known by identity before anything moves: a module's name stays the one it was loaded from.
    update::ProcessFiles ownFiles;
    // What an earlier replacement of Updater itself left: the old copy, or no Updater.exe.
    update::RepairOwnFile(core::RealFileSystem(), update::RunningProgramPath());

    Win32Dialogs dialogs;
    try {
        const update::TrustedKeys keys = update::ParseTrustedKeys(publicKeys);
        window::Win32MessagePump pump;
        Win32Sound sound;
        Win32Sleeper sleeper;
        Win32Clock clock;
        update::WinInetClient http(NetworkTimeoutMs(), &pump, &clock);
        ShellLauncher launcher;
        ConsoleDocument console;
        FrmMain frmMain(instance, console);

        update::Platform platform{
            core::RealFileSystem(), http, console, frmMain, pump, sound, sleeper, clock, launcher, folder,
            UserDecimalSeparator()};
        update::cDirImage dir(platform);
        modUnzip::RegisterDirImage(dir);
        modUnzip::ZipExtractor extractor(platform.fs, dialogs, unzip::SystemNameDecoder(), &ownFiles);

        StartupSequence startup(frmMain, frmMain, [&] {
            const auto end = update::BuscarActualizaciones(modUnzip::DirImage(), extractor, update::kBaseUrl, keys);
            if (end) EndAsAsked(*end, dialogs);
        });
        FrmMain::Handlers handlers;
        handlers.tick = [&] { startup.Tick(); };
        handlers.play = [&] { PlayGame(modUnzip::DirImage(), dialogs); };
        handlers.exit = [&] { ExitProgram(dialogs); };
        handlers.failure = [&](std::exception_ptr error) { ReportAndEnd(error, dialogs); };
        frmMain.Create(std::move(handlers));
        dialogs.SetOwner(frmMain.Hwnd());
        launcher.SetOwner(frmMain.Hwnd());

        startup.Load([&] { frmMain.Console().Reveal(); });
        frmMain.Show(showCommand);

        MSG msg;
        BOOL got;
        while ((got = ::GetMessageW(&msg, nullptr, 0, 0)) != 0 && got != -1) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        return got == -1 ? 1 : static_cast<int>(msg.wParam);
    } catch (...) {
        ReportAndEnd(std::current_exception(), dialogs);
    }
}

}  // namespace window
