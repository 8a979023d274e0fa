#include "updater/update/download.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "core/numeric.h"
#include "core/runtime_error.h"
#include "updater/update/mensajes.h"
#include "updater/update/network_deadline.h"
#include "updater/update/resume_headers.h"
#include "updater/update/resume_record.h"

namespace update {
namespace {

constexpr int kHttpRangeNotSatisfiable = 416;
constexpr unsigned kWaitSliceMs = 50;

// Gathers the 1 KiB chunks into larger writes; the bytes on disk are exactly those appended.
class BufferedSink {
public:
    explicit BufferedSink(std::unique_ptr<core::FileWriter> writer) : m_writer(std::move(writer)) {
        m_buffer.reserve(kCapacity);
    }
    void Append(const char* data, std::size_t size) {
        if (m_buffer.size() + size > kCapacity) Flush();
        m_buffer.insert(m_buffer.end(), data, data + size);
    }
    // Everything appended reaches the file before it is closed. Not forced to the disk: the
    // archive lives until its extraction, which checks every entry's CRC, so a power cut can
    // cost a download again but never install damaged bytes, and a download need not wait for
    // the disk.
    void Close() {
        Flush();
        m_writer.reset();
    }

private:
    static constexpr std::size_t kCapacity = 64 * 1024;
    void Flush() {
        if (m_buffer.empty()) return;
        m_writer->Write(m_buffer.data(), m_buffer.size());
        m_buffer.clear();
    }
    std::unique_ptr<core::FileWriter> m_writer;
    std::vector<char> m_buffer;
};

// How one request ended.
enum class AttemptEnd {
    Done,       // the whole archive is on disk
    Transient,  // worth another attempt, from the bytes on disk
    StartOver,  // worth another attempt, from byte 0 (the part offered did not fit)
    Fatal,      // no attempt will do better
};

struct Attempt {
    AttemptEnd end = AttemptEnd::Done;
    std::string reason;
    std::optional<unsigned> retryAfter;
    bool endsProgram = false;
    bool noRoom = false;  // nothing was written: the disk cannot hold the rest
};

Attempt Ends(AttemptEnd end, std::string reason) { return {end, std::move(reason), std::nullopt, false, false}; }

std::string CannotWrite(const std::string& target, const core::RuntimeError& e) {
    return mensajes::NoSeEscribio(target, e.Description());
}

// One patch's download: the attempts, the file and its record, the progress shown.
class PatchDownload {
public:
    PatchDownload(DownloadServices& services, const std::string& url, const std::string& target,
                  std::optional<std::int64_t> listedSize)
        : m_s(services),
          m_url(url),
          m_target(target),
          m_listedSize(listedSize),
          m_watch(services.clock.NowMs(), services.limits) {}

    DownloadResult Run() {
        const DeadlineScope limit(m_s.http, 0);
        Adopt();
        m_best = m_have;
        int streak = 0;  // attempts in a row without progress
        for (;;) {
            Attempt a = Once();
            if (a.end == AttemptEnd::Done) {
                RemoveResumeRecord(m_s.fs, m_target);
                m_s.progress.SetBarWidthTwips(0.0f);
                return {};
            }
            if (a.endsProgram) return DownloadResult::Failure(std::move(a.reason), DownloadFailure::Program);
            if (a.noRoom) {
                m_s.progress.SetBarWidthTwips(0.0f);
                return DownloadResult::Failure(std::move(a.reason), DownloadFailure::NoRoom);
            }
            if (a.end == AttemptEnd::Fatal) return Fail(std::move(a.reason), true);
            if (a.end == AttemptEnd::StartOver) Discard();
            streak = m_watch.TakeProgress() ? 0 : streak + 1;
            const unsigned seconds =
                a.retryAfter ? std::min(*a.retryAfter, kMaxRetryAfterSeconds) : 1u << std::max(streak - 1, 0);
            // No attempt is started that the budget without progress would cut short at once.
            if (streak >= kMaxAttempts || m_watch.Spent(m_s.clock.NowMs() + seconds * 1000u))
                return Fail(std::move(a.reason), !Resumable());
            if (m_s.announce)
                m_s.announce(mensajes::Reintento(a.reason, Resumable(), seconds, streak + 1, kMaxAttempts));
            WaitPumping(m_s.sleeper, m_s.clock, m_s.pump, seconds * 1000u, kWaitSliceMs);
        }
    }

private:
    bool Resumable() const { return !m_validator.empty() && m_have > 0; }

    // Takes over what an earlier start left: its bytes count when the record names this URL
    // (and the listed size, when there is a list) and the file is no longer than the archive it
    // describes; otherwise both go.
    void Adopt() {
        const auto record = ReadResumeRecord(m_s.fs, m_target);
        if (record && record->url == m_url && (!m_listedSize || record->total == *m_listedSize)) {
            const std::uint64_t size = SizeOnDisk();
            if (size > 0 && size < static_cast<std::uint64_t>(record->total)) {
                m_have = size;
                m_total = record->total;
                m_validator = record->validator;
                return;
            }
        }
        RemoveResumeRecord(m_s.fs, m_target);
    }

