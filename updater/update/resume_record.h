// The record beside a partial archive that lets a later start continue it: the URL, the
// version of the file the bytes belong to (a strong validator) and the archive's whole size.
// Written atomically; anything missing, unreadable or inconsistent means starting from 0.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/file_system.h"

namespace update {

struct ResumeRecord {
    std::string url;
    std::string validator;  // a strong ETag (with its quotes) or a Last-Modified date
    std::int32_t total = 0;
};

// archive + ".reanudar".
std::string ResumeRecordPath(const std::string& archive);

std::string FormatResumeRecord(const ResumeRecord& record);
// Nothing unless the text is exactly what FormatResumeRecord writes for valid values.
std::optional<ResumeRecord> ParseResumeRecord(std::string_view text);

// The archive's record; nothing when there is none or it cannot be read or trusted.
std::optional<ResumeRecord> ReadResumeRecord(core::FileSystem& fs, const std::string& archive);
// Raises core::RuntimeError when it cannot be written.
void WriteResumeRecord(core::FileSystem& fs, const std::string& archive, const ResumeRecord& record);
void RemoveResumeRecord(core::FileSystem& fs, const std::string& archive) noexcept;

// A validator that may be stored and sent back: printable ASCII, at most 256 characters.
bool UsableValidator(std::string_view validator);

}  // namespace update
