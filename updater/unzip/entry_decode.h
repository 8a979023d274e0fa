// Inside the zip folder only: one entry's data, copied or inflated, into an output that takes it
// a buffer at a time. The extraction's lanes and the single fetched entry share it. An output
// gives Buffer() (BufferSize() bytes), takes Submit(length, last) and may stop the work from
// Continue() between two buffers by raising.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "updater/unzip/archive_reader.h"
#include "updater/unzip/zlib_stream.h"

namespace unzip {

// An entry's name as the player knows it: Windows separators.
std::string ShownEntry(std::string_view name);

// Copies the stored data of e and checks its CRC-32.
template <typename Output>
void CopyStored(ArchiveReader& reader, const Entry& e, std::string_view name, Output& out) {
    const std::uint64_t end = e.dataOffset + e.compressedSize;
    std::uint64_t at = e.dataOffset;
    auto crc = static_cast<std::uint32_t>(crc32(0, Z_NULL, 0));
    do {
        out.Continue();
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(out.BufferSize(), end - at));
        if (n > 0) {
            unsigned char* buffer = out.Buffer();
            reader.Read(at, buffer, n);
            crc = static_cast<std::uint32_t>(crc32(crc, buffer, static_cast<uInt>(n)));
        }
        at += n;
        if (at == end && crc != e.crc) throw Failure(Refusal::ContentCrc, ShownEntry(name));
        out.Submit(n, at == end);
    } while (at < end);
}

// Inflates the data of e straight into the output's buffers, never past the declared size (plus
// one byte that proves a longer stream), and requires the stream to end exactly with its data.
// The CRC-32 of what it gives is the output's to check.
template <typename Output>
void InflateEntry(ArchiveReader& reader, Inflater& inflater, const Entry& e, std::string_view name, Output& out) {
    inflater.Reset();
    z_stream& z = inflater.Stream();
    const std::uint64_t end = e.dataOffset + e.compressedSize;
    std::uint64_t at = e.dataOffset;
    std::uint64_t written = 0;
    z.avail_in = 0;
    std::size_t filled = 0;
    const auto damaged = [&]() { return Failure(Refusal::ContentDamaged, ShownEntry(name)); };
    const std::size_t bufferSize = out.BufferSize();
    for (;;) {
        if (z.avail_in == 0 && at < end) {
            const std::string_view piece = reader.Stream(at, end);
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
            z.avail_in = static_cast<uInt>(piece.size());
            at += piece.size();
        }
        const std::uint64_t allowed = e.size + 1 - written - filled;
        const std::size_t room = static_cast<std::size_t>(std::min<std::uint64_t>(bufferSize - filled, allowed));
        z.next_out = out.Buffer() + filled;
        z.avail_out = static_cast<uInt>(room);
        const int ret = inflate(&z, Z_NO_FLUSH);
        filled += room - z.avail_out;
        if (written + filled > e.size) throw Failure(Refusal::ContentSize, ShownEntry(name));
        if (ret == Z_STREAM_END) break;
        if (ret == Z_BUF_ERROR && z.avail_in == 0 && at == end) throw damaged();  // data ends too early
        if (ret != Z_OK && ret != Z_BUF_ERROR) throw damaged();
        if (filled == bufferSize) {
            out.Continue();
            out.Submit(filled, false);
            written += filled;
            filled = 0;
        }
    }
    if (z.avail_in != 0 || at != end) throw damaged();  // compressed size and stream disagree
    if (written + filled != e.size) throw Failure(Refusal::ContentSize, ShownEntry(name));
    out.Submit(filled, true);
}

}  // namespace unzip
