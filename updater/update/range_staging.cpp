#include "updater/update/range_staging.h"

#include <algorithm>
#include <unordered_map>

#include "core/crypto.h"
#include "core/runtime_error.h"
#include "updater/unzip/zip_extract.h"
#include "updater/unzip/zip_format.h"
#include "updater/update/mensajes.h"

namespace update {
namespace {

// Forwards the bytes to a staged file, counting them and taking their SHA-256 on the way.
class HashingWriter final : public core::FileWriter {
public:
    explicit HashingWriter(core::FileWriter& out) : m_out(out) {}
    void Write(const void* data, std::size_t size) override {
        m_out.Write(data, size);
        m_hash.Update(data, size);
        m_size += size;
    }
    void Commit() override { m_out.Commit(); }
    std::uint64_t Written() const { return m_size; }
    std::string Hex() { return core::crypto::HexOf(m_hash.Finish()); }

private:
    core::FileWriter& m_out;
    core::crypto::Sha256 m_hash;
    std::uint64_t m_size = 0;
};

StageResult Damaged(std::string why) { return StageResult::Failure(std::move(why), StageFault::Damaged); }

bool IsWriteRefusal(unzip::Refusal code) {
    return code == unzip::Refusal::CannotWrite || code == unzip::Refusal::DiskFull ||
           code == unzip::Refusal::OutOfMemory;
}

RangesResult FromStage(const StageResult& r) {
    if (r.ok) return RangesResult::Success();
    return RangesResult::Failure(r.reason, r.code == StageFault::Damaged ? RangesFault::Damaged : RangesFault::Write);
}

RangesResult FromFetch(const RangeFetch& r) {
    switch (r.code) {
        case RangeFault::Whole: return RangesResult::Failure(r.reason, RangesFault::Whole);
        case RangeFault::Network: return RangesResult::Failure(r.reason, RangesFault::Network);
        case RangeFault::Refused: return RangesResult::Failure(r.reason, RangesFault::Refused);
        case RangeFault::Write: break;
    }
    return RangesResult::Failure(r.reason, RangesFault::Write);
}

}  // namespace

std::uint64_t RoomEnd(const unzip::Directory& dir, std::size_t index) {
    return index + 1 < dir.entries.size() ? dir.entries[index + 1].headerOffset : dir.directoryOffset;
}

std::size_t FetchedBytes::ReadAt(std::uint64_t offset, void* data, std::size_t size) {
    if (offset < m_offset) return 0;
    return m_file->ReadAt(offset - m_offset, data, size);
}

StageResult StageEntry(core::FileSystem& fs, Staging& staging, core::FileReader& bytes, const unzip::Directory& dir,
                       const unzip::Entry& entry, std::uint64_t limit, const StateLine& line) {
    if (entry.folder || entry.size != line.size) return Damaged(mensajes::TamanoDistinto(line.path));
    const unzip::EntryCheck check = unzip::CheckFetchedEntry(bytes, dir, entry, limit);
    if (!check.result.ok) {
        if (IsWriteRefusal(check.result.code)) return StageResult::Failure(check.result.reason, StageFault::Write);
        return Damaged(check.result.reason);
    }
    std::string file;
    try {
        file = staging.NewFile();
        const std::unique_ptr<core::FileWriter> out = fs.CreateFile(file);
        HashingWriter hashing(*out);
        const unzip::Result written = unzip::WriteEntryData(bytes, check.entry, line.path, hashing);
        if (!written.ok) {
            staging.Drop(file);
            if (IsWriteRefusal(written.code)) return StageResult::Failure(written.reason, StageFault::Write);
            return Damaged(written.reason);
        }
        if (hashing.Written() != line.size) {
            staging.Drop(file);
            return Damaged(mensajes::TamanoDistinto(line.path));
        }
        if (hashing.Hex() != line.sha256) {
            staging.Drop(file);
            return Damaged(mensajes::ContenidoDistinto(line.path));
        }
        hashing.Commit();
    } catch (const core::RuntimeError& e) {
        if (!file.empty()) staging.Drop(file);
        return StageResult::Failure(mensajes::NoSeEscribio(file, e.Description()), StageFault::Write);
    }
    staging.Keep(line, file);
    return StageResult::Success();
}

namespace {

// One patch's requests, each fetched into the piece file and its entries staged from it.
class RangeStager {
public:
    RangeStager(HttpClient& http, core::FileSystem& fs, Staging& staging, const std::string& url,
                std::uint64_t archiveSize, const unzip::Directory& dir, const RangeProgress& progress)
        : m_http(http),
          m_fs(fs),
          m_staging(staging),
          m_url(url),
          m_size(archiveSize),
          m_dir(dir),
          m_progress(progress) {}

    ~RangeStager() {
        for (const bool alone : {false, true}) {
            if (!m_pieces[alone].empty()) m_fs.RemoveIfExists(m_pieces[alone]);
        }
    }

