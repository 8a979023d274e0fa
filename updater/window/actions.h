// The ways the window ends the program: the Play and Exit click areas (Play after starting the
// game), and the end a download asked for.
#pragma once

#include "updater/update/dir_image.h"
#include "updater/update/download.h"

namespace window {

inline constexpr int kGameNotStartedExitCode = 2;

// ImgJugar: Shell, then the end (exit code 0); when the shell fails, a message box first and
// exit code kGameNotStartedExitCode.
[[noreturn]] void PlayGame(update::cDirImage& dir, update::Dialogs& dialogs);

// ImgSalir: ends the program at once (exit code 0).
[[noreturn]] void ExitProgram(update::Dialogs& dialogs);

// The end an update run returned: its box (OK only, no icon, the program's title), then its
// exit status.
[[noreturn]] void EndAsAsked(const update::ProgramEnd& end, update::Dialogs& dialogs);

}  // namespace window
