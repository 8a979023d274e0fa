#include "updater/window/run_log.h"

#include <cstdlib>

#include "core/error_box.h"
#include "core/numeric.h"
#include "updater/update/version_file.h"

namespace window {

std::string StartEvent(std::string_view programVersion, core::FileSystem& fs, const std::string& folder,
                       char decimalSeparator, std::string_view baseUrl, std::size_t keys) {
    std::string event = "Inicio de Updater ";
    event += programVersion;
    event += " en " + folder + "; versión instalada ";
    try {
        event += core::DecimalText(update::ReadVersionFile(fs, update::VersionFilePath(folder), decimalSeparator));
    } catch (const core::RuntimeError& e) {
        event += "ilegible (" + core::ErrorBoxText(e, core::ErrorDetail::Hidden) + ")";
    }
    event += "; servidor " + update::WithoutCredentials(baseUrl) + "; claves incorporadas: ";
    event += keys == 0 ? std::string("ninguna") : core::DecimalText(static_cast<std::int64_t>(keys));
    return event;
}

void LoggedDialogs::ShowMessage(const std::string& text, const std::string& caption, core::BoxStyle style) {
    m_log.Write("Cuadro: " + text);
    m_inner.ShowMessage(text, caption, style);
}

void LoggedDialogs::EndProgram(int exitCode) {
    m_log.Write("Fin de Updater: código de salida " + core::DecimalText(exitCode) + " tras " +
                core::DecimalText(static_cast<std::int64_t>(m_clock.NowMs() - m_startMs)) + " ms");
    m_inner.EndProgram(exitCode);
    std::abort();  // EndProgram does not return; the compiler cannot see that through the seam
}

}  // namespace window
