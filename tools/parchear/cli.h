// The command line of parchear: the three commands, their help and their exit codes.
#pragma once

#include <string>
#include <vector>

#include "core/file_system.h"
#include "tools/parchear/refusal.h"

namespace parchear {

enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 1,     // unknown command or wrong arguments
    kExitRefused = 2,   // the input cannot be used; nothing was changed
    kExitDisk = 3,      // a read or write (or the system's cryptography) failed
    kExitProblems = 4,  // comprobar found problems on the server
};

// The text of --help.
std::string HelpText();

// Runs one command line (args without the program name); every error is reported here.
int Run(const std::vector<std::string>& args, core::FileSystem& fs, Console& console);

}  // namespace parchear
