#include "updater/update/resume_record.h"

#include <limits>

#include "core/numeric.h"
#include "core/runtime_error.h"

namespace update {
namespace {

constexpr std::string_view kFirstLine = "Vandrel Updater: descarga a medias, v1";
constexpr std::size_t kMaxRecordBytes = 4096;
constexpr std::size_t kMaxUrlBytes = 2048;
constexpr std::size_t kMaxValidatorBytes = 256;

bool Printable(std::string_view text) {
    for (char c : text) {
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

// The value of the line "key=value" at the front of text, which then moves past its CR LF.
std::optional<std::string_view> TakeLine(std::string_view& text, std::string_view key) {
    const std::size_t end = text.find("\r\n");
    if (end == std::string_view::npos) return std::nullopt;
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 2);
    if (key.empty()) return line;
    if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != '=') return std::nullopt;
    return line.substr(key.size() + 1);
}

std::optional<std::int32_t> Digits(std::string_view text) {
    const auto value = core::ParseDigits(text, 10);
    if (!value || *value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    return static_cast<std::int32_t>(*value);
}

}  // namespace

std::string ResumeRecordPath(const std::string& archive) { return archive + ".reanudar"; }

bool UsableValidator(std::string_view validator) {
    return !validator.empty() && validator.size() <= kMaxValidatorBytes && Printable(validator);
}

std::string FormatResumeRecord(const ResumeRecord& record) {
    std::string text(kFirstLine);
    text += "\r\nurl=";
    text += record.url;
    text += "\r\nvalidador=";
    text += record.validator;
    text += "\r\ntotal=";
    text += core::DecimalText(record.total);
    text += "\r\n";
    return text;
}

std::optional<ResumeRecord> ParseResumeRecord(std::string_view text) {
    if (text.size() > kMaxRecordBytes) return std::nullopt;
    const auto first = TakeLine(text, {});
    const auto url = TakeLine(text, "url");
    const auto validator = TakeLine(text, "validador");
    const auto total = TakeLine(text, "total");
    if (!first || *first != kFirstLine || !url || !validator || !total || !text.empty()) return std::nullopt;
    if (url->size() > kMaxUrlBytes || !Printable(*url) || !UsableValidator(*validator)) return std::nullopt;
    const auto size = Digits(*total);
    if (!size) return std::nullopt;
    return ResumeRecord{std::string(*url), std::string(*validator), *size};
}

std::optional<ResumeRecord> ReadResumeRecord(core::FileSystem& fs, const std::string& archive) {
    try {
        const std::string path = ResumeRecordPath(archive);
        if (!fs.FileExists(path)) return std::nullopt;
        return ParseResumeRecord(fs.ReadFile(path, kMaxRecordBytes));
    } catch (const core::RuntimeError&) {
        return std::nullopt;
    }
}

void WriteResumeRecord(core::FileSystem& fs, const std::string& archive, const ResumeRecord& record) {
    core::WriteFileAtomically(fs, ResumeRecordPath(archive), FormatResumeRecord(record));
}

void RemoveResumeRecord(core::FileSystem& fs, const std::string& archive) noexcept {
    fs.RemoveIfExists(ResumeRecordPath(archive));
}

}  // namespace update
