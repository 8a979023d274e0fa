#include "updater/update/update_run.h"

#include "core/numeric.h"
#include "updater/unzip/mod_unzip.h"

namespace update {
namespace {

void RedLine(cDirImage& dir, const std::string& text) { dir.AddConsole(text, 255, 0, 0, true, false, false); }

}  // namespace

std::string CountUrl(const std::string& baseUrl) { return baseUrl + "parches/version.txt"; }

std::string PatchUrl(const std::string& baseUrl, const std::string& patchText) {
    return baseUrl + "parches/" + patchText + ".zip";
}

void BuscarActualizaciones(cDirImage& dir, Extractor& extractor, const std::string& baseUrl) {
    Platform& platform = dir.Services();
    dir.AddConsole("Buscando Actualizaciones...", 255, 255, 255, true, false, false);

    // A count that could not be fetched must never reset the installation.
    const CountFetch fetch = dir.DameCantParcherh(CountUrl(baseUrl));
    if (!fetch.fetched) {
        RedLine(dir, "No se pudo conectar con el servidor de actualizaciones.");
        return;
    }
    const std::int16_t remote = fetch.count;
    std::int16_t local = dir.GetVar();
    if (remote < local) {
        local = 0;
        dir.WriteVar(0);
    }
    const std::int16_t missing = core::CheckedSub16(remote, local);

    if (missing > 0) {
        platform.progress.SetBarVisible(true);
        dir.AddConsole("Iniciando, se instalaran " + core::DecimalText(missing) + " actualizaciones.", 200, 200, 200,
                       true, false, false);
        for (std::int32_t i = 1; i <= missing; ++i) {
            modUnzip::ParcheActual = core::DecimalText(core::CheckedAdd32(local, i));
            modUnzip::RutaParche = platform.installFolder + "\\" + modUnzip::ParcheActual + ".zip";
            dir.AddConsole("Instalando actualizacion " + modUnzip::ParcheActual + "...", 0, 255, 0, true, false, false);

            Outcome outcome = dir.JuegoActualizacion(PatchUrl(baseUrl, modUnzip::ParcheActual));
            if (outcome.ok) outcome = extractor.Extract(modUnzip::RutaParche, platform.installFolder + "\\");
            if (!outcome.ok) {
                // Stop here: later patches build on this one, and the version must not advance.
                platform.fs.RemoveIfExists(modUnzip::RutaParche);
                RedLine(dir,
                        "No se pudo instalar la actualizacion " + modUnzip::ParcheActual + ": " + outcome.reason + ".");
                return;
            }
            platform.fs.DeleteFile(modUnzip::RutaParche);
        }
    }

    dir.WriteVar(remote);
    dir.AddConsole("Juego actualizado correctamente.", 255, 255, 0, true, false, false);
    platform.sound.PlayFileSync(platform.installFolder + "\\Recursos\\OUTPUT\\Actualizado.wav");
}

}  // namespace update
