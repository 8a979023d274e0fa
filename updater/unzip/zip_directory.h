// Reading a zip archive's structure: the end records, the central directory and every local
// header, each bounds-checked against the file before it is read, and refused unless they
// describe a plain, consistent set of stored or deflated entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_system.h"
#include "updater/unzip/name_decoder.h"
#include "updater/unzip/refusal.h"

namespace unzip {

struct Limits {
    std::uint64_t maxTotalSize = 4ull << 30;  // sum of the entries' sizes
    std::uint64_t ratioFreeSize = 1u << 20;   // entries up to this size may expand at any ratio
    std::uint64_t maxRatio = 1000;            // larger ones expand at most this much
    std::uint32_t maxEntries = 100000;
    std::size_t maxTotalNameBytes = 16u << 20;
    std::size_t bufferSize = 1u << 20;  // archive read window and inflate output
    std::size_t lanes = 0;              // entries extracted at once; 0: one per core (at most kMaxLanes)
    std::size_t flushers = 0;           // threads flushing complete files; 0: kDefaultFlushers
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
    std::uint64_t directoryOffset = 0;  // the central directory's first byte: every entry ends before it
    std::string_view Name(const Entry& e) const { return std::string_view(names).substr(e.nameOffset, e.nameLength); }
};

struct DirectoryRead {
    Result result;  // ok, or the refusal with its code
    Directory dir;
};

// Reads and checks the whole structure of the archive in file; never raises.
DirectoryRead ReadArchiveDirectory(core::FileReader& file, const NameDecoder& decoder, const Limits& limits);

// For an archive fetched in pieces: file is the whole archive's length, of which a suffix has
// been fetched (reads before it come back short). The end records lie in the last kEndSearchBytes.
inline constexpr std::uint64_t kEndSearchBytes = 22 + 0xFFFF;

struct DirectoryPlace {
    Result result;
    std::uint64_t offset = 0;  // where the central directory begins
};
// From the end records in the last kEndSearchBytes of file: where its central directory begins,
// so that the suffix to fetch before ReadCentralDirectory is known. Never raises.
DirectoryPlace LocateCentralDirectory(core::FileReader& file);

// ReadArchiveDirectory from the suffix that starts at the central directory: every check but the
// local headers', which are not read (dataOffset stays 0). Whoever fetches an entry later checks
// its local header against it. Never raises.
DirectoryRead ReadCentralDirectory(core::FileReader& file, const NameDecoder& decoder, const Limits& limits);

// For an entry fetched apart from its archive, from the fixed part of its local header
// (zip_format::local::kLength bytes at e.headerOffset): how many bytes from the header on hold
// the header, its name and extra field and the data. Nothing when they are not a local header.
std::optional<std::uint64_t> LocalEntrySpan(std::string_view fixedPart, const Entry& e);

struct EntryCheck {
    Result result;
    Entry entry;  // with its dataOffset when ok
};
// The checks ReadArchiveDirectory makes of one entry's local header (and data descriptor)
// against its central record e of dir, for an entry fetched apart: file holds the archive's
// bytes up to limit, where the entry's room ends (the next header, the directory, or the end of
// what was fetched). Never raises.
EntryCheck CheckFetchedEntry(core::FileReader& file, const Directory& dir, const Entry& e, std::uint64_t limit);

}  // namespace unzip
