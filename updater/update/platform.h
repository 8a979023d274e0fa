// The services that Updater's logic needs from the outside world: the program creates the real
// ones once at start-up and hands them to cDirImage, which alone uses the bundle; tests pass fakes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "core/file_system.h"
#include "core/message_box.h"
#include "updater/unzip/held_files.h"
#include "updater/update/console.h"
#include "updater/update/http_client.h"
#include "updater/update/log.h"
#include "updater/update/network_deadline.h"

namespace update {

// The window's percentage label and progress bar.
class ProgressView {
public:
    virtual ~ProgressView() = default;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void SetBarWidthTwips(float twips) = 0;
    virtual void SetBarVisible(bool visible) = 0;
};

// Lets the window handle the messages that are waiting (clicks, paints).
class MessagePump {
public:
    virtual ~MessagePump() = default;
    virtual void ProcessPending() = 0;
};

// Modal message boxes and the end of the program.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual void ShowMessage(const std::string& text, const std::string& caption, core::BoxStyle style) = 0;
    // Ends the process at once; nothing after this call runs.
    [[noreturn]] virtual void EndProgram(int exitCode) = 0;
};

class Sound {
public:
    virtual ~Sound() = default;
    // Plays a sound file to its end (the system's default sound when it cannot be played).
    virtual void PlayFileSync(const std::string& path) = 0;
};

// Sleeps in the thread that runs the update (the console's pause, the waits between attempts).
class Sleeper {
public:
    virtual ~Sleeper() = default;
    virtual void SleepMs(unsigned milliseconds) = 0;
};

// Milliseconds of a monotonic clock: a wait lasts what it says however long each slice sleeps.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::uint64_t NowMs() = 0;
};

// Waits ms by the clock in slices of at most sliceMs, the window handling its messages after
// each: Play and Exit answer within a slice, however long the wait.
inline void WaitPumping(Sleeper& sleeper, Clock& clock, MessagePump& pump, unsigned ms, unsigned sliceMs) {
    const std::uint64_t start = clock.NowMs();
    for (std::uint64_t waited = 0; waited < ms;) {
        sleeper.SleepMs(static_cast<unsigned>(std::min<std::uint64_t>(sliceMs, ms - waited)));
        pump.ProcessPending();
        waited = clock.NowMs() - start;
    }
}

class Launcher {
public:
    virtual ~Launcher() = default;
    // Asks the shell to open file with parameters; false when the shell reports failure.
    virtual bool ShellOpen(const std::string& file, const std::string& parameters, const std::string& directory) = 0;
};

struct Platform {
    core::FileSystem& fs;
    HttpClient& http;
    update::RichTextBox& console;
    ProgressView& progress;
    MessagePump& pump;
    Sound& sound;
    Sleeper& sleeper;
    Clock& clock;
    Launcher& launcher;
    // Installation folder without a trailing separator (UTF-8).
    std::string installFolder;
    // The user's decimal separator for the version file's conversion.
    char decimalSeparator = '.';
    // Updater.log (the program's), or no log.
    Log& log = NoLog();
    // How long network waits may last (the players' limits outside tests).
    NetworkLimits limits{};
    // The running program's own files, which a catch-up replaces their own way (none in tests
    // that do not replace them).
    unzip::HeldFiles* held = nullptr;
};

}  // namespace update
