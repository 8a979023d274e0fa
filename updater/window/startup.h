// frmMain's load step and Timer1's tick: the one update run per start of the program.
#pragma once

#include <functional>

#include "updater/update/platform.h"

namespace window {

// Timer1: a 500 ms timer that raises ticks on the window's thread while enabled.
class StartupTimer {
public:
    virtual ~StartupTimer() = default;
    virtual void Enable() = 0;
    virtual void Disable() = 0;
};

inline constexpr unsigned kTimer1IntervalMs = 500;

class StartupSequence {
public:
    // run: the update run (BuscarActualizaciones with its extractor and base URL).
    StartupSequence(update::ProgressView& progress, StartupTimer& timer, std::function<void()> run)
        : m_progress(progress), m_timer(timer), m_run(std::move(run)) {}

    // Load step: bar hidden, bar width 0, revealConsole (shows RichTextBox1, makes it
    // see-through), Timer1 enabled.
    void Load(const std::function<void()>& revealConsole);

    // Tick: the first one shows the bar, runs the update to its end and disables Timer1.
    // A tick during the run (the download lets messages through), after it, or after a run
    // that raised (its error box runs a message loop) starts nothing.
    void Tick();

    bool Started() const { return m_started; }
    bool Finished() const { return m_finished; }

private:
    update::ProgressView& m_progress;
    StartupTimer& m_timer;
    std::function<void()> m_run;
    bool m_started = false;
    bool m_finished = false;
};

}  // namespace window
