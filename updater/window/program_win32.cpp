#include "updater/window/program_win32.h"

#include <cstdlib>
#include <exception>

#include "core/file_system.h"
#include "core/numeric.h"
#include "core/text_win32.h"
#include "updater/base_url.h"
#include "updater/update/http_client_win32.h"
#include "updater/update/http_log.h"
#include "updater/update/log.h"
#include "updater/update/mensajes.h"
#include "updater/update/mod_unzip.h"
#include "updater/update/own_files_win32.h"
#include "updater/update/update_run.h"
#include "updater/window/actions.h"
#include "updater/window/command_line.h"
#include "updater/window/failure_report.h"
#include "updater/window/frm_main_win32.h"
#include "updater/window/message_pump_win32.h"
#include "updater/window/run_log.h"
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

// The limits of network waits. Test builds only: VANDREL_NETWORK_DIVISOR divides them all.
update::NetworkLimits NetworkLimitsForRun() {
    update::NetworkLimits limits;
#ifdef VANDREL_TEST_HOOKS
    if (const char* text = std::getenv("VANDREL_NETWORK_DIVISOR")) {
        const long divisor = std::strtol(text, nullptr, 10);
        if (divisor > 1 && divisor <= 100) limits = limits.DividedBy(static_cast<std::uint64_t>(divisor));
    }
#endif
    return limits;
}

}  // namespace

int RunUpdater(HINSTANCE instance, int showCommand, const std::vector<std::string>& publicKeys,
               const wchar_t* arguments) {
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

    // Updater.log beside Update.ini: every box and the end of the program go through it.
    Win32WallClock wallClock;
    update::FileLog log(core::RealFileSystem(), update::LogFilePath(folder), update::OlderLogFilePath(folder),
                        wallClock);
    Win32Clock clock;
    Win32Dialogs boxes;
    LoggedDialogs dialogs(boxes, log, clock);
    try {
        log.Write(StartEvent(update::kProgramVersion, core::RealFileSystem(), folder, UserDecimalSeparator(),
                             update::kBaseUrl, publicKeys.size()));
        const update::TrustedKeys keys = update::ParseTrustedKeys(publicKeys);
        const std::string commandLine = core::WideToUtf8(arguments != nullptr ? arguments : L"");
        const StartOptions options = ReadCommandLine(commandLine, !keys.empty());
        if (!commandLine.empty()) {
            log.Write("Línea de órdenes: " + commandLine + (options.run.fullCheck ? " (comprobación completa)" : ""));
        }
        window::Win32MessagePump pump;
        Win32Sound sound;
        Win32Sleeper sleeper;
        update::WinInetClient wininet(NetworkTimeoutMs(), &pump, &clock);
        update::LoggedHttpClient http(wininet, log);
        ShellLauncher launcher;
        ConsoleDocument console;
        FrmMain frmMain(instance, console);

        update::Platform platform{
            core::RealFileSystem(), http, console, frmMain, pump, sound, sleeper, clock, launcher, folder,
            UserDecimalSeparator(), log};
        platform.limits = NetworkLimitsForRun();
        platform.held = &ownFiles;
        update::cDirImage dir(platform);
        modUnzip::RegisterDirImage(dir);
        modUnzip::ZipExtractor extractor(platform.fs, dialogs, unzip::SystemNameDecoder(), &ownFiles);

        StartupSequence startup(frmMain, frmMain, [&] {
            const std::uint64_t start = clock.NowMs();
            if (!options.notice.empty())
                modUnzip::DirImage().AddConsole(options.notice, 200, 200, 200, true, false, false);
            const auto end =
                update::BuscarActualizaciones(modUnzip::DirImage(), extractor, update::kBaseUrl, keys, options.run);
            log.Write("Búsqueda de actualizaciones: " +
                      core::DecimalText(static_cast<std::int64_t>(clock.NowMs() - start)) + " ms en total");
            if (end) EndAsAsked(*end, dialogs);
        });
        FrmMain::Handlers handlers;
        handlers.tick = [&] { startup.Tick(); };
        handlers.play = [&] { PlayGame(modUnzip::DirImage(), dialogs); };
        handlers.exit = [&] { ExitProgram(dialogs); };
        handlers.failure = [&](std::exception_ptr error) { ReportAndEnd(error, dialogs, log); };
        frmMain.Create(std::move(handlers));
        boxes.SetOwner(frmMain.Hwnd());
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
        ReportAndEnd(std::current_exception(), dialogs, log);
    }
}

}  // namespace window
