// The error box at the program's edge: an error that reaches an event handler is shown once,
// with its number and Spanish description, and the program ends with a non-zero code.
#pragma once

#include <exception>
#include <string>

#include "updater/update/platform.h"

namespace window {

struct FailureReport {
    std::string text;
    int exitCode = 1;
};

// core::RuntimeError: "Error <n>: <description>", exit code n. Any other exception: a
// generic Spanish text with its (shortened) detail, exit code 1.
FailureReport DescribeFailure(std::exception_ptr error);

// The log's line for it: the box's text, then the detail the box hides (a path, the system's code).
std::string FailureEvent(std::exception_ptr error);

// Writes FailureEvent to log, shows the box, captioned with the program's title, and ends the program.
[[noreturn]] void ReportAndEnd(std::exception_ptr error, update::Dialogs& dialogs, update::Log& log = update::NoLog());

}  // namespace window
