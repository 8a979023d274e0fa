// The Play and Exit click areas: both end the program, Play after starting the game.
#pragma once

#include "updater/update/dir_image.h"

namespace window {

inline constexpr const char* kGameNotStartedText = "No se pudo iniciar el juego (Vandrel.exe).";
// MB_OK | MB_ICONERROR.
inline constexpr unsigned kGameNotStartedStyle = 0x10;
inline constexpr int kGameNotStartedExitCode = 2;

// ImgJugar: Shell, then the end (exit code 0); when the shell fails, a message box first and
// exit code kGameNotStartedExitCode.
[[noreturn]] void PlayGame(update::cDirImage& dir);

// ImgSalir: ends the program at once (exit code 0).
[[noreturn]] void ExitProgram(update::Dialogs& dialogs);

}  // namespace window
