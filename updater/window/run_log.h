// What the program itself writes to Updater.log: its start, its boxes and its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/file_system.h"
#include "updater/update/log.h"
#include "updater/update/platform.h"

namespace window {

// "Inicio de Updater <version> en <folder>; versión instalada <n>; servidor <url>; claves
// incorporadas: <count>". The installed version is read here without raising: an unreadable
// version file is named with its error, which the run then reports as usual.
std::string StartEvent(std::string_view programVersion, core::FileSystem& fs, const std::string& folder,
                       char decimalSeparator, std::string_view baseUrl, std::size_t keys);

// The program's boxes and its end, in the log: each box's text, then the exit code with the time
// since startMs (of clock).
class LoggedDialogs final : public update::Dialogs {
public:
    LoggedDialogs(update::Dialogs& inner, update::Log& log, update::Clock& clock)
        : m_inner(inner), m_log(log), m_clock(clock), m_startMs(clock.NowMs()) {}
    void ShowMessage(const std::string& text, const std::string& caption, core::BoxStyle style) override;
    [[noreturn]] void EndProgram(int exitCode) override;

private:
    update::Dialogs& m_inner;
    update::Log& m_log;
    update::Clock& m_clock;
    std::uint64_t m_startMs;
};

}  // namespace window
