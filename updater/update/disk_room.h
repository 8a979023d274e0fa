// Room on the disk for a patch, checked before anything is written: its archive before the
// download, its files before the extraction. A shortage is one red line that says how much is
// missing, with nothing changed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_system.h"
#include "updater/unzip/zip_directory.h"
#include "updater/update/state_file.h"

namespace update {

// Each extracted file takes whole 4 KiB clusters (NTFS's usual size) and a 1 KiB file record,
// and the extraction keeps every old file until all the new ones are written; 2 MiB more cover
// the folders, the version file and the log (two files of at most 512 KiB).
inline constexpr std::uint64_t kClusterBytes = 4096;
inline constexpr std::uint64_t kFileRecordBytes = 1024;
inline constexpr std::uint64_t kExtractionMargin = 2u << 20;

// What one file of size bytes takes on the disk.
std::uint64_t FileRoom(std::uint64_t size);
// What extracting the directory's files takes on the disk, margin included.
std::uint64_t ExtractionBytes(const unzip::Directory& dir);
// What staging files (a catch-up's, of one patch) takes on the disk, margin included: the
// installed files stay until every staged one is in place, which moves it within the disk.
std::uint64_t StagingBytes(const std::vector<StateLine>& files);

// The bytes the volume of folder lacks for bytes more; 0 when they fit or its free space is unknown.
std::uint64_t MissingBytes(core::FileSystem& fs, const std::string& folder, std::uint64_t bytes);

// The red line for missing bytes (in MB of 2^20 bytes, rounded up) before patch.
std::string NoRoomLine(std::uint64_t missing, std::string_view patch);

}  // namespace update
