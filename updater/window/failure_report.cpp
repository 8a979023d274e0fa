#include "updater/window/failure_report.h"

#include <cstdlib>

#include "core/error_box.h"
#include "core/runtime_error.h"
#include "updater/update/mensajes.h"

namespace window {
namespace {

constexpr std::size_t kMaxDetail = 300;

// Cuts text to at most kMaxDetail bytes without splitting a UTF-8 sequence.
std::string Shortened(std::string text) {
    if (text.size() <= kMaxDetail) return text;
    std::size_t cut = kMaxDetail;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
    text += "...";
    return text;
}

}  // namespace

FailureReport DescribeFailure(std::exception_ptr error) {
    try {
        if (error) std::rethrow_exception(error);
    } catch (const core::RuntimeError& e) {
        return {core::ErrorBoxText(e, core::ErrorDetail::Hidden), e.Number()};
    } catch (const std::exception& e) {
        std::string text = update::mensajes::kErrorInesperado;
        const std::string detail = Shortened(e.what());
        if (!detail.empty()) {
            text += ": ";
            text += detail;
        } else {
            text += ".";
        }
        return {text, 1};
    } catch (...) {
    }
    return {std::string(update::mensajes::kErrorInesperado) + ".", 1};
}

std::string FailureEvent(std::exception_ptr error) {
    std::string event = "Error: " + DescribeFailure(error).text;
    try {
        if (error) std::rethrow_exception(error);
    } catch (const core::RuntimeError& e) {
        if (!e.Detail().empty()) event += "; detalle: " + e.Detail();
    } catch (...) {
    }
    return event;
}

void ReportAndEnd(std::exception_ptr error, update::Dialogs& dialogs, update::Log& log) {
    log.Write(FailureEvent(error));
    const FailureReport report = DescribeFailure(error);
    dialogs.ShowMessage(report.text, update::mensajes::kTitulo, core::BoxStyle::Error);
    dialogs.EndProgram(report.exitCode);
    std::abort();  // EndProgram does not return; the compiler cannot see that through the seam
}

}  // namespace window