    RangesResult Run(const PatchFetch& fetch, const std::vector<StateLine>& files) {
        std::unordered_map<std::string_view, const StateLine*> lines;
        for (const StateLine& line : files) lines.emplace(line.path, &line);
        std::size_t next = 0;  // fetch.entries is in archive order, as the requests are
        for (const ByteRange& request : fetch.requests) {
            std::unique_ptr<FetchedBytes> bytes;
            if (RangesResult got = Fetch(request, bytes); !got.ok) return got;
            for (; next < fetch.entries.size(); ++next) {
                const std::size_t index = fetch.entries[next];
                const unzip::Entry& e = m_dir.entries[index];
                if (e.headerOffset >= request.offset + request.length) break;
                const auto line = lines.find(m_dir.Name(e));
                if (line == lines.end() || e.headerOffset < request.offset) {
                    return RangesResult::Failure(mensajes::kParteEquivocada, RangesFault::Refused);
                }
                if (RangesResult staged = Stage(*bytes, index, *line->second); !staged.ok) return staged;
            }
        }
        if (next != fetch.entries.size())
            return RangesResult::Failure(mensajes::kParteEquivocada, RangesFault::Refused);
        return RangesResult::Success();
    }

private:
    // The bytes of request, in a piece file: the request's own, or for an entry fetched again
    // alone another, as the request's stays open for the entries after it.
    RangesResult Fetch(ByteRange request, std::unique_ptr<FetchedBytes>& bytes, bool alone = false) {
        bytes.reset();
        RangeFetch got;
        std::string& piece = m_pieces[alone];
        try {
            piece = m_staging.PieceFile(alone);
            {
                const std::unique_ptr<core::FileWriter> out = m_fs.CreateFile(piece);
                const RangeProgress progress = [this](std::uint64_t received) {
                    if (m_progress) m_progress(m_received + received);
                };
                got = FetchRange(m_http, m_url, request, m_size, *out, progress);
            }
            if (got.ok) bytes = std::make_unique<FetchedBytes>(m_fs.OpenRead(piece), request.offset);
        } catch (const core::RuntimeError& e) {
            return RangesResult::Failure(mensajes::NoSeEscribio(piece, e.Description()), RangesFault::Write);
        }
        if (!got.ok) return FromFetch(got);
        m_received += request.length;
        if (bytes->Size() != request.offset + request.length) {
            return RangesResult::Failure(mensajes::kIncompleta, RangesFault::Network);
        }
        return RangesResult::Success();
    }

    // Stages entry index from bytes, or from a request of its own when its local header says it
    // reaches past them.
    RangesResult Stage(FetchedBytes& bytes, std::size_t index, const StateLine& line) {
        const unzip::Entry& e = m_dir.entries[index];
        const std::uint64_t room = std::min(RoomEnd(m_dir, index), m_size);
        std::string fixed(unzip::zip_format::local::kLength, '\0');
        const std::size_t got = bytes.ReadAt(e.headerOffset, fixed.data(), fixed.size());
        const auto span = got == fixed.size() ? unzip::LocalEntrySpan(fixed, e) : std::nullopt;
        if (!span || *span > room - e.headerOffset) {
            return FromStage(StageEntry(m_fs, m_staging, bytes, m_dir, e, room, line));  // refused as damaged
        }
        const std::uint64_t wanted = std::min(e.headerOffset + *span + kDescriptorMargin, room);
        if (wanted <= bytes.Size()) {
            return FromStage(StageEntry(m_fs, m_staging, bytes, m_dir, e, std::min(room, bytes.Size()), line));
        }
        std::unique_ptr<FetchedBytes> alone;
        if (RangesResult fetched = Fetch({e.headerOffset, wanted - e.headerOffset}, alone, true); !fetched.ok)
            return fetched;
        return FromStage(StageEntry(m_fs, m_staging, *alone, m_dir, e, wanted, line));
    }

    HttpClient& m_http;
    core::FileSystem& m_fs;
    Staging& m_staging;
    const std::string& m_url;
    std::uint64_t m_size;
    const unzip::Directory& m_dir;
    const RangeProgress& m_progress;
    std::uint64_t m_received = 0;  // by the requests done
    std::string m_pieces[2];       // the request's piece file, and the one of an entry fetched alone
};

}  // namespace

RangesResult StageByRanges(HttpClient& http, core::FileSystem& fs, Staging& staging, const std::string& url,
                           std::uint64_t archiveSize, const unzip::Directory& dir, const PatchFetch& fetch,
                           const std::vector<StateLine>& files, const RangeProgress& progress) {
    RangesResult result;
    {
        RangeStager stager(http, fs, staging, url, archiveSize, dir, progress);
        result = stager.Run(fetch, files);
    }
    try {
        staging.Save();
    } catch (const core::RuntimeError&) {
        // What passed is fetched again next time; this run still has it.
    }
    return result;
}

}  // namespace update
