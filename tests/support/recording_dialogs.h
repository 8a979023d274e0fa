// A recording stand-in for Updater's message boxes and program end, for the native tests.
#pragma once

#include <string>
#include <vector>

#include "updater/update/platform.h"

namespace testsupport {

// Thrown by EndProgram so that a test can see the program end.
struct ProgramEnded {
    int exitCode;
};

class RecordingDialogs final : public update::Dialogs {
public:
    struct Box {
        std::string text, caption;
        unsigned style;
    };
    void ShowMessage(const std::string& text, const std::string& caption, core::BoxStyle style) override {
        boxes.push_back({text, caption, static_cast<unsigned>(style)});
    }
    [[noreturn]] void EndProgram(int exitCode) override { throw ProgramEnded{exitCode}; }
    std::vector<Box> boxes;
};

}  // namespace testsupport
