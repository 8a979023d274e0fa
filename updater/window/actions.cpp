#include "updater/window/actions.h"

#include <cstdlib>

namespace window {

void PlayGame(update::cDirImage& dir) {
    update::Dialogs& dialogs = dir.Services().dialogs;
    if (dir.Shell()) dialogs.EndProgram(0);
    dialogs.ShowMessage(kGameNotStartedText, update::kAppTitle, kGameNotStartedStyle);
    dialogs.EndProgram(kGameNotStartedExitCode);
    std::abort();  // EndProgram does not return; the compiler cannot see that through the seam
}

void ExitProgram(update::Dialogs& dialogs) {
    dialogs.EndProgram(0);
    std::abort();
}

}  // namespace window