    // Forgets the bytes on disk: the record first, so that no later start trusts them.
    void Discard() {
        RemoveResumeRecord(m_s.fs, m_target);
        m_s.fs.RemoveIfExists(m_target);
        m_have = 0;
        m_validator.clear();
    }

    DownloadResult Fail(std::string reason, bool removeFile) {
        if (removeFile) Discard();
        m_s.progress.SetBarWidthTwips(0.0f);
        return DownloadResult::Failure(std::move(reason));
    }

    // The bytes on disk, 0 when the file is gone or cannot be looked at.
    std::uint64_t SizeOnDisk() {
        try {
            return m_s.fs.FileExists(m_target) ? m_s.fs.FileSize(m_target) : 0;
        } catch (const core::RuntimeError&) {
            return 0;
        }
    }

    Attempt Once() {
        // A part is only asked for behind exactly the bytes counted (the file may have gone).
        if (Resumable() && SizeOnDisk() != m_have) Discard();
        RangeRequest range;
        if (Resumable()) range = {m_have, m_validator};
        m_s.http.SetDeadline(m_watch.CallDeadline(m_s.clock.NowMs()));
        OpenResult opened = m_s.http.OpenRange(m_url, range);
        if (!opened.ok)
            return Ends(opened.code == OpenFault::Transient ? AttemptEnd::Transient : AttemptEnd::Fatal, opened.reason);
        HttpResponse& response = *opened.value;

        const int status = response.StatusCode();
        std::unique_ptr<BufferedSink> sink;
        if (status == kHttpPartial && range.from > 0) {
            if (!PartFits(response)) return Ends(AttemptEnd::StartOver, mensajes::kParteEquivocada);
            if (auto refused = NoRoom(static_cast<std::uint64_t>(m_total) - m_have)) return *refused;
            try {
                sink = std::make_unique<BufferedSink>(m_s.fs.AppendFile(m_target));
            } catch (const core::RuntimeError& e) {
                return Ends(AttemptEnd::Fatal, CannotWrite(m_target, e));
            }
        } else if (status == kHttpOk) {
            Attempt refused;
            sink = Restart(response, refused);
            if (!sink) return refused;
        } else if (status == kHttpRangeNotSatisfiable && range.from > 0) {
            return Ends(AttemptEnd::StartOver, mensajes::kParteEquivocada);
        } else {
            const std::string why = mensajes::Respondio(core::DecimalText(status));
            if (!IsTransientStatus(status)) return Ends(AttemptEnd::Fatal, why);
            Attempt again = Ends(AttemptEnd::Transient, why);
            again.retryAfter = RetryAfterSeconds(response);
            return again;
        }
        m_watch.BodyStarts(m_s.clock.NowMs());
        Attempt a = Body(response, *sink);
        m_watch.BodyEnds();
        // Whatever arrived stays on disk for the next attempt; a file fault ends the download.
        try {
            sink->Close();
        } catch (const core::RuntimeError& e) {
            return Ends(AttemptEnd::Fatal, CannotWrite(m_target, e));
        }
        return a;
    }

    // The attempt that ends the download when the disk cannot hold bytes more; nothing otherwise.
    std::optional<Attempt> NoRoom(std::uint64_t bytes) {
        if (!m_s.roomFor || bytes == 0) return std::nullopt;
        std::optional<std::string> line = m_s.roomFor(bytes);
        if (!line) return std::nullopt;
        Attempt a = Ends(AttemptEnd::Fatal, std::move(*line));
        a.noRoom = true;
        return a;
    }

    // A 206 continues the file only when it starts where the file ends, belongs to an archive
    // of the size first announced, and says how much follows.
    bool PartFits(HttpResponse& response) {
        const auto contentRange = response.HeaderText(Header::ContentRange);
        const auto part = contentRange ? ParseContentRange(*contentRange) : std::nullopt;
        if (!part || part->first != m_have || part->total != static_cast<std::uint64_t>(m_total) ||
            part->last + 1 != part->total) {
            return false;
        }
        const auto length = response.ContentLengthText();
        return length && *length == core::DecimalText(static_cast<std::int64_t>(part->total - part->first));
    }

