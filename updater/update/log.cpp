#include "updater/update/log.h"

#include <cstdio>

#include "core/runtime_error.h"
#include "core/utf8.h"

namespace update {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Zero-padded decimal of width digits (values here are never negative).
void AppendPadded(std::string& out, int value, int width) {
    char digits[16];
    const int n = std::snprintf(digits, sizeof digits, "%0*d", width, value < 0 ? 0 : value);
    if (n > 0) out.append(digits, static_cast<std::size_t>(n));
}

}  // namespace

Log& NoLog() {
    static NullLog log;
    return log;
}

std::string LogLine(const LocalTime& t, std::string_view event) {
    std::string line;
    line.reserve(event.size() + 32);
    // "2026-12-09 22:10:03.123 ": each field padded to its width, then its separator.
    const struct {
        int value, width;
        char after;
    } fields[] = {{t.year, 4, '-'},   {t.month, 2, '-'},  {t.day, 2, ' '},        {t.hour, 2, ':'},
                  {t.minute, 2, ':'}, {t.second, 2, '.'}, {t.millisecond, 3, ' '}};
    for (const auto& f : fields) {
        AppendPadded(line, f.value, f.width);
        line += f.after;
    }
    const std::size_t start = line.size();
    for (std::size_t i = 0; i < event.size();) {
        const char32_t cp = core::DecodeUtf8(event, i);
        if (line.size() - start >= kMaxEventBytes) {
            line += "...";
            break;
        }
        core::AppendUtf8(line, cp < 0x20 || cp == 0x7F ? U' ' : cp);
    }
    line += "\r\n";
    return line;
}

std::string WithoutCredentials(std::string_view url) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string_view::npos) return std::string(url);
    const std::size_t hostStart = scheme + 3;
    const std::size_t hostEnd = url.find_first_of("/?#", hostStart);
    const std::string_view authority = url.substr(hostStart, hostEnd - hostStart);
    const std::size_t at = authority.rfind('@');
    if (at == std::string_view::npos) return std::string(url);
    std::string out(url.substr(0, hostStart));
    out += url.substr(hostStart + at + 1);
    return out;
}

std::string LogFilePath(const std::string& installFolder) { return installFolder + "\\Recursos\\OUTPUT\\Updater.log"; }

std::string OlderLogFilePath(const std::string& installFolder) {
    return installFolder + "\\Recursos\\OUTPUT\\Updater.anterior.log";
}

void FileLog::Write(std::string_view event) noexcept {
    try {
        const std::string line = LogLine(m_clock.Now(), event);
        std::uint64_t size = m_fs.FileExists(m_path) ? m_fs.FileSize(m_path) : 0;
        if (size > 0 && size + line.size() > m_limit) {
            try {
                m_fs.Replace(m_path, m_older);
            } catch (const core::RuntimeError&) {
                m_fs.CreateFile(m_path);
            }
            size = 0;
        }
        const std::string bytes = size == 0 ? std::string(kByteOrderMark) + line : line;
        m_fs.AppendFile(m_path)->Write(bytes.data(), bytes.size());
    } catch (...) {
        // The log never stops a run.
    }
}

}  // namespace update
