// Patch download with progress: the body goes to a file in 1 KiB reads while the window's
// label and bar follow the whole-number percentage. A transient fault is retried, continuing
// from the bytes already on disk when the server can say the file is still the same one.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "core/file_system.h"
#include "core/outcome.h"
#include "updater/update/http_client.h"
#include "updater/update/platform.h"

namespace update {

inline constexpr std::size_t kChunkBytes = 1024;
inline constexpr std::int32_t kFullBarTwips = 8070;
// Attempts in a row that bring no new byte before a download gives up.
inline constexpr int kMaxAttempts = 5;
// The longest wait a server's Retry-After obtains, in seconds.
inline constexpr unsigned kMaxRetryAfterSeconds = 30;

// "[" + p + "% Completado.]".
std::string PercentCaption(std::int32_t percent);
// p * 8070 / 100 (product checked in 32 bits, division in double, result as float).
float BarWidthTwips(std::int32_t percent);
// total / announced * 100, rounded half to even. announced must be positive.
std::int32_t Percent(double total, std::int32_t announced);

// The end of the program that a download asks for: a box with this text (caption mensajes::kTitulo,
// OK only), then the exit status. The window's edge shows it; nothing below it ends the process.
struct ProgramEnd {
    std::string message;
    int exitCode = 0;
};

// How a failed download ends: this patch stops the run (a red line), or the program ends with a
// box showing the reason and exit status 1 (the server gave no archive size), or the disk cannot
// hold the archive (the reason is the whole red line; the partial archive and its record stay).
enum class DownloadFailure { Patch, Program, NoRoom };
using DownloadResult = core::Result<std::monostate, DownloadFailure>;

// What a download uses of the outside world.
struct DownloadServices {
    core::FileSystem& fs;
    HttpClient& http;
    ProgressView& progress;
    // Runs after every chunk and through the waits between attempts (repaints, Play, Exit).
    MessagePump& pump;
    // The waits between attempts, taken in short slices until the clock says they are over.
    Sleeper& sleeper;
    Clock& clock;
    char decimalSeparator = '.';
    // Shows the console line that announces another attempt; may be empty.
    std::function<void(const std::string&)> announce;
    // Asked before the body of an archive is written, with the bytes still to come: the red line
    // when the disk cannot hold them, nothing when it can. May be empty (no check).
    std::function<std::optional<std::string>(std::uint64_t)> roomFor = nullptr;
    // How long the network may keep the download waiting.
    NetworkLimits limits{};
};

// Downloads url into target. Transient faults (no connection, reset, time-out, a short body,
// 408/429/5xx of the usual kinds, a pace below kMinBytesPerSecond) are retried: at most
// kMaxAttempts in a row without progress and never past kGiveUpMs without it
// (network_deadline.h), 1, 2, 4, 8 s apart (or the server's Retry-After, up to 30 s), each
// announced. Every call returns by its deadline while the window stays alive. Later
// attempts continue with Range/If-Range when the file has a strong validator; a record
// beside target lets the next start continue as well. When the attempts are used up the
// partial file and its record stay (if it can be continued); any other fault removes both.
// Every failure leaves the bar at 0. A response without Content-Length returns a Program
// failure with the administrator message. A Content-Length that is
// not a number or out of the 32-bit range raises TypeMismatch / Overflow. With listedSize (the
// signed list's), an archive of any other total fails before its body is read, and a partial
// file recorded for another total is not continued. When roomFor refuses the bytes still to come,
// the download ends as NoRoom before writing, keeping what is on disk.
DownloadResult DownloadPatch(DownloadServices& services, const std::string& url, const std::string& target,
                             std::optional<std::int64_t> listedSize = std::nullopt);

}  // namespace update
