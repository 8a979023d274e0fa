// cDirImage: the one service object of Updater. Every service the update run and the window
// use (version file, server texts, download, console, game launch) is a method here, working
// through the Platform seams it is given and never handing them out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/outcome.h"
#include "updater/update/catch_up_plan.h"
#include "updater/update/download.h"
#include "updater/update/platform.h"
#include "updater/update/remote_text.h"
#include "updater/update/state_file.h"
#include "updater/update/trusted_list.h"

namespace update {

struct RunOptions;

// How a catch-up or a repair ends when it does not bring the installation to the state: stopped
// with its red line shown (the reason is the line), or the end of the program that a download
// asked for (the reason is the box's text).
enum class CatchUpFailure { Stopped, Program };
using CatchUpResult = core::Result<std::monostate, CatchUpFailure>;

class cDirImage {
public:
    explicit cDirImage(Platform& platform) : m_platform(platform) {}
    cDirImage(const cDirImage&) = delete;
    cDirImage& operator=(const cDirImage&) = delete;

    // Version file (raise core::RuntimeError on failure).
    std::int16_t GetVar();
    void WriteVar(std::int16_t value);

    // Server texts.
    CountFetch DameCantParcherh(const std::string& sUrl);
    // The first bytes (at most 255, one read) of a resource; empty on any failure.
    std::string GetStringJuego(const std::string& sUrl);
    // The signed list in place of the count, for an Updater built with keys.
    TrustedCount FetchSignedCount(const std::string& sUrl, const TrustedKeys& keys);
    // A downloaded archive against its line in the signed list.
    core::Outcome CheckAgainstList(const std::string& path, const ListedPatch& listed);

    // Downloads sUrl into modUnzip::RutaParche with the progress display; ends with "Listo."
    // on success. A response without Content-Length asks for the end of the program; one
    // whose length is not listedSize fails before its body is read; one the installation's disk
    // cannot hold fails as NoRoom. Its retries and its end go to the log.
    DownloadResult JuegoActualizacion(const std::string& sUrl, std::optional<std::int64_t> listedSize = std::nullopt);

    // Updater.log: one event, and the clock that times the steps it reports.
    void Note(const std::string& event) { m_platform.log.Write(event); }
    std::uint64_t NowMs() { return m_platform.clock.NowMs(); }

    // Console: one line, then SleepB.
    void AddConsole(const std::string& Texto, std::uint8_t Rojo, std::uint8_t Verde, std::uint8_t Azul, bool Bold,
                    bool Italic, bool Enter);
    void SleepB();

    // Starts the game: installation folder + "/Vandrel.exe" with the parameter "1".
    // Returns false when the shell reports failure.
    bool Shell();

    // For the update run: the installation folder (UTF-8, no trailing separator), the progress
    // bar, the patch archive's removal (an installed one must still be there; a failed one may
    // already be gone), and the closing sound.
    const std::string& InstallFolder() const { return m_platform.installFolder; }
    void ShowProgressBar();
    void DeleteInstalledArchive(const std::string& path);
    void DiscardFailedArchive(const std::string& path);
    void PlayUpdatedSound();
    // The run's red line: logged, then shown.
    void RedLine(const std::string& text);

    // The signed state of the installation and what brings the files to it (catch_up.cpp,
    // installed_check.cpp; catch_up.h gives the journal's format).
    //
    // The state for the list accepted in this run: the kept one when it verifies against the list,
    // otherwise fetched from the server, verified and kept. A refusal is logged (the player sees
    // nothing) and the run goes on without a state.
    StateRead ObtainState(const SignedList& list, const TrustedKeys& keys, const std::string& baseUrl);
    // What a catch-up from installed needs (NeededSince over the installation's files).
    CatchUpNeed NeedSince(const InstallState& state, std::int16_t installed);
    // What an up-to-date installation needs to match the state: the presence and size of its
    // files (QuickCheck, no content read), or with options.fullCheck (Updater.exe /reparar) their
    // SHA-256 too, announced on the console, with the bar and label following the bytes read.
    CatchUpNeed CheckInstalled(const InstallState& state, const RunOptions& options);
    // Fetches need's files (each staged file already trusted is not fetched again; per patch the
    // whole archive or range requests, PlanPatchFetch), then applies everything at once through the
    // journal: folders, moves, deletions and, for a catch-up, newVersion last. A repair (no
    // newVersion) announces itself with mensajes::Reparando and ends with "Listo.". A damaged
    // patch or a network failure replaces nothing and shows its red line; staged files stay.
    CatchUpResult BringToState(const InstallState& state, const SignedList& list, const CatchUpNeed& need,
                               const std::string& baseUrl, std::optional<std::int16_t> newVersion);
    // Finishes the journal an earlier run left (a start cut short after it was written).
    CatchUpResult FinishInterruptedApply();

private:
    Platform& m_platform;
};

}  // namespace update
