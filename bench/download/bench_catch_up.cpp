// One update run of FOLDER\Updater.exe, driven as a player would (started, left to its closing
// console line, then Salir), for the catch-up row of the download benchmark; the run's time is
// what Updater.log says it took.
//   bench_catch_up FOLDER
// Prints the console's last line.
#include <windows.h>

#include <cstdio>

#include "tests/support/files.h"
#include "tests/support/updater_harness.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_catch_up FOLDER\n");
        return 2;
    }
    harness::UpdaterRun run;
    if (!run.Start(std::filesystem::path(argv[1]) / L"Updater.exe")) {
        std::fprintf(stderr, "no Updater window\n");
        return 1;
    }
    const harness::RunEnd end = run.WaitForEnd(600000);
    run.Exit();
    std::printf("last=%s%s\n", end.lines.empty() ? "" : end.lines.back().c_str(),
                end.failure.empty() ? "" : (" failure=" + end.failure).c_str());
    return end.failure.empty() ? 0 : 1;
}
