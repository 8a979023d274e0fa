// Patch download with progress: the body goes to a file in 1 KiB reads while the window's
// label and bar follow the whole-number percentage.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "core/outcome.h"
#include "updater/update/platform.h"

namespace update {

inline constexpr std::size_t kChunkBytes = 1024;
inline constexpr std::int32_t kFullBarTwips = 8070;

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

// A download's outcome, plus the end of the program when the server gave no archive size.
struct DownloadResult : core::Outcome {
    std::optional<ProgramEnd> end;

    static DownloadResult Failure(std::string why, std::optional<ProgramEnd> ending = std::nullopt) {
        DownloadResult result;
        result.ok = false;
        result.reason = std::move(why);
        result.end = std::move(ending);
        return result;
    }
};

// Downloads url into target. Any transfer or file fault returns a failure with the partial
// file removed and the bar back at 0. A response without Content-Length returns a failure
// whose end carries the administrator message and exit status 1, with nothing written. A
// Content-Length that is not a number or out of the 32-bit range raises TypeMismatch /
// Overflow. A Content-Length other than listedSize fails before the body is read.
DownloadResult DownloadPatch(Platform& platform, const std::string& url, const std::string& target,
                             std::optional<std::int64_t> listedSize = std::nullopt);

}  // namespace update
