// Inside the zip folder only: the refusal raised while an archive is read or extracted, and the
// read window both do it through. Nothing here leaves the folder: its entry points turn a
// Failure into a Result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "core/file_system.h"
#include "updater/unzip/refusal.h"
#include "updater/unzip/zip_directory.h"

namespace unzip {

class Failure : public std::runtime_error {
public:
    explicit Failure(Refusal code, std::string_view subject = {}, std::string_view detail = {})
        : std::runtime_error(RefusalText(code, subject, detail)), m_code(code) {}
    Refusal Code() const { return m_code; }
    Result ToResult() const { return Result::Failure(what(), m_code); }

private:
    Refusal m_code;
};

// True when [offset, offset + length) lies inside [0, limit).
inline bool Fits(std::uint64_t offset, std::uint64_t length, std::uint64_t limit) {
    return offset <= limit && length <= limit - offset;
}

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
    // Reads [offset, offset + length) straight into the caller's memory, past the window.
    void Read(std::uint64_t offset, unsigned char* into, std::size_t length);

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
