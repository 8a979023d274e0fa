#include "updater/window/startup.h"

namespace window {

void StartupSequence::Load(const std::function<void()>& revealConsole) {
    m_progress.SetBarVisible(false);
    m_progress.SetBarWidthTwips(0.0f);
    revealConsole();
    m_timer.Enable();
}

void StartupSequence::Tick() {
    if (m_started) return;
    m_started = true;
    m_progress.SetBarVisible(true);
    m_run();
    m_timer.Disable();
    m_finished = true;
}

}  // namespace window
