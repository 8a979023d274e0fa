// Updater.log: what support reads after a player's report, one event a line after the local time
// it happened. Writing it never makes a run fail, and nothing secret is ever written to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/file_system.h"

namespace update {

// Where the run's events go: UTF-8 text without timestamp or line break.
class Log {
public:
    virtual ~Log() = default;
    // Never raises: a line that cannot be written is lost.
    virtual void Write(std::string_view event) noexcept = 0;
};

// For the runs nobody reads (tests, tools).
class NullLog final : public Log {
public:
    void Write(std::string_view) noexcept override {}
};
// One shared NullLog: the default of the services that take a log.
Log& NoLog();

// The machine's local time to the millisecond, as the player's clock shows it.
struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};
class WallClock {
public:
    virtual ~WallClock() = default;
    virtual LocalTime Now() = 0;
};

// "2026-12-09 22:10:03.123 " + the event + CR LF. Control characters become spaces, bytes that
// are not UTF-8 become U+FFFD, and an event past kMaxEventBytes is cut at a character with "...".
inline constexpr std::size_t kMaxEventBytes = 4000;
std::string LogLine(const LocalTime& time, std::string_view event);

// The URL without the user name and password it may carry ("https://u:p@host/" -> "https://host/").
std::string WithoutCredentials(std::string_view url);

// installFolder + "\Recursos\OUTPUT\Updater.log", beside Update.ini, and the older file it becomes.
std::string LogFilePath(const std::string& installFolder);
std::string OlderLogFilePath(const std::string& installFolder);
inline constexpr std::uint64_t kLogFileLimit = 512 * 1024;

// The log as two files of at most limit bytes: each line is added to path; a line that would take
// it past limit first makes it the older file (replacing that one) and starts path anew. Each new
// file starts with the UTF-8 byte order mark, so that every Notepad reads it as UTF-8. When the
// older file cannot be replaced, path starts anew without it: the newest events matter most.
class FileLog final : public Log {
public:
    FileLog(core::FileSystem& fs, std::string path, std::string olderPath, WallClock& clock,
            std::uint64_t limit = kLogFileLimit)
        : m_fs(fs), m_path(std::move(path)), m_older(std::move(olderPath)), m_clock(clock), m_limit(limit) {}
    void Write(std::string_view event) noexcept override;

private:
    core::FileSystem& m_fs;
    std::string m_path;
    std::string m_older;
    WallClock& m_clock;
    std::uint64_t m_limit;
};

}  // namespace update
