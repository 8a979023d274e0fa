#include "updater/update/dir_image.h"

#include "updater/update/mensajes.h"

#include "updater/update/download.h"
#include "updater/update/mod_unzip.h"
#include "updater/update/version_file.h"

namespace update {

std::int16_t cDirImage::GetVar() {
    return ReadVersionFile(m_platform.fs, VersionFilePath(m_platform.installFolder), m_platform.decimalSeparator);
}

void cDirImage::WriteVar(std::int16_t value) {
    WriteVersionFile(m_platform.fs, VersionFilePath(m_platform.installFolder), value);
}

CountFetch cDirImage::DameCantParcherh(const std::string& sUrl) { return FetchCount(m_platform.http, sUrl); }

std::string cDirImage::GetStringJuego(const std::string& sUrl) { return FetchShortText(m_platform.http, sUrl); }

DownloadResult cDirImage::JuegoActualizacion(const std::string& sUrl, std::optional<std::int64_t> listedSize) {
    DownloadResult result = DownloadPatch(m_platform, sUrl, modUnzip::RutaParche, listedSize);
    if (result.ok) AddConsole(mensajes::kListo, 204, 255, 0, true, false, false);
    return result;
}

void cDirImage::AddConsole(const std::string& Texto, std::uint8_t Rojo, std::uint8_t Verde, std::uint8_t Azul,
                           bool Bold, bool Italic, bool /*Enter: the line break is always added*/) {
    update::AppendConsoleLine(m_platform.console, Texto, update::ConsoleColor(Rojo, Verde, Azul), Bold, Italic);
    SleepB();
}

void cDirImage::SleepB() { m_platform.sleeper.SleepMs(100); }

bool cDirImage::Shell() { return m_platform.launcher.ShellOpen(m_platform.installFolder + "/Vandrel.exe", "1", ""); }

}  // namespace update
