#include "updater/unzip/archive_reader.h"

#include <algorithm>

#include "updater/unzip/zip_format.h"

namespace unzip {
namespace {

// The largest span one header read needs: a local header with the longest name and extra field.
constexpr std::size_t kMaxHeaderSpan = zip_format::central::kLength + 2 * 0xFFFF + 64;

[[noreturn]] void OutsideFile() { throw Failure(Refusal::Damaged, {}, "datos fuera del archivo"); }

}  // namespace

ArchiveReader::ArchiveReader(core::FileReader& file, std::size_t bufferSize)
    : m_file(file), m_size(file.Size()), m_chunk(std::max<std::size_t>(bufferSize, 64)) {
    m_buffer.resize(std::max(m_chunk, kMaxHeaderSpan));
}

void ArchiveReader::Fill(std::uint64_t offset, std::size_t length) {
    m_filled = 0;
    const std::size_t got = m_file.ReadAt(offset, m_buffer.data(), length);
    if (got < length) throw Failure(Refusal::Incomplete);
    m_start = offset;
    m_filled = got;
}

const unsigned char* ArchiveReader::Bytes(std::uint64_t offset, std::size_t length, std::size_t readAhead) {
    if (!Fits(offset, length, m_size)) OutsideFile();
    if (offset >= m_start && offset - m_start <= m_filled && length <= m_filled - (offset - m_start)) {
        return m_buffer.data() + (offset - m_start);
    }
    std::size_t want = std::max(length, std::min(readAhead, m_buffer.size()));
    want = static_cast<std::size_t>(std::min<std::uint64_t>(want, m_size - offset));
    Fill(offset, want);
    return m_buffer.data();
}

std::string_view ArchiveReader::Stream(std::uint64_t offset, std::uint64_t end) {
    if (offset >= end || end > m_size) OutsideFile();
    if (!(offset >= m_start && offset - m_start < m_filled)) {
        Fill(offset, static_cast<std::size_t>(std::min<std::uint64_t>(m_chunk, m_size - offset)));
    }
    const std::size_t at = static_cast<std::size_t>(offset - m_start);
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(end - offset, m_filled - at));
    return std::string_view(reinterpret_cast<const char*>(m_buffer.data()) + at, n);
}

void ArchiveReader::Read(std::uint64_t offset, unsigned char* into, std::size_t length) {
    if (!Fits(offset, length, m_size)) OutsideFile();
    if (m_file.ReadAt(offset, into, length) < length) throw Failure(Refusal::Incomplete);
}

}  // namespace unzip
