// Writing a patch archive: deflated (or stored) entries with UTF-8 names, CRC-32 and sizes in
// both headers, written in one sequence through the file seam. Only archives that Updater can
// download and read come out of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_system.h"
#include "updater/update/signed_list.h"

namespace parchear {

class Deflater;

// Updater reads the Content-Length as a 32-bit signed number: larger archives cannot be downloaded.
inline constexpr std::uint64_t kMaxArchiveBytes = update::kMaxArchiveBytes;
// Sizes live in 32-bit fields; 0xFFFFFFFF itself would mean "see the ZIP64 field".
inline constexpr std::uint64_t kMaxFileBytes = 0xFFFFFFFEull;
// The archive's comment has a 16-bit length.
inline constexpr std::size_t kMaxCommentBytes = 0xFFFF;

struct Packed {
    std::uint16_t method = 0;  // 0 stored, 8 deflated
    std::uint64_t compressedSize = 0;
};

class ZipWriter {
public:
    // keepBytes: compressed output held in memory per entry; larger entries are deflated twice
    // (once to learn their size, once to write them) instead.
    explicit ZipWriter(core::FileWriter& out, std::size_t keepBytes = 32u << 20);
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    // A folder entry ("name/"); name has no trailing separator.
    void AddFolder(const std::string& name, std::uint32_t dosTime);
    // A file entry with in's whole content, deflated unless that does not make it smaller,
    // and never expanding more than Updater allows. progress receives the bytes read.
    // Raises parchear::Refusal when the file is too large or changes while it is read.
    Packed AddFile(const std::string& name, core::FileReader& in, std::uint32_t dosTime,
                   const std::function<void(std::uint64_t)>& progress = {});
    // The central directory and the end records (ZIP64 end records beyond 65535 entries), the
    // last one with comment (at most kMaxCommentBytes) as the archive's comment.
    void Finish(std::string_view comment = {});

    std::uint64_t Size() const { return m_offset; }

private:
    struct Central {
        std::string name;
        std::uint64_t offset = 0, size = 0, compressedSize = 0;
        std::uint32_t crc = 0, dosTime = 0, attributes = 0;
        std::uint16_t method = 0;
    };
    struct PassResult {
        std::uint32_t crc = 0;
        std::uint64_t size = 0;
    };
    using Sink = std::function<void(const unsigned char*, std::size_t)>;

    // strategy: a zlib strategy, or -1 to hand the read bytes to sink as they are.
    PassResult Pass(core::FileReader& in, int strategy, const Sink& sink,
                    const std::function<void(std::uint64_t)>& progress);
    void PutCommonFields(const Central& c);
    void WriteLocal(const Central& c);
    void Put(const void* data, std::size_t size);
    void Put16(std::uint32_t v);
    void Put32(std::uint32_t v);
    void Put64(std::uint64_t v);
    void Flush();
    void Reserve(std::uint64_t bytes, const std::string& name) const;

    core::FileWriter& m_out;
    std::size_t m_keepBytes;
    std::vector<Central> m_entries;
    std::vector<unsigned char> m_read;
    std::vector<unsigned char> m_deflated;
    std::string m_kept;
    std::string m_buffer;
    std::uint64_t m_offset = 0;
    std::unique_ptr<Deflater> m_deflater;  // zlib kept out of this header
};

}  // namespace parchear
