// Reading a zip archive's structure: the end records, the central directory and every local
// header, each bounds-checked against the file before it is read, and refused unless they
// describe a plain, consistent set of stored or deflated entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_system.h"
#include "updater/unzip/name_decoder.h"

namespace unzip {

// A refusal or failure; what() is the short Spanish cause for the player.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Limits {
    std::uint64_t maxTotalSize = 4ull << 30;  // sum of the entries' sizes
    std::uint64_t ratioFreeSize = 1u << 20;   // entries up to this size may expand at any ratio
    std::uint64_t maxRatio = 1000;            // larger ones expand at most this much
    std::uint32_t maxEntries = 100000;
    std::size_t maxTotalNameBytes = 16u << 20;
    std::size_t bufferSize = 1u << 20;  // archive read window and inflate output
};

inline constexpr std::uint16_t kStored = 0;
inline constexpr std::uint16_t kDeflated = 8;

struct Entry {
    std::uint64_t headerOffset = 0;    // local header
    std::uint64_t dataOffset = 0;      // first byte of the entry's data
    std::uint64_t compressedSize = 0;  // bytes of data in the archive
    std::uint64_t size = 0;            // bytes once extracted
    std::uint32_t crc = 0;
    std::uint32_t rawNameCrc = 0;  // CRC-32 of the stored name bytes, to match the local header
    std::uint32_t nameOffset = 0;  // the checked relative path in Directory::names
    std::uint32_t nameLength = 0;
    std::uint16_t rawNameLength = 0;
    std::uint16_t method = kStored;
    bool folder = false;
};

struct Directory {
    std::vector<Entry> entries;  // in the order of their data in the archive
    std::string names;
    std::string_view Name(const Entry& e) const { return std::string_view(names).substr(e.nameOffset, e.nameLength); }
};

// A read window over the archive file: header reads come from memory, data is streamed in large reads.
class ArchiveReader {
public:
    ArchiveReader(core::FileReader& file, std::size_t bufferSize);
    std::uint64_t Size() const { return m_size; }
    // The bytes [offset, offset + length), valid until the next call; Failure unless all are in the file.
    // A read that must go to the file fetches up to readAhead bytes at once.
    const unsigned char* Bytes(std::uint64_t offset, std::size_t length, std::size_t readAhead = 64u << 10);
    // The next piece (at least one byte, at most the buffer size) of [offset, end).
    std::string_view Stream(std::uint64_t offset, std::uint64_t end);

private:
    void Fill(std::uint64_t offset, std::size_t length);

    core::FileReader& m_file;
    std::uint64_t m_size;
    std::size_t m_chunk;
    std::vector<unsigned char> m_buffer;
    std::uint64_t m_start = 0;  // archive offset of m_buffer[0]
    std::size_t m_filled = 0;
};

// Reads and checks the whole structure; raises Failure with the cause when the archive is refused.
Directory ReadDirectory(ArchiveReader& reader, const NameDecoder& decoder, const Limits& limits);

}  // namespace unzip
