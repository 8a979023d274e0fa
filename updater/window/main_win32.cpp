// Updater's entry point: the main window is the program.
#include <windows.h>

#include "updater/public_keys.h"
#include "updater/window/program_win32.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR arguments, int showCommand) {
    return window::RunUpdater(instance, showCommand, update::kPublicKeys, arguments);
}
