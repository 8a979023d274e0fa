#include "tools/parchear/zip_writer.h"

#include <zlib.h>

#include <algorithm>
#include <memory>

#include "core/runtime_error.h"
#include "tools/parchear/deflater.h"
#include "tools/parchear/refusal.h"
#include "updater/unzip/zip_directory.h"
#include "updater/unzip/zip_format.h"

namespace parchear {
namespace {

namespace zip_format = unzip::zip_format;

constexpr std::size_t kReadChunk = 1u << 20;
constexpr std::size_t kFlushAt = 1u << 20;
constexpr std::uint32_t kAttrFolder = 0x10, kAttrArchive = 0x20;
constexpr std::uint16_t kMadeByDos = zip_format::kVersionDeflate;  // the attributes are DOS attributes

// Pass's strategy for reading without deflating.
constexpr int kNoDeflate = -1;

// The reader's own rule: large entries may expand at most maxRatio times.
bool ExpandsTooMuch(std::uint64_t size, std::uint64_t compressed) {
    const unzip::Limits limits;
    return size > limits.ratioFreeSize && size / limits.maxRatio > compressed;
}

}  // namespace

ZipWriter::ZipWriter(core::FileWriter& out, std::size_t keepBytes)
    : m_out(out), m_keepBytes(keepBytes), m_read(kReadChunk), m_deflated(256u << 10) {
    m_deflater = std::make_unique<Deflater>(Z_BEST_COMPRESSION);
}

ZipWriter::~ZipWriter() = default;

void ZipWriter::Put(const void* data, std::size_t size) {
    m_buffer.append(static_cast<const char*>(data), size);
    m_offset += size;
    if (m_buffer.size() >= kFlushAt) Flush();
}

void ZipWriter::Put16(std::uint32_t v) {
    const unsigned char b[2] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)};
    Put(b, 2);
}

void ZipWriter::Put32(std::uint32_t v) {
    Put16(v & 0xFFFF);
    Put16(v >> 16);
}

void ZipWriter::Put64(std::uint64_t v) {
    Put32(static_cast<std::uint32_t>(v));
    Put32(static_cast<std::uint32_t>(v >> 32));
}

