// parchear's entry point: the arguments as UTF-8 (from the wide command line on Windows).
#include <iostream>
#include <string>
#include <vector>

#include "tools/parchear/cli.h"

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "core/text_win32.h"
#endif

namespace {

std::vector<std::string> Arguments([[maybe_unused]] int argc, [[maybe_unused]] char** argv) {
    std::vector<std::string> args;
#ifdef _WIN32
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return args;
    for (int i = 1; i < count; ++i) args.push_back(core::WideToUtf8(wide[i]));
    LocalFree(wide);
#else
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
#endif
    return args;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // The messages are UTF-8; a console left in its OEM code page would garble the accents.
    if (!SetConsoleOutputCP(CP_UTF8)) {
        // Not a console (output redirected): the bytes go out as UTF-8 all the same.
    }
#endif
    parchear::Console console{std::cout, std::cerr};
    return parchear::Run(Arguments(argc, argv), core::RealFileSystem(), console);
}
