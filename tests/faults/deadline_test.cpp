// Servers that stop answering, under Wine: how long each keeps Updater from its red line, and how
// fast its window, Salir and Jugar answer meanwhile. The test build runs with every network limit
// divided by ten (VANDREL_NETWORK_DIVISOR, VANDREL_TIMEOUT_MS, set by CMake): 3 s calls and a 9 s
// budget without progress, where players have 30 s and 90 s. Without the budget a stalled patch
// took six time-outs plus the waits between them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "tests/faults/installation.h"

namespace faults {
namespace {

TEST(UpdaterDeadlines, StalledServersAreGivenUpInTimeWithTheWindowAlive) {
    const fs::path served = FromUnix("VANDREL_TEST_ROOT"), parches = served / "parches";
    ASSERT_FALSE(served.empty()) << "run through tests/wine/run-with-servers";
    const struct {
        const char* file;  // in parches/: the server's mode is its extension
        const char* redLine;
        ULONGLONG limitMs;  // from the click that starts Updater, start-up included
    } rows[] = {
        {"version.txt.silent", "No se pudo conectar con el servidor", 12000},
        {"2.zip.silent", "No se pudo instalar la actualizacion 2: el servidor no respondió a tiempo.", 16000},
        {"2.zip.stall", "No se pudo instalar la actualizacion 2: ", 16000},
    };
    for (const auto& row : rows) {
        fs::remove_all(parches);
        WriteBytes(parches / (row.file[0] == 'v' ? row.file : "version.txt"), "3\r\n");
        if (row.file[0] != 'v') fs::copy_file(fs::path(FAULTS_DATA_DIR) / "2.zip", parches / row.file);
        fs::copy_file(fs::path(FAULTS_DATA_DIR) / "3.zip", parches / "3.zip");
        GameWithNeighbour inst(served.parent_path() / "instalaciones", row.file);
        ULONGLONG slowest = 0;  // of a message's round trip through the window, every 100 ms
        const ULONGLONG started = GetTickCount64();
        ASSERT_TRUE(inst.Start());
        const auto end = inst.WaitForEnd(static_cast<DWORD>(row.limitMs + 10000), [&] {
            const ULONGLONG before = GetTickCount64();
            DWORD_PTR result = 0;
            if (!SendMessageTimeoutW(inst.Window(), WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result)) return "hung";
            slowest = std::max(slowest, GetTickCount64() - before);
            return "";
        });
        const ULONGLONG took = GetTickCount64() - started;
        ASSERT_TRUE(end.failure.empty() && end.lines.back().rfind(row.redLine, 0) == 0) << row.file << end.failure;
        EXPECT_TRUE(inst.Exit());
        ULONGLONG answered[2] = {};  // Salir, Jugar (no Vandrel.exe: its box), clicked a quarter into the wait
        for (const bool play : {false, true}) {
            ASSERT_TRUE(inst.Start());
            Sleep(static_cast<DWORD>(row.limitMs / 4));
            ASSERT_FALSE(harness::ClosesRun(inst.Console().back())) << row.file;
            const ULONGLONG clicked = GetTickCount64();
            inst.Click(play ? harness::kJugar : harness::kSalir);
            EXPECT_TRUE(play ? inst.WaitForBox(5000).has_value() : inst.Process().Wait(5000).has_value());
            answered[play] = GetTickCount64() - clicked;
            inst.Exit();
        }
        std::printf("%s: given up %.1f s after the start; slowest round trip %llu ms; Salir %llu ms, Jugar %llu ms\n",
                    row.file, static_cast<double>(took) / 1000.0, slowest, answered[0], answered[1]);
        EXPECT_LE(took, row.limitMs) << row.file;
        // A round trip under 100 ms is the goal (printed above); a second means the window froze.
        EXPECT_LE(slowest, 1000u) << row.file;
        EXPECT_LE(std::max(answered[0], answered[1]), 1000u) << row.file << ": click to the end or the box";
    }
}

}  // namespace
}  // namespace faults
