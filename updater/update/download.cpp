#include "updater/update/download.h"

#include <array>
#include <memory>
#include <vector>

#include "core/numeric.h"
#include "core/runtime_error.h"
#include "updater/update/mensajes.h"

namespace update {
namespace {

constexpr int kHttpOk = 200;

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
    void Commit() {
        Flush();
        m_writer->Commit();
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

// Ends a failed download: the partial archive goes, the bar returns to 0.
DownloadResult Fail(Platform& platform, const std::string& target, bool fileTouched, std::string reason) {
    if (fileTouched) platform.fs.RemoveIfExists(target);
    platform.progress.SetBarWidthTwips(0.0f);
    return DownloadResult::Failure(std::move(reason));
}

std::string CannotWrite(const std::string& target, const core::RuntimeError& e) {
    return mensajes::NoSeEscribio(target, e.Description());
}

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

DownloadResult DownloadPatch(Platform& platform, const std::string& url, const std::string& target,
                             std::optional<std::int64_t> listedSize) {
    OpenResult opened = platform.http.Open(url);
    if (!opened.response) return Fail(platform, target, false, opened.failure);
    HttpResponse& response = *opened.response;

    const int status = response.StatusCode();
    if (status != kHttpOk) return Fail(platform, target, false, mensajes::Respondio(core::DecimalText(status)));

    const std::optional<std::string> lengthText = response.ContentLengthText();
    if (!lengthText) return DownloadResult::Failure(mensajes::kSinTamano, ProgramEnd{mensajes::kSinTamano, 1});
    const std::int32_t announced = core::LocaleToInt32(*lengthText, platform.decimalSeparator);
    if (announced < 0) return Fail(platform, target, false, mensajes::kTamanoNegativo);
    if (listedSize && announced != *listedSize) return Fail(platform, target, false, mensajes::kNoCoincideConLista);

    std::unique_ptr<BufferedSink> sink;
    try {
        sink = std::make_unique<BufferedSink>(platform.fs.CreateFile(target));
    } catch (const core::RuntimeError& e) {
        return Fail(platform, target, false, CannotWrite(target, e));
    }

    // Closes the archive before it is removed (an open file cannot be deleted on Windows).
    auto failWritten = [&](std::string reason) {
        sink.reset();
        return Fail(platform, target, true, std::move(reason));
    };

    std::array<char, kChunkBytes> chunk{};
    double total = 0.0;
    std::int16_t previous = 0;
    for (;;) {
        const ReadResult r = response.Read(chunk.data(), chunk.size());
        if (r.status == ReadStatus::TimedOut) {
            return failWritten(mensajes::kSinRespuesta);
        }
        if (r.status == ReadStatus::Failed) {
            std::string reason = mensajes::kConexionCortada;
            if (r.systemError != 0) {
                reason += " (código ";
                reason += core::DecimalText(static_cast<std::int64_t>(r.systemError));
                reason += ")";
            }
            return failWritten(reason);
        }
        if (r.status == ReadStatus::End || r.count == 0) break;
        if (total + static_cast<double>(r.count) > static_cast<double>(announced)) {
            return failWritten(mensajes::kDatosDeMas);
        }
        total += static_cast<double>(r.count);
        const std::int32_t p = Percent(total, announced);
        if (p != previous) {
            platform.progress.SetCaption(PercentCaption(p));
            platform.progress.SetBarWidthTwips(BarWidthTwips(p));
            previous = core::ToInt16(p);
        }
        try {
            sink->Append(chunk.data(), r.count);
        } catch (const core::RuntimeError& e) {
            return failWritten(CannotWrite(target, e));
        }
        platform.pump.ProcessPending();
    }
    if (total < static_cast<double>(announced)) return failWritten(mensajes::kIncompleta);
    try {
        sink->Commit();
        sink.reset();
    } catch (const core::RuntimeError& e) {
        return failWritten(CannotWrite(target, e));
    }
    opened.response.reset();
    platform.progress.SetBarWidthTwips(0.0f);
    return {};
}

}  // namespace update
