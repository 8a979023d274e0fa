// The local version number in Recursos\OUTPUT\Update.ini: one signed 16-bit number as text.
#pragma once

#include <cstdint>
#include <string>

#include "core/file_system.h"

namespace update {

// installFolder + "\Recursos\OUTPUT\Update.ini".
std::string VersionFilePath(const std::string& installFolder);

// The file's bytes for a value: sign position (blank or '-'), digits, one blank, CR LF.
std::string FormatVersionFile(std::int16_t value);

// Reads the version: files under 3 bytes are 0; otherwise the whole text must be one number
// (TypeMismatch, Overflow). A missing file raises FileNotFound / PathNotFound.
std::int16_t ReadVersionFile(core::FileSystem& fs, const std::string& path, char decimalSeparator);

// Replaces the file's content in one step; a crash leaves the old or the new value.
void WriteVersionFile(core::FileSystem& fs, const std::string& path, std::int16_t value);

}  // namespace update
