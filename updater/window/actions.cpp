#include "updater/window/actions.h"

#include "updater/update/mensajes.h"

#include <cstdlib>

namespace window {

void PlayGame(update::cDirImage& dir, update::Dialogs& dialogs) {
    if (dir.Shell()) dialogs.EndProgram(0);
    dialogs.ShowMessage(update::mensajes::kJuegoNoIniciado, update::mensajes::kTitulo, core::BoxStyle::Error);
    dialogs.EndProgram(kGameNotStartedExitCode);
    std::abort();  // EndProgram does not return; the compiler cannot see that through the seam
}

void ExitProgram(update::Dialogs& dialogs) {
    dialogs.EndProgram(0);
    std::abort();
}

void EndAsAsked(const update::ProgramEnd& end, update::Dialogs& dialogs) {
    dialogs.ShowMessage(end.message, update::mensajes::kTitulo, core::BoxStyle::OkOnly);
    dialogs.EndProgram(end.exitCode);
    std::abort();
}

}  // namespace window