void ZipWriter::Flush() {
    if (m_buffer.empty()) return;
    m_out.Write(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
}

void ZipWriter::Reserve(std::uint64_t bytes, const std::string& name) const {
    if (bytes > kMaxArchiveBytes - std::min(m_offset, kMaxArchiveBytes)) {
        std::string why = "el parche pasaría de 2 GiB al añadir ";
        why += Quoted(name);
        why += " (Updater no descarga archivos tan grandes): repártalo en varios parches";
        throw Refusal(why);
    }
}

ZipWriter::PassResult ZipWriter::Pass(core::FileReader& in, int strategy, const Sink& sink,
                                      const std::function<void(std::uint64_t)>& progress) {
    z_stream& z = m_deflater->Stream();
    const bool deflate = strategy != kNoDeflate;
    if (deflate) m_deflater->Reset(Z_BEST_COMPRESSION, strategy);
    PassResult r;
    r.crc = static_cast<std::uint32_t>(crc32(0, Z_NULL, 0));
    for (;;) {
        const std::size_t n = in.ReadAt(r.size, m_read.data(), m_read.size());
        r.crc = static_cast<std::uint32_t>(crc32(r.crc, m_read.data(), static_cast<uInt>(n)));
        r.size += n;
        if (progress && n > 0) progress(n);
        const bool last = n < m_read.size();
        if (!deflate) {
            if (n > 0) sink(m_read.data(), n);
        } else {
            z.next_in = m_read.data();
            z.avail_in = static_cast<uInt>(n);
            int ret;
            do {
                z.next_out = m_deflated.data();
                z.avail_out = static_cast<uInt>(m_deflated.size());
                ret = ::deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
                if (ret == Z_STREAM_ERROR) core::Raise(core::ErrorKind::OutOfMemory, "zlib deflate");
                const std::size_t have = m_deflated.size() - z.avail_out;
                if (have > 0) sink(m_deflated.data(), have);
            } while (z.avail_out == 0);
            if (last && ret != Z_STREAM_END) core::Raise(core::ErrorKind::OutOfMemory, "zlib deflate");
        }
        if (last) break;
        if (r.size > kMaxFileBytes) break;  // growing while read; caught below
    }
    return r;
}

// The fields local and central headers share, from "version needed" to the extra length.
void ZipWriter::PutCommonFields(const Central& c) {
    Put16(zip_format::kVersionDeflate);
    Put16(zip_format::kFlagUtf8);
    Put16(c.method);
    Put16(c.dosTime & 0xFFFF);
    Put16(c.dosTime >> 16);
    Put32(c.crc);
    Put32(static_cast<std::uint32_t>(c.compressedSize));
    Put32(static_cast<std::uint32_t>(c.size));
    Put16(static_cast<std::uint32_t>(c.name.size()));
    Put16(0);  // extra
}

void ZipWriter::WriteLocal(const Central& c) {
    Put32(zip_format::local::kSignature);
    PutCommonFields(c);
    Put(c.name.data(), c.name.size());
}

void ZipWriter::AddFolder(const std::string& name, std::uint32_t dosTime) {
    Central c;
    c.name = name + "/";
    c.offset = m_offset;
    c.dosTime = dosTime;
    c.attributes = kAttrFolder;
    Reserve(zip_format::local::kLength + c.name.size(), name);
    WriteLocal(c);
    m_entries.push_back(std::move(c));
}

Packed ZipWriter::AddFile(const std::string& name, core::FileReader& in, std::uint32_t dosTime,
                          const std::function<void(std::uint64_t)>& progress) {
    const std::uint64_t declared = in.Size();
    const auto changed = [&]() {
        return Refusal(Quoted(name) + " cambió mientras se empaquetaba; vuelva a intentarlo con el archivo cerrado");
    };
    const auto tooLarge = [&]() {
        return Refusal(Quoted(name) + " ocupa 4 GiB o más; el formato de los parches no admite archivos tan grandes");
    };
    if (declared > kMaxFileBytes) throw tooLarge();

    // First pass: CRC-32, size and deflated size, keeping the deflated bytes while they fit.
    // Data so uniform that it deflates past Updater's expansion limit (long runs of one byte)
    // gets a second try with Huffman coding alone, which never packs more than 8 to 1.
    std::uint64_t deflatedSize = 0;
    bool kept = true;
    const Sink keep = [&](const unsigned char* p, std::size_t n) {
        deflatedSize += n;
        if (kept && m_kept.size() + n <= m_keepBytes) {
            m_kept.append(reinterpret_cast<const char*>(p), n);
        } else if (kept) {
            kept = false;
            std::string().swap(m_kept);
        }
    };
    int strategy = Z_DEFAULT_STRATEGY;
    m_kept.clear();
    const PassResult first = Pass(in, strategy, keep, progress);
    if (first.size > kMaxFileBytes) throw tooLarge();
    if (first.size != declared) throw changed();
    if (ExpandsTooMuch(first.size, deflatedSize)) {
        strategy = Z_HUFFMAN_ONLY;
        deflatedSize = 0;
        kept = true;
        m_kept.clear();
        const PassResult again = Pass(in, strategy, keep, {});
        if (again.size != first.size || again.crc != first.crc) throw changed();
    }

    Central c;
    c.name = name;
    c.offset = m_offset;
    c.size = first.size;
    c.crc = first.crc;
    c.dosTime = dosTime;
    c.attributes = kAttrArchive;
    const bool store = first.size == 0 || deflatedSize >= first.size || ExpandsTooMuch(first.size, deflatedSize);
    c.method = store ? unzip::kStored : unzip::kDeflated;
    c.compressedSize = store ? first.size : deflatedSize;
    Reserve(zip_format::local::kLength + name.size() + c.compressedSize + zip_format::central::kLength + name.size(),
            name);
    WriteLocal(c);

    if (!store && kept) {
        // Read once more: a file rewritten in place during the only pass leaves a consistent
        // CRC over a mixture of both versions, which the content read now no longer matches.
        const PassResult check = Pass(in, kNoDeflate, [](const unsigned char*, std::size_t) {}, {});
        if (check.size != c.size || check.crc != c.crc) throw changed();
        Put(m_kept.data(), m_kept.size());
    } else if (c.size > 0) {
        // Second pass: the data again, straight into the archive, and it must not have changed.
        std::uint64_t written = 0;
        const PassResult second = Pass(in, store ? kNoDeflate : strategy,
                                       [&](const unsigned char* p, std::size_t n) {
                                           if (n > c.compressedSize - written) throw changed();
                                           written += n;
                                           Put(p, n);
                                       },
                                       {});
        if (second.size != c.size || second.crc != c.crc || written != c.compressedSize) throw changed();
    }
    m_kept.clear();
    m_entries.push_back(std::move(c));
    return {m_entries.back().method, m_entries.back().compressedSize};
}

void ZipWriter::Finish(std::string_view comment) {
    if (comment.size() > kMaxCommentBytes) throw Refusal("el comentario del parche pasaría de 65535 bytes");
    const std::uint64_t cdOffset = m_offset;
    for (const Central& c : m_entries) {
        Put32(zip_format::central::kSignature);
        Put16(kMadeByDos);
        PutCommonFields(c);
        Put16(0);  // comment
        Put16(0);  // disk
        Put16(0);  // internal attributes
        Put32(c.attributes);
        Put32(static_cast<std::uint32_t>(c.offset));
        Put(c.name.data(), c.name.size());
    }
    const std::uint64_t cdSize = m_offset - cdOffset;
    const std::uint64_t count = m_entries.size();
    if (count > 0xFFFF) {
        const std::uint64_t end64 = m_offset;
        Put32(zip_format::end64::kSignature);
        Put64(zip_format::end64::kLength - 12);  // the record's size counts from after this field
        Put16(zip_format::kVersionZip64);
        Put16(zip_format::kVersionZip64);
        Put32(0);
        Put32(0);
        Put64(count);
        Put64(count);
        Put64(cdSize);
        Put64(cdOffset);
        Put32(zip_format::locator64::kSignature);
        Put32(0);
        Put64(end64);
        Put32(1);
    }
    const std::uint32_t count16 = count > 0xFFFF ? 0xFFFF : static_cast<std::uint32_t>(count);
    Put32(zip_format::end::kSignature);
    Put16(0);
    Put16(0);
    Put16(count16);
    Put16(count16);
    Put32(static_cast<std::uint32_t>(cdSize));
    Put32(static_cast<std::uint32_t>(cdOffset));
    Put16(static_cast<std::uint32_t>(comment.size()));
    Put(comment.data(), comment.size());
    if (m_offset > kMaxArchiveBytes) {
        throw Refusal(
            "el parche pasaría de 2 GiB (Updater no descarga archivos tan grandes): repártalo en varios parches");
    }
    Flush();
}

}  // namespace parchear
