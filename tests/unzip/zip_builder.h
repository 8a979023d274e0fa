// A small zip writer for tests: well-formed archives by default, and every field can be bent
// to make the damaged and hostile ones the reader must refuse.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ziptest {

struct EntryPlan {
    std::string name;  // raw bytes as stored
    std::string data;  // content before compression
    std::uint16_t method = 8;
    std::uint16_t flags = 0;  // or-ed into both headers (0x800 UTF-8, 1 encrypted, ...)
    bool descriptor = false;  // flag 8, zero sizes in the local header, descriptor after the data
    bool descriptorSignature = true;
    bool zip64 = false;  // saturated 32-bit fields with ZIP64 extras in both headers
    std::uint16_t madeBy = 20;
    std::uint32_t attributes = 0;
    std::string centralExtra, localExtra;  // extra fields appended as given
    // Bent values.
    std::optional<std::string> compressed;              // stored verbatim instead of compressing data
    std::optional<std::uint32_t> crc;                   // declared CRC in every header
    std::optional<std::uint64_t> size, compressedSize;  // declared in every header
    std::optional<std::uint16_t> localMethod;
    std::optional<std::string> localName;
    std::optional<std::uint32_t> localCrc;
    std::optional<std::uint32_t> descriptorCrc;
    std::optional<std::uint64_t> headerOffset;  // the central directory points here instead
};

// An entry with the given name and content, everything else as usual.
inline EntryPlan Plan(std::string name, std::string data, std::uint16_t method = 8, std::uint16_t flags = 0) {
    EntryPlan e;
    e.name = std::move(name);
    e.data = std::move(data);
    e.method = method;
    e.flags = flags;
    return e;
}

struct Archive {
    std::string bytes;
    // Offsets where a structure starts or ends: cutting the file there must be refused.
    std::vector<std::uint64_t> boundaries;
};

class ZipBuilder {
public:
    ZipBuilder& Add(EntryPlan e) {
        m_entries.push_back(std::move(e));
        return *this;
    }
    // Shorthands: a deflated file, a stored file, a folder.
    ZipBuilder& File(std::string name, std::string data, std::uint16_t method = 8);
    ZipBuilder& Folder(std::string name);

    bool zip64End = false;  // ZIP64 end record and locator, with saturated classic fields
    std::string comment;
    std::optional<std::uint64_t> entryCount, cdOffset, cdSize;
    std::uint16_t disk = 0;
    std::vector<std::size_t> repeatCentral;  // entries whose central record is written twice

    Archive Build() const;

private:
    std::vector<EntryPlan> m_entries;
};

// Raw deflate of data (zlib level 6).
std::string Deflate(const std::string& data);
std::uint32_t Crc32(const std::string& data);

}  // namespace ziptest
