#include "updater/update/disk_room.h"

#include <limits>

#include "core/numeric.h"
#include "updater/update/mensajes.h"

namespace update {
namespace {

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
    return a > std::numeric_limits<std::uint64_t>::max() - b ? std::numeric_limits<std::uint64_t>::max() : a + b;
}

}  // namespace

std::uint64_t FileRoom(std::uint64_t size) {
    const std::uint64_t whole = size / kClusterBytes * kClusterBytes;
    return SaturatingAdd(whole, (whole == size ? 0 : kClusterBytes) + kFileRecordBytes);
}

std::uint64_t ExtractionBytes(const unzip::Directory& dir) {
    std::uint64_t total = kExtractionMargin;
    for (const unzip::Entry& e : dir.entries) {
        if (!e.folder) total = SaturatingAdd(total, FileRoom(e.size));
    }
    return total;
}

std::uint64_t StagingBytes(const std::vector<StateLine>& files) {
    std::uint64_t total = kExtractionMargin;
    for (const StateLine& line : files) total = SaturatingAdd(total, FileRoom(line.size));
    return total;
}

std::uint64_t MissingBytes(core::FileSystem& fs, const std::string& folder, std::uint64_t bytes) {
    const std::optional<std::uint64_t> free = fs.FreeBytes(folder);
    return free && *free < bytes ? bytes - *free : 0;
}

std::string NoRoomLine(std::uint64_t missing, std::string_view patch) {
    constexpr std::uint64_t kMegabyte = 1u << 20;
    const std::uint64_t megabytes = missing / kMegabyte + (missing % kMegabyte != 0 ? 1 : 0);
    return mensajes::FaltaEspacio(core::DecimalText(static_cast<std::int64_t>(megabytes)), patch);
}

}  // namespace update
