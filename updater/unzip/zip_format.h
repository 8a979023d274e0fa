// The zip format's records as the reader, the operators' writer and the tests' archive builder
// all see them: signatures, fixed lengths and the offset of every field used. Little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

namespace unzip::zip_format {

// General-purpose flags.
inline constexpr std::uint16_t kFlagEncrypted = 0x0001;
inline constexpr std::uint16_t kFlagDescriptor = 0x0008;
inline constexpr std::uint16_t kFlagStrongEncryption = 0x0040;
inline constexpr std::uint16_t kFlagUtf8 = 0x0800;
inline constexpr std::uint16_t kFlagMaskedHeaders = 0x2000;

// "Version needed": plain deflate, and ZIP64 records.
inline constexpr std::uint16_t kVersionDeflate = 20;
inline constexpr std::uint16_t kVersionZip64 = 45;

// The ZIP64 end record of an archive whose central directory is encrypted needs this version.
inline constexpr std::uint16_t kVersionDirectoryEncryption = 62;

// "Made by" hosts (the high byte) whose archivers write names in the system's UTF-8.
inline constexpr unsigned kHostUnix = 3;
inline constexpr unsigned kHostMac = 19;  // OS X

// A 32-bit size or offset of this value stands for the one in the ZIP64 extra field.
inline constexpr std::uint32_t kSaturated32 = 0xFFFFFFFFu;
inline constexpr std::uint16_t kSaturated16 = 0xFFFF;

// Extra field ids.
inline constexpr std::uint16_t kExtraZip64 = 0x0001;
inline constexpr std::uint16_t kExtraUnicodePath = 0x7075;  // Info-ZIP's UTF-8 path

namespace local {
inline constexpr std::uint32_t kSignature = 0x04034b50;
inline constexpr std::size_t kLength = 30;
inline constexpr std::size_t kVersionNeeded = 4, kFlags = 6, kMethod = 8, kTime = 10, kDate = 12, kCrc = 14,
                             kCompressedSize = 18, kSize = 22, kNameLength = 26, kExtraLength = 28;
}  // namespace local

namespace central {
inline constexpr std::uint32_t kSignature = 0x02014b50;
inline constexpr std::size_t kLength = 46;
inline constexpr std::size_t kMadeBy = 4, kVersionNeeded = 6, kFlags = 8, kMethod = 10, kTime = 12, kDate = 14,
                             kCrc = 16, kCompressedSize = 20, kSize = 24, kNameLength = 28, kExtraLength = 30,
                             kCommentLength = 32, kDisk = 34, kInternalAttributes = 36, kExternalAttributes = 38,
                             kLocalOffset = 42;
}  // namespace central

// End of central directory record.
namespace end {
inline constexpr std::uint32_t kSignature = 0x06054b50;
inline constexpr std::size_t kLength = 22;
inline constexpr std::size_t kDisk = 4, kDirectoryDisk = 6, kDiskEntries = 8, kEntries = 10, kDirectorySize = 12,
                             kDirectoryOffset = 16, kCommentLength = 20;
}  // namespace end

// ZIP64 end of central directory record.
namespace end64 {
inline constexpr std::uint32_t kSignature = 0x06064b50;
inline constexpr std::size_t kLength = 56;
inline constexpr std::size_t kRecordSize = 4, kMadeBy = 12, kVersionNeeded = 14, kDisk = 16, kDirectoryDisk = 20,
                             kDiskEntries = 24, kEntries = 32, kDirectorySize = 40, kDirectoryOffset = 48;
}  // namespace end64

// ZIP64 end of central directory locator.
namespace locator64 {
inline constexpr std::uint32_t kSignature = 0x07064b50;
inline constexpr std::size_t kLength = 20;
inline constexpr std::size_t kDisk = 4, kEnd64Offset = 8, kDisks = 16;
}  // namespace locator64

// Data descriptor (its signature is optional).
inline constexpr std::uint32_t kDescriptorSignature = 0x08074b50;

}  // namespace unzip::zip_format
