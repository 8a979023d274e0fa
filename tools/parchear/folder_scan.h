// The contents of a folder tree as parchear compares them: every file and folder below a
// root, by relative UTF-8 path with '/' separators.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/file_system.h"

namespace parchear {

struct Item {
    std::string path;  // relative, '/' separators, no trailing separator
    bool folder = false;
    std::uint64_t size = 0;     // files only
    std::uint32_t dosTime = 0;  // modification time, DOS date in the high half, time in the low
};

struct Scan {
    std::vector<Item> items;           // sorted by path
    std::vector<std::string> skipped;  // links and special files left out, with the reason
};

// A UTF-8 path as a std::filesystem path, and back.
std::filesystem::path PathOf(const std::string& utf8);
std::string Utf8Of(const std::filesystem::path& path);

// Lists root recursively. Symbolic links and special files are skipped (and named in
// skipped); a missing or unreadable root raises Refusal.
Scan ScanFolder(core::FileSystem& fs, const std::string& root);

// DOS date and time (UTC, clamped to 1980-2107) of a time in seconds since 1970.
std::uint32_t DosTime(std::int64_t unixSeconds);

// True when path names root itself or something below it (both made absolute first).
bool IsInside(const std::string& path, const std::string& root);

}  // namespace parchear
