// The real services behind Updater's seams: message boxes and the end of the process, the
// completion sound, the console's pause and the clock of its waits and the shell that starts the game.
#pragma once

#include <windows.h>

#include "updater/update/platform.h"

namespace window {

// Message boxes owned by the main window (disabled while a box is up, as a modal box wants).
class Win32Dialogs final : public update::Dialogs {
public:
    void SetOwner(HWND owner) { m_owner = owner; }
    void ShowMessage(const std::string& text, const std::string& caption, core::BoxStyle style) override;
    [[noreturn]] void EndProgram(int exitCode) override;

private:
    HWND m_owner = nullptr;
};

class Win32Sound final : public update::Sound {
public:
    void PlayFileSync(const std::string& path) override;
};

class Win32Sleeper final : public update::Sleeper {
public:
    void SleepMs(unsigned milliseconds) override { ::Sleep(milliseconds); }
};

class Win32Clock final : public update::Clock {
public:
    std::uint64_t NowMs() override { return ::GetTickCount64(); }
};

// GetLocalTime, for the log's timestamps.
class Win32WallClock final : public update::WallClock {
public:
    update::LocalTime Now() override {
        SYSTEMTIME t{};
        ::GetLocalTime(&t);
        return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
    }
};

// ShellExecute with the main window as the owner of whatever the shell shows.
class ShellLauncher final : public update::Launcher {
public:
    void SetOwner(HWND owner) { m_owner = owner; }
    bool ShellOpen(const std::string& file, const std::string& parameters, const std::string& directory) override;

private:
    HWND m_owner = nullptr;
};

// The user's decimal separator (LOCALE_SDECIMAL); '.' when it is not one ASCII character.
char UserDecimalSeparator();

}  // namespace window
