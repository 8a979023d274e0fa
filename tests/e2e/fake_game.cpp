// A stand-in for the game: writes the arguments it was started with, one per line, to
// juego_iniciado.txt beside itself, then ends.
#include <windows.h>

#include <shellapi.h>

#include <fstream>
#include <string>

#include "core/text_win32.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int count = 0;
    LPWSTR* args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!args) return 1;
    std::string text;
    for (int i = 1; i < count; ++i) {
        text += core::WideToUtf8(args[i]);
        text += "\n";
    }
    ::LocalFree(args);
    const std::wstring path = core::Utf8ToWide(core::ExecutableFolder() + "\\juego_iniciado.txt");
    std::ofstream(path.c_str(), std::ios::binary) << text;
    return 0;
}
