#include "updater/update/dir_image.h"

#include <algorithm>

#include "core/crypto.h"
#include "core/numeric.h"
#include "core/runtime_error.h"
#include "updater/update/disk_room.h"
#include "updater/update/download.h"
#include "updater/update/full_check.h"
#include "updater/update/mensajes.h"
#include "updater/update/mod_unzip.h"
#include "updater/update/network_deadline.h"
#include "updater/update/update_run.h"
#include "updater/update/version_file.h"

namespace update {
namespace {

// " (<ms> ms)" since start, and what a check found, for the log.
std::string Found(const CatchUpNeed& need, std::uint64_t ms) {
    std::size_t files = 0;
    for (const auto& [patch, lines] : need.files) files += lines.size();
    return ": " + core::DecimalText(static_cast<std::int64_t>(files)) + " archivos, " +
           core::DecimalText(static_cast<std::int64_t>(need.folders.size())) + " carpetas y " +
           core::DecimalText(static_cast<std::int64_t>(need.deletions.size())) + " borrados pendientes (" +
           core::DecimalText(static_cast<std::int64_t>(ms)) + " ms)";
}

}  // namespace

std::int16_t cDirImage::GetVar() {
    return ReadVersionFile(m_platform.fs, VersionFilePath(m_platform.installFolder), m_platform.decimalSeparator);
}

void cDirImage::WriteVar(std::int16_t value) {
    WriteVersionFile(m_platform.fs, VersionFilePath(m_platform.installFolder), value);
}

CountFetch cDirImage::DameCantParcherh(const std::string& sUrl) {
    return FetchCount(m_platform.http, sUrl, m_platform.clock.NowMs() + m_platform.limits.giveUpMs);
}

std::string cDirImage::GetStringJuego(const std::string& sUrl) {
    const DeadlineScope limit(m_platform.http, m_platform.clock.NowMs() + m_platform.limits.giveUpMs);
    OpenResult opened = m_platform.http.Open(sUrl);
    if (!opened.ok) return {};
    return ReadOnce(*opened.value, kShortTextReadBytes);
}

TrustedCount cDirImage::FetchSignedCount(const std::string& sUrl, const TrustedKeys& keys) {
    return FetchTrustedCount(m_platform.http, m_platform.fs, m_platform.installFolder, sUrl, keys,
                             m_platform.clock.NowMs() + m_platform.limits.giveUpMs);
}

core::Outcome cDirImage::CheckAgainstList(const std::string& path, const ListedPatch& listed) {
    return update::CheckAgainstList(m_platform.fs, path, listed);
}

DownloadResult cDirImage::JuegoActualizacion(const std::string& sUrl, std::optional<std::int64_t> listedSize) {
    DownloadServices services{m_platform.fs,
                              m_platform.http,
                              m_platform.progress,
                              m_platform.pump,
                              m_platform.sleeper,
                              m_platform.clock,
                              m_platform.decimalSeparator,
                              [this](const std::string& line) {
                                  Note("Reintento: " + line);
                                  AddConsole(line, 200, 200, 200, true, false, false);
                              },
                              [this](std::uint64_t bytes) -> std::optional<std::string> {
                                  const std::uint64_t missing = MissingBytes(m_platform.fs, InstallFolder(), bytes);
                                  if (missing == 0) return std::nullopt;
                                  return NoRoomLine(missing, modUnzip::ParcheActual);
                              },
                              m_platform.limits};
    const std::uint64_t start = NowMs();
    DownloadResult result = DownloadPatch(services, sUrl, modUnzip::RutaParche, listedSize);
    std::string event = "Descarga de " + modUnzip::RutaParche;
    if (result.ok) {
        event += " terminada: ";
        try {
            event += core::DecimalText(static_cast<std::int64_t>(m_platform.fs.FileSize(modUnzip::RutaParche)));
        } catch (const core::RuntimeError&) {
            event += "?";
        }
        event += " bytes";
    } else {
        event += " fallida: " + result.reason;
    }
    Note(event + " (" + core::DecimalText(static_cast<std::int64_t>(NowMs() - start)) + " ms)");
    if (result.ok) AddConsole(mensajes::kListo, 204, 255, 0, true, false, false);
    return result;
}

CatchUpNeed cDirImage::CheckInstalled(const InstallState& state, const RunOptions& options) {
    const std::uint64_t start = NowMs();
    if (!options.fullCheck) {
        CatchUpNeed need = QuickCheck(state, m_platform.fs, InstallFolder());
        Note("Comprobación rápida de los archivos" + Found(need, NowMs() - start));
        return need;
    }
    AddConsole(mensajes::kComprobando, 200, 200, 200, true, false, false);
    ShowProgressBar();
    std::int32_t shown = -1;
    const auto progress = [&](std::uint64_t done, std::uint64_t total) {
        const std::int32_t p = total == 0 ? 100 : static_cast<std::int32_t>(std::min(done, total) * 100 / total);
        if (p != shown) {
            m_platform.progress.SetCaption(PercentCaption(p));
            m_platform.progress.SetBarWidthTwips(BarWidthTwips(p));
            shown = p;
        }
        m_platform.pump.ProcessPending();
    };
    try {
        CatchUpNeed need = FullCheck(state, m_platform.fs, InstallFolder(), progress);
        Note("Comprobación completa de los archivos" + Found(need, NowMs() - start));
        return need;
    } catch (const core::crypto::Failure& e) {
        // Without SHA-256 the sizes are all that can be checked.
        CatchUpNeed need = QuickCheck(state, m_platform.fs, InstallFolder());
        Note("Comprobación completa imposible (" + std::string(e.what()) + "), solo de tamaños" +
             Found(need, NowMs() - start));
        return need;
    }
}

void cDirImage::AddConsole(const std::string& Texto, std::uint8_t Rojo, std::uint8_t Verde, std::uint8_t Azul,
                           bool Bold, bool Italic, bool /*Enter: the line break is always added*/) {
    update::AppendConsoleLine(m_platform.console, Texto, update::ConsoleColor(Rojo, Verde, Azul), Bold, Italic);
    SleepB();
}

// The console's pause, with the window alive through it.
void cDirImage::SleepB() { WaitPumping(m_platform.sleeper, m_platform.clock, m_platform.pump, 100, 10); }

void cDirImage::RedLine(const std::string& text) {
    Note("Búsqueda detenida: " + text);
    AddConsole(text, 255, 0, 0, true, false, false);
}

void cDirImage::ShowProgressBar() { m_platform.progress.SetBarVisible(true); }

void cDirImage::DeleteInstalledArchive(const std::string& path) { m_platform.fs.DeleteFile(path); }

void cDirImage::DiscardFailedArchive(const std::string& path) { m_platform.fs.RemoveIfExists(path); }

void cDirImage::PlayUpdatedSound() {
    m_platform.sound.PlayFileSync(m_platform.installFolder + "\\Recursos\\OUTPUT\\Actualizado.wav");
}

bool cDirImage::Shell() { return m_platform.launcher.ShellOpen(m_platform.installFolder + "/Vandrel.exe", "1", ""); }

}  // namespace update
