// Updater's command line. "/reparar" (any case, or "-reparar"), as a shortcut or the game may
// give it, asks the run to check every installed file's content against the signed state and
// repair what differs. Every other word is ignored, as it always was.
#pragma once

#include <string>
#include <string_view>

#include "updater/update/update_run.h"

namespace window {

struct StartOptions {
    update::RunOptions run;
    // A console line for the player before the run (empty for none): a repair asked of an
    // Updater without built-in keys, which has no signed state to check against.
    std::string notice;
};

// arguments: the command line after the program's name (UTF-8), words split at blanks and tabs
// with double quotes removed, as Windows programs read theirs.
StartOptions ReadCommandLine(std::string_view arguments, bool keyed);

}  // namespace window
