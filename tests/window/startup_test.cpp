// The load step and Timer1's tick: order of the steps, one run per start whatever ticks
// arrive, and what follows a run that raised.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "updater/window/startup.h"

namespace {

// Records every step of the progress view, the timer, the console and the run in one list.
struct Journal final : update::ProgressView, window::StartupTimer {
    void SetCaption(const std::string& c) override { steps.push_back("caption " + c); }
    void SetBarWidthTwips(float w) override { steps.push_back("width " + std::to_string(static_cast<int>(w))); }
    void SetBarVisible(bool v) override { steps.push_back(v ? "bar shown" : "bar hidden"); }
    void Enable() override { steps.push_back("timer on"); }
    void Disable() override { steps.push_back("timer off"); }
    std::vector<std::string> steps;
};

TEST(Startup, LoadStepInItsOrder) {
    Journal j;
    window::StartupSequence seq(j, j, [&] { j.steps.push_back("run"); });
    seq.Load([&] { j.steps.push_back("console shown"); });
    EXPECT_EQ(j.steps, (std::vector<std::string>{"bar hidden", "width 0", "console shown", "timer on"}));
    EXPECT_FALSE(seq.Started());
}

TEST(Startup, FirstTickRunsOnceThenTheTimerGoesOff) {
    Journal j;
    window::StartupSequence* self = nullptr;
    int runs = 0;
    window::StartupSequence seq(j, j, [&] {
        ++runs;
        j.steps.push_back("run");
        self->Tick();  // ticks that the download's message pump lets through
        self->Tick();
    });
    self = &seq;
    seq.Tick();
    seq.Tick();  // a tick already queued when the timer went off
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(j.steps, (std::vector<std::string>{"bar shown", "run", "timer off"}));
    EXPECT_TRUE(seq.Finished());
}

TEST(Startup, ARunThatRaisesStartsNoSecondRun) {
    Journal j;
    int runs = 0;
    window::StartupSequence seq(j, j, [&] {
        ++runs;
        throw std::runtime_error("falla");
    });
    EXPECT_THROW(seq.Tick(), std::runtime_error);
    // The error box's own message loop still delivers ticks: none may start the run again.
    seq.Tick();
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(seq.Started());
    EXPECT_FALSE(seq.Finished());
}

}  // namespace
