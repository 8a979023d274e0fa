#include "updater/update/update_run.h"

#include "core/numeric.h"
#include "updater/update/catch_up.h"
#include "updater/update/mensajes.h"
#include "updater/update/mod_unzip.h"

namespace update {
namespace {

void RedLine(cDirImage& dir, const std::string& text) { dir.RedLine(text); }

// The end of the run after a catch-up or repair that did not finish: the program's end a
// download asked for, or nothing (its red line is shown).
std::optional<ProgramEnd> EndOf(const CatchUpResult& result) {
    if (result.code == CatchUpFailure::Program) return ProgramEnd{result.reason, 1};
    return std::nullopt;
}

void Updated(cDirImage& dir, std::int16_t remote) {
    dir.WriteVar(remote);
    dir.Note("Búsqueda terminada: juego actualizado, versión " + core::DecimalText(remote));
    dir.AddConsole(mensajes::kActualizado, 255, 255, 0, true, false, false);
    dir.PlayUpdatedSound();
}

std::string Ms(std::uint64_t start, cDirImage& dir) {
    return " (" + core::DecimalText(static_cast<std::int64_t>(dir.NowMs() - start)) + " ms)";
}

std::string Decimal(std::uint64_t value) { return core::DecimalText(static_cast<std::int64_t>(value)); }

}  // namespace

std::string CountUrl(const std::string& baseUrl) { return baseUrl + "parches/version.txt"; }

std::string PatchUrl(const std::string& baseUrl, const std::string& patchText) {
    return baseUrl + "parches/" + patchText + ".zip";
}

std::optional<ProgramEnd> BuscarActualizaciones(cDirImage& dir, Extractor& extractor, const std::string& baseUrl,
                                                const TrustedKeys& keys, const RunOptions& options) {
    // A catch-up or repair cut short after its journal was written is finished before anything else.
    if (!keys.empty()) {
        if (const CatchUpResult finished = dir.FinishInterruptedApply(); !finished.ok) return EndOf(finished);
    }
    dir.AddConsole(mensajes::kBuscando, 255, 255, 255, true, false, false);

    // A count that could not be fetched must never reset the installation.
    // With built-in keys, only a signed list that is not older than the last one counts.
    std::optional<SignedList> list;
    std::int16_t remote = 0;
    if (keys.empty()) {
        const CountFetch fetch = dir.DameCantParcherh(CountUrl(baseUrl));
        if (!fetch.ok) {
            dir.Note("Sin número de actualizaciones: " + fetch.reason);
            RedLine(dir, mensajes::kSinConexion);
            return std::nullopt;
        }
        remote = fetch.value;
    } else {
        TrustedCount counted = dir.FetchSignedCount(CountUrl(baseUrl), keys);
        if (!counted.ok) {
            dir.Note("Lista firmada no aceptada: " + counted.reason);
            RedLine(dir, counted.code == ListRefusal::NotRead ? mensajes::kSinConexion : counted.reason);
            return std::nullopt;
        }
        remote = counted.value.count;
        list = std::move(counted.value);
    }
    std::int16_t local = dir.GetVar();
    dir.Note("Versión instalada " + core::DecimalText(local) + "; el servidor tiene " + core::DecimalText(remote) +
             " actualizaciones" + (list ? "; lista firmada, serie " + core::DecimalText(list->serie) : ""));
    if (remote < local) {
        local = 0;
        dir.WriteVar(0);
    }
    const std::int16_t missing = core::CheckedSub16(remote, local);

    // With a signed state of the installation, each changed file is fetched once and the files
    // of an up-to-date installation are checked; without one, patch after patch as always.
    if (list) {
        const StateRead state = dir.ObtainState(*list, keys, baseUrl);
        if (state.ok) {
            if (missing > 0) {
                dir.ShowProgressBar();
                dir.AddConsole(mensajes::Iniciando(core::DecimalText(missing)), 200, 200, 200, true, false, false);
                const CatchUpNeed need = dir.NeedSince(state.value, local);
                if (const CatchUpResult r = dir.BringToState(state.value, *list, need, baseUrl, remote); !r.ok)
                    return EndOf(r);
            }
            // Up to date now: the files the catch-up did not touch are checked too (all of
            // them with /reparar), and what differs is fetched again.
            const CatchUpNeed need = dir.CheckInstalled(state.value, options);
            if (!need.Empty()) {
                if (const CatchUpResult r = dir.BringToState(state.value, *list, need, baseUrl, std::nullopt); !r.ok)
                    return EndOf(r);
            }
            Updated(dir, remote);
            return std::nullopt;
        }
    }

    if (missing > 0) {
        dir.ShowProgressBar();
        dir.AddConsole(mensajes::Iniciando(core::DecimalText(missing)), 200, 200, 200, true, false, false);
        for (std::int32_t i = 1; i <= missing; ++i) {
            modUnzip::ParcheActual = core::DecimalText(core::CheckedAdd32(local, i));
            modUnzip::RutaParche = dir.InstallFolder() + "\\" + modUnzip::ParcheActual + ".zip";
            dir.AddConsole(mensajes::Instalando(modUnzip::ParcheActual), 0, 255, 0, true, false, false);

            const ListedPatch* listed = list ? ListedFor(*list, core::CheckedAdd32(local, i)) : nullptr;
            if (list && !listed) {
                RedLine(dir, mensajes::NoInstalada(modUnzip::ParcheActual, mensajes::kNoCoincideConLista));
                return std::nullopt;
            }
            const DownloadResult downloaded = dir.JuegoActualizacion(
                PatchUrl(baseUrl, modUnzip::ParcheActual), listed ? std::optional(listed->size) : std::nullopt);
            // The window shows its box and ends the program.
            if (downloaded.code == DownloadFailure::Program) {
                dir.Note("Búsqueda detenida, el programa termina: " + downloaded.reason);
                return ProgramEnd{downloaded.reason, 1};
            }
            // Nothing written: the partial archive stays for the next start.
            if (!downloaded.ok && downloaded.code == DownloadFailure::NoRoom) {
                RedLine(dir, downloaded.reason);
                return std::nullopt;
            }
            core::Outcome outcome = downloaded;
            if (outcome.ok) {
                // The zip reader sees no byte of an archive the signed list does not describe.
                if (listed) {
                    const std::uint64_t start = dir.NowMs();
                    outcome = dir.CheckAgainstList(modUnzip::RutaParche, *listed);
                    dir.Note(modUnzip::RutaParche + (outcome.ok ? " coincide con la lista firmada" : " rechazado: ") +
                             outcome.reason + Ms(start, dir));
                }
                if (outcome.ok) {
                    const std::uint64_t start = dir.NowMs();
                    const ExtractResult extracted = extractor.Extract(modUnzip::RutaParche, dir.InstallFolder() + "\\");
                    dir.Note(extracted.ok
                                 ? modUnzip::RutaParche + " extraído: " + Decimal(extracted.value.entries) +
                                       " entradas, " + Decimal(extracted.value.bytes) + " bytes" + Ms(start, dir)
                                 : "Extracción de " + modUnzip::RutaParche + " fallida: " + extracted.reason +
                                       Ms(start, dir));
                    // The archive goes as for any refusal: its room is part of what is missing.
                    if (!extracted.ok && extracted.code == ExtractFailure::NoRoom) {
                        dir.DiscardFailedArchive(modUnzip::RutaParche);
                        RedLine(dir, extracted.reason);
                        return std::nullopt;
                    }
                    outcome = extracted;
                }
                if (!outcome.ok) dir.DiscardFailedArchive(modUnzip::RutaParche);
            }
            if (!outcome.ok) {
                // Stop here: later patches build on this one. A download that can be continued
                // left its partial archive for the next start.
                RedLine(dir, mensajes::NoInstalada(modUnzip::ParcheActual, outcome.reason));
                return std::nullopt;
            }
            dir.DeleteInstalledArchive(modUnzip::RutaParche);
            // Recorded at once, so that a run cut short later starts at the next patch.
            dir.WriteVar(core::ToInt16(core::CheckedAdd32(local, i)));
            dir.Note("Versión instalada ahora: " + modUnzip::ParcheActual);
        }
    }

    Updated(dir, remote);
    return std::nullopt;
}

}  // namespace update