    // A whole archive (200): the old bytes and record go before the new ones arrive, then the
    // new record is written when the server gave a validator. Null with refused set otherwise.
    std::unique_ptr<BufferedSink> Restart(HttpResponse& response, Attempt& refused) {
        const std::optional<std::string> lengthText = response.ContentLengthText();
        if (!lengthText) {
            refused = Ends(AttemptEnd::Fatal, mensajes::kSinTamano);
            refused.endsProgram = true;
            return nullptr;
        }
        const std::int32_t announced = core::LocaleToInt32(*lengthText, m_s.decimalSeparator);
        if (announced < 0) {
            refused = Ends(AttemptEnd::Fatal, mensajes::kTamanoNegativo);
            return nullptr;
        }
        if (m_listedSize && announced != *m_listedSize) {
            refused = Ends(AttemptEnd::Fatal, mensajes::kNoCoincideConLista);
            return nullptr;
        }
        // The whole archive replaces the bytes on disk, which free their room.
        const std::uint64_t onDisk = SizeOnDisk();
        const auto whole = static_cast<std::uint64_t>(announced);
        if (auto lacking = NoRoom(whole > onDisk ? whole - onDisk : 0)) {
            refused = *lacking;
            return nullptr;
        }
        RemoveResumeRecord(m_s.fs, m_target);
        m_have = 0;
        m_total = announced;
        m_validator = StrongValidator(response).value_or("");
        try {
            auto sink = std::make_unique<BufferedSink>(m_s.fs.CreateFile(m_target));
            if (!m_validator.empty() && m_total > 0) WriteResumeRecord(m_s.fs, m_target, {m_url, m_validator, m_total});
            return sink;
        } catch (const core::RuntimeError& e) {
            refused = Ends(AttemptEnd::Fatal, CannotWrite(m_target, e));
            return nullptr;
        }
    }

    Attempt Body(HttpResponse& response, BufferedSink& sink) {
        std::array<char, kChunkBytes> chunk{};
        for (;;) {
            m_s.http.SetDeadline(m_watch.CallDeadline(m_s.clock.NowMs()));
            const ReadResult r = response.Read(chunk.data(), chunk.size());
            const std::uint64_t now = m_s.clock.NowMs();
            const bool broke = r.status == ReadStatus::TimedOut || r.status == ReadStatus::Failed;
            if (broke && !m_watch.KeepsPace(now)) return Ends(AttemptEnd::Transient, mensajes::kDemasiadoLento);
            if (r.status == ReadStatus::TimedOut) return Ends(AttemptEnd::Transient, mensajes::kSinRespuesta);
            if (r.status == ReadStatus::Failed) {
                std::string reason = mensajes::kConexionCortada;
                if (r.systemError != 0) {
                    reason += " (código ";
                    reason += core::DecimalText(static_cast<std::int64_t>(r.systemError));
                    reason += ")";
                }
                return Ends(AttemptEnd::Transient, reason);
            }
            if (r.status == ReadStatus::End || r.count == 0) break;
            if (m_have + r.count > static_cast<std::uint64_t>(m_total)) {
                return Ends(AttemptEnd::Fatal, mensajes::kDatosDeMas);
            }
            m_have += r.count;
            m_watch.Arrived(r.count, m_have > m_best, now);
            m_best = std::max(m_best, m_have);
            const std::int32_t p = Percent(static_cast<double>(m_have), m_total);
            if (p != m_previous) {
                m_s.progress.SetCaption(PercentCaption(p));
                m_s.progress.SetBarWidthTwips(BarWidthTwips(p));
                m_previous = core::ToInt16(p);
            }
            try {
                sink.Append(chunk.data(), r.count);
            } catch (const core::RuntimeError& e) {
                return Ends(AttemptEnd::Fatal, CannotWrite(m_target, e));
            }
            m_s.pump.ProcessPending();
            if (!m_watch.KeepsPace(now)) return Ends(AttemptEnd::Transient, mensajes::kDemasiadoLento);
        }
        // WinINet reports a connection closed before the announced length as a clean end.
        if (m_have < static_cast<std::uint64_t>(m_total)) return Ends(AttemptEnd::Transient, mensajes::kIncompleta);
        return {};
    }

    DownloadServices& m_s;
    const std::string& m_url;
    const std::string& m_target;
    const std::optional<std::int64_t> m_listedSize;  // the signed list's size of this archive
    std::uint64_t m_have = 0;                        // bytes of the archive in the file
    std::uint64_t m_best = 0;                        // the most bytes the file ever held
    ProgressWatch m_watch;
    std::int32_t m_total = 0;     // the archive's announced size
    std::string m_validator;      // empty: the bytes cannot be continued
    std::int16_t m_previous = 0;  // the percentage last shown
};

}  // namespace

std::string PercentCaption(std::int32_t percent) {
    std::string caption = "[";
    caption += core::DecimalText(percent);
    caption += "% Completado.]";
    return caption;
}

float BarWidthTwips(std::int32_t percent) {
    return static_cast<float>(static_cast<double>(core::CheckedMul32(percent, kFullBarTwips)) / 100.0);
}

std::int32_t Percent(double total, std::int32_t announced) {
    return core::ToInt32(core::RoundHalfEven(total / static_cast<double>(announced) * 100.0));
}

DownloadResult DownloadPatch(DownloadServices& services, const std::string& url, const std::string& target,
                             std::optional<std::int64_t> listedSize) {
    return PatchDownload(services, url, target, listedSize).Run();
}

}  // namespace update
