#include "updater/update/catch_up.h"

#include <algorithm>
#include <unordered_map>

#include "core/numeric.h"
#include "core/runtime_error.h"
#include "updater/unzip/entry_name.h"
#include "updater/unzip/name_decoder.h"
#include "updater/update/disk_room.h"
#include "updater/update/download.h"
#include "updater/update/log.h"
#include "updater/update/mensajes.h"
#include "updater/update/mod_unzip.h"
#include "updater/update/range_fetch.h"
#include "updater/update/range_staging.h"
#include "updater/update/staging.h"
#include "updater/update/trusted_list.h"
#include "updater/update/version_file.h"

namespace update {
namespace {

constexpr std::string_view kJournalHeader = "aplicar-vandrel 1\r\n";
constexpr unsigned kWaitSliceMs = 50;

std::string Decimal(std::uint64_t value) { return core::DecimalText(static_cast<std::int64_t>(value)); }

// A path an installation function gives for the folder "" ("\Recursos\...") as the state writes it.
std::string AsRelative(std::string path) {
    if (!path.empty() && path[0] == '\\') path.erase(0, 1);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

bool AcceptedPath(std::string_view path) {
    const unzip::CheckedName checked = unzip::CheckEntryName(path);
    return checked.reason.empty() && !checked.folder && !checked.path.empty() && checked.path == path;
}

// The bytes of one range request, kept in memory (the end records and the central directory).
class TextWriter final : public core::FileWriter {
public:
    void Write(const void* data, std::size_t size) override { text.append(static_cast<const char*>(data), size); }
    void Commit() override {}
    std::string text;
};

CatchUpResult Stop(cDirImage& dir, const std::string& line) {
    dir.RedLine(line);
    return CatchUpResult::Failure(line, CatchUpFailure::Stopped);
}

// One catch-up or repair: the fetch of every needed file into the staging, then the journal.
class CatchUp {
public:
    CatchUp(cDirImage& dir, Platform& platform, const InstallState& state, const SignedList& list,
            const std::string& baseUrl, std::int16_t installed)
        : m_dir(dir),
          m_p(platform),
          m_state(state),
          m_list(list),
          m_base(baseUrl),
          m_installed(installed),
          m_staging(platform.fs, platform.installFolder) {}

    // Stages every needed file, patch by patch, announcing each patch when announce says so.
    CatchUpResult Fetch(const CatchUpNeed& need, bool announce) {
        m_announce = announce;
        for (const auto& [patch, lines] : need.files) {
            std::vector<StateLine> missing;
            for (const StateLine& line : lines) {
                if (!m_staging.Trusted(line)) missing.push_back(line);
            }
            if (missing.empty()) continue;
            modUnzip::ParcheActual = core::DecimalText(patch);
            modUnzip::RutaParche = m_p.installFolder + "\\" + modUnzip::ParcheActual + ".zip";
            if (announce) m_dir.AddConsole(mensajes::Instalando(modUnzip::ParcheActual), 0, 255, 0, true, false, false);
            const std::uint64_t lacking = MissingBytes(m_p.fs, m_p.installFolder, StagingBytes(missing));
            if (lacking > 0) return Stop(m_dir, NoRoomLine(lacking, modUnzip::ParcheActual));
            const ListedPatch* listed = ListedFor(m_list, patch);
            if (!listed)
                return Stop(m_dir, mensajes::NoInstalada(modUnzip::ParcheActual, mensajes::kNoCoincideConLista));
            bool whole = WholeWithoutDirectory(m_state, m_installed, patch) && missing.size() == lines.size();
            if (!whole) {
                if (CatchUpResult r = ByRanges(*listed, missing, whole); !r.ok) return r;
            }
            if (whole) {
                if (CatchUpResult r = Whole(*listed, missing); !r.ok) return r;
            }
        }
        return CatchUpResult::Success();
    }

    // The journal for need (every file staged), written durably.
    ApplyJournal Journal(const CatchUpNeed& need, std::optional<std::int16_t> newVersion) const {
        ApplyJournal journal;
        journal.version = newVersion;
        journal.folders = need.folders;
        for (const auto& [patch, lines] : need.files) {
            for (const StateLine& line : lines) {
                const StagedFile& staged = m_staging.Files().at(line.path);
                journal.moves.emplace_back(staged.number, line.path);
            }
        }
        journal.deletions = need.deletions;
        return journal;
    }

    Staging& Staged() { return m_staging; }

private:
    CatchUpResult Damaged(const std::string& cause) {
        return Stop(m_dir, mensajes::NoInstalada(modUnzip::ParcheActual, cause));
    }

    // Downloads the archive as a run without a state does, then stages only the needed entries.
    CatchUpResult Whole(const ListedPatch& listed, const std::vector<StateLine>& missing) {
        const DownloadResult downloaded =
            m_dir.JuegoActualizacion(PatchUrl(m_base, modUnzip::ParcheActual), listed.size);
        if (downloaded.code == DownloadFailure::Program)
            return CatchUpResult::Failure(downloaded.reason, CatchUpFailure::Program);
        if (!downloaded.ok && downloaded.code == DownloadFailure::NoRoom) return Stop(m_dir, downloaded.reason);
        if (!downloaded.ok) return Damaged(downloaded.reason);
        return Staged(listed, missing);
    }

    // The archive at modUnzip::RutaParche, whole, checked against the list; then the needed
    // entries staged from it and the archive removed.
    CatchUpResult Staged(const ListedPatch& listed, const std::vector<StateLine>& missing) {
        const std::string& archive = modUnzip::RutaParche;
        const core::Outcome listedOk = m_dir.CheckAgainstList(archive, listed);
        m_dir.Note(archive + (listedOk.ok ? " coincide con la lista firmada" : " rechazado: " + listedOk.reason));
        StageResult staged = StageResult::Success();
        if (listedOk.ok) {
            try {
                const std::unique_ptr<core::FileReader> reader = m_p.fs.OpenRead(archive);
                staged = StageFrom(*reader, listed, missing);
            } catch (const core::RuntimeError& e) {
                staged = StageResult::Failure(e.Description(), StageFault::Write);
            }
        }
        try {
            m_staging.Save();
        } catch (const core::RuntimeError&) {
            // What passed is fetched again next time.
        }
        m_dir.DiscardFailedArchive(archive);
        if (!listedOk.ok) return Damaged(listedOk.reason);
        if (!staged.ok) return Damaged(staged.reason);
        m_dir.Note(archive + ": " + Decimal(missing.size()) + " archivos preparados");
        return CatchUpResult::Success();
    }

    StageResult StageFrom(core::FileReader& reader, const ListedPatch& listed, const std::vector<StateLine>& missing) {
        const unzip::DirectoryRead read = unzip::ReadArchiveDirectory(reader, unzip::SystemNameDecoder(), {});
        if (!read.result.ok) return StageResult::Failure(read.result.reason, StageFault::Damaged);
        const core::Result<PatchFetch> plan =
            PlanPatchFetch(missing, read.dir, static_cast<std::uint64_t>(listed.size));
        if (!plan.ok) return StageResult::Failure(plan.reason, StageFault::Damaged);
        std::unordered_map<std::string_view, const StateLine*> byPath;
        for (const StateLine& line : missing) byPath.emplace(line.path, &line);
        for (const std::size_t index : plan.value.entries) {
            const unzip::Entry& e = read.dir.entries[index];
            const StageResult r = StageEntry(m_p.fs, m_staging, reader, read.dir, e, RoomEnd(read.dir, index),
                                             *byPath.at(read.dir.Name(e)));
            if (!r.ok) return r;
        }
        return StageResult::Success();
    }

    // Reads the archive's central directory and the needed entries with range requests; sets
    // whole instead when the server does not serve ranges or the plan says the archive is cheaper.
    // Network faults are tried again as a download's, the files staged so far kept.
    CatchUpResult ByRanges(const ListedPatch& listed, std::vector<StateLine> missing, bool& whole) {
        const std::string url = PatchUrl(m_base, modUnzip::ParcheActual);
        const std::uint64_t size = static_cast<std::uint64_t>(listed.size);
        for (int attempt = 1;; ++attempt) {
            RangesResult r = ReadDirectory(url, size);
            if (r.ok) {
                const core::Result<PatchFetch> plan = PlanPatchFetch(missing, m_directory, size);
                if (!plan.ok) return Damaged(plan.reason);
                // An archive read whole for its directory is not asked for again.
                if (plan.value.whole || m_tailOffset == 0) {
                    m_dir.Note(url + (m_tailOffset == 0 ? ": leído entero con su directorio"
                                                        : ": los archivos necesarios ocupan la mitad o más; se "
                                                          "descarga entero"));
                    if (std::optional<CatchUpResult> joined = Joined(listed, missing, url, size)) return *joined;
                    whole = true;
                    return CatchUpResult::Success();
                }
                r = Ranges(url, size, plan.value, missing);
            }
            if (r.ok) {
                if (m_announce) m_dir.AddConsole(mensajes::kListo, 204, 255, 0, true, false, false);
                return CatchUpResult::Success();
            }
            m_dir.Note("Partes de " + url + " fallidas: " + r.reason);
            switch (r.code) {
                case RangesFault::Whole: whole = true; return CatchUpResult::Success();
                case RangesFault::Network: break;
                case RangesFault::Write: return Stop(m_dir, mensajes::NoInstalada(modUnzip::ParcheActual, r.reason));
                case RangesFault::Refused:
                case RangesFault::Damaged: return Damaged(r.reason);
            }
            if (attempt >= kMaxAttempts) return Damaged(r.reason);
            const unsigned seconds = 1u << (attempt - 1);
            const std::string retry = mensajes::Reintento(r.reason, false, seconds, attempt + 1, kMaxAttempts);
            m_dir.Note("Reintento: " + retry);
            m_dir.AddConsole(retry, 200, 200, 200, true, false, false);
            WaitPumping(m_p.sleeper, m_p.clock, m_p.pump, seconds * 1000u, kWaitSliceMs);
            std::erase_if(missing, [&](const StateLine& line) { return m_staging.Trusted(line).has_value(); });
            if (missing.empty()) return CatchUpResult::Success();
        }
    }

    // The archive from the end its directory came with and one request for the bytes before it,
    // so that a patch found to go whole costs no byte twice. Nothing when that request or the
    // file fails: the archive is then downloaded as without a state.
    std::optional<CatchUpResult> Joined(const ListedPatch& listed, const std::vector<StateLine>& missing,
                                        const std::string& url, std::uint64_t size) {
        const std::string& archive = modUnzip::RutaParche;
        try {
            const std::unique_ptr<core::FileWriter> out = m_p.fs.CreateFile(archive);
            if (m_tailOffset > 0) {
                m_dir.ShowProgressBar();
                const RangeFetch got = FetchRange(m_p.http, url, {0, m_tailOffset}, size, *out, Bar(m_tailOffset));
                m_p.progress.SetBarWidthTwips(0.0f);
                if (!got.ok) core::Raise(core::ErrorKind::PathFileAccess, got.reason);
            }
            out->Write(m_tail.data(), m_tail.size());
            out->Commit();
        } catch (const core::RuntimeError& e) {
            m_dir.Note("Parte inicial de " + url + " fallida: " + e.Description());
            m_p.fs.RemoveIfExists(archive);
            return std::nullopt;
        }
        return Staged(listed, missing);
    }

    // The download bar over total bytes of range requests, the window alive meanwhile.
    RangeProgress Bar(std::uint64_t total) {
        m_shown = -1;
        return [this, total](std::uint64_t received) {
            const std::int32_t p =
                total == 0 ? 100 : static_cast<std::int32_t>(std::min<std::uint64_t>(received * 100 / total, 100));
            if (p != m_shown) {
                m_shown = p;
                m_p.progress.SetCaption(PercentCaption(p));
                m_p.progress.SetBarWidthTwips(BarWidthTwips(p));
            }
            m_p.pump.ProcessPending();
        };
    }

    // One range into memory.
    RangesResult Fetch(const std::string& url, ByteRange range, std::uint64_t size, std::string& bytes) {
        const DeadlineScope limit(m_p.http, m_p.clock.NowMs() + m_p.limits.giveUpMs);
        TextWriter out;
        const RangeFetch got = FetchRange(m_p.http, url, range, size, out);
        if (got.ok) {
            bytes = std::move(out.text);
            return RangesResult::Success();
        }
        switch (got.code) {
            case RangeFault::Whole: return RangesResult::Failure(got.reason, RangesFault::Whole);
            case RangeFault::Network: return RangesResult::Failure(got.reason, RangesFault::Network);
            case RangeFault::Refused: return RangesResult::Failure(got.reason, RangesFault::Refused);
            case RangeFault::Write: break;
        }
        return RangesResult::Failure(got.reason, RangesFault::Write);
    }

    // The archive's end records, then as much more of its end as its central directory needs.
    RangesResult ReadDirectory(const std::string& url, std::uint64_t size) {
        if (m_directoryOf == url) return RangesResult::Success();
        ArchiveSuffix suffix(size);
        std::string bytes;
        if (RangesResult r = Fetch(url, EndRecordsRange(size), size, bytes); !r.ok) return r;
        suffix.Prepend(bytes);
        const unzip::DirectoryPlace place = unzip::LocateCentralDirectory(suffix);
        if (!place.result.ok) return RangesResult::Failure(place.result.reason, RangesFault::Damaged);
        const ByteRange before = suffix.Missing(place.offset);
        if (before.length > 0) {
            if (RangesResult r = Fetch(url, before, size, bytes); !r.ok) return r;
            suffix.Prepend(bytes);
        }
        unzip::DirectoryRead read = unzip::ReadCentralDirectory(suffix, unzip::SystemNameDecoder(), {});
        if (!read.result.ok) return RangesResult::Failure(read.result.reason, RangesFault::Damaged);
        m_dir.Note(url + ": directorio leído, " + Decimal(read.dir.entries.size()) + " entradas, " +
                   Decimal(size - suffix.Offset()) + " bytes");
        m_directory = std::move(read.dir);
        m_directoryOf = url;
        m_tail = suffix.Bytes();
        m_tailOffset = suffix.Offset();
        return RangesResult::Success();
    }

    // The needed entries by ranges, with the download's bar over their bytes.
    RangesResult Ranges(const std::string& url, std::uint64_t size, const PatchFetch& plan,
                        const std::vector<StateLine>& missing) {
        std::uint64_t total = 0;
        for (const ByteRange& r : plan.requests) total += r.length;
        m_dir.Note(url + ": " + Decimal(plan.entries.size()) + " entradas en " + Decimal(plan.requests.size()) +
                   " peticiones, " + Decimal(total) + " bytes");
        m_dir.ShowProgressBar();
        const RangesResult r =
            StageByRanges(m_p.http, m_p.fs, m_staging, url, size, m_directory, plan, missing, Bar(total));
        m_p.progress.SetBarWidthTwips(0.0f);
        return r;
    }

    cDirImage& m_dir;
    Platform& m_p;
    const InstallState& m_state;
    const SignedList& m_list;
    const std::string& m_base;
    std::int16_t m_installed;
    Staging m_staging;
    unzip::Directory m_directory;  // of m_directoryOf, read once per patch
    std::string m_directoryOf;
    std::string m_tail;  // the end of m_directoryOf fetched for its directory, from m_tailOffset
    std::uint64_t m_tailOffset = 0;
    std::int32_t m_shown = -1;  // the bar's percentage
    bool m_announce = false;
};

// Makes folder and every missing folder above it, down from the installation folder.
void MakeFolders(core::FileSystem& fs, const std::string& installFolder, const std::string& relative) {
    for (std::size_t slash = relative.find('/');; slash = relative.find('/', slash + 1)) {
        const std::string path = InstalledPath(installFolder, relative.substr(0, slash));
        if (!fs.DirectoryExists(path)) fs.CreateDirectory(path);
        if (slash == std::string::npos) return;
    }
}

std::string Parent(const std::string& relative) {
    const std::size_t slash = relative.rfind('/');
    return slash == std::string::npos ? std::string() : relative.substr(0, slash);
}

// Does every step of journal (again): folders, moves whose staged file is still there,
// deletions, the version. Raises core::RuntimeError at a step that fails; the journal stays.
void Perform(cDirImage& dir, Platform& p, const ApplyJournal& journal) {
    const std::string& folder = p.installFolder;
    const std::string staging = StagingFolder(folder);
    for (const std::string& f : journal.folders) MakeFolders(p.fs, folder, f);
    std::string made;  // the last parent made: the files of a patch come in path order
    for (const auto& [number, path] : journal.moves) {
        const std::string parent = Parent(path);
        if (!parent.empty() && parent != made) MakeFolders(p.fs, folder, parent);
        made = parent;
    }
    std::size_t moved = 0;
    for (std::size_t i = 0; i < journal.moves.size(); ++i) {
        const auto& [number, path] = journal.moves[i];
        const std::string from = staging + "\\" + std::to_string(number) + ".dat";
        if (!p.fs.FileExists(from)) continue;  // moved before a cut
        const std::string to = InstalledPath(folder, path);
        if (p.held && p.held->Holds(to)) {
            p.held->Replace(p.fs, from, to);
        } else if (i + 1 == journal.moves.size()) {
            p.fs.Replace(from, to);  // flushed: every earlier move of the disk is durable with it
        } else {
            p.fs.ReplaceUnflushed(from, to);
        }
        ++moved;
    }
    std::size_t deleted = 0;
    for (const std::string& path : journal.deletions) {
        const std::string full = InstalledPath(folder, path);
        if (NeverDeleted(path) || (p.held && p.held->Holds(full))) {
            dir.Note("No se borra " + path + ": es un archivo de Updater");
            continue;
        }
        if (!p.fs.FileExists(full)) continue;  // gone already, or a folder, which is never deleted
        p.fs.DeleteFile(full);
        ++deleted;
    }
    if (journal.version) dir.WriteVar(*journal.version);
    dir.Note("Aplicado: " + Decimal(moved) + " archivos puestos, " + Decimal(deleted) + " borrados" +
             (journal.version ? ", versión " + core::DecimalText(*journal.version) : std::string()));
}

}  // namespace

std::string StateUrl(const std::string& baseUrl) { return baseUrl + "parches/estado.txt"; }

std::string ApplyJournalPath(const std::string& installFolder) {
    return StagingFolder(installFolder) + "\\aplicar.txt";
}

std::string FormatApplyJournal(const ApplyJournal& journal) {
    std::string text(kJournalHeader);
    if (journal.version) text += "version " + core::DecimalText(*journal.version) + "\r\n";
    for (const std::string& f : journal.folders) text += "carpeta " + f + "\r\n";
    for (const auto& [number, path] : journal.moves) text += "mover " + std::to_string(number) + " " + path + "\r\n";
    for (const std::string& d : journal.deletions) text += "borrar " + d + "\r\n";
    return text;
}

std::optional<ApplyJournal> ParseApplyJournal(std::string_view text) {
    if (!text.starts_with(kJournalHeader)) return std::nullopt;
    text.remove_prefix(kJournalHeader.size());
    ApplyJournal journal;
    for (bool first = true; !text.empty(); first = false) {
        const std::size_t end = text.find("\r\n");
        const std::size_t space = text.substr(0, end).find(' ');
        if (end == std::string_view::npos || space == std::string_view::npos) return std::nullopt;
        const std::string_view word = text.substr(0, space);
        std::string_view rest = text.substr(space + 1, end - space - 1);
        text.remove_prefix(end + 2);
        if (word == "version" && first) {
            const auto v = core::ParseDigits(rest, 5);
            if (!v || *v > INT16_MAX || (rest.size() > 1 && rest[0] == '0')) return std::nullopt;
            journal.version = static_cast<std::int16_t>(*v);
            continue;
        }
        std::optional<std::int64_t> number;
        if (word == "mover") {
            const std::size_t gap = rest.find(' ');
            if (gap == std::string_view::npos) return std::nullopt;
            number = core::ParseDigits(rest.substr(0, gap), 9);
            if (!number || *number == 0) return std::nullopt;
            rest.remove_prefix(gap + 1);
        }
        if (!AcceptedPath(rest)) return std::nullopt;
        if (word == "carpeta") {
            journal.folders.emplace_back(rest);
        } else if (word == "borrar") {
            journal.deletions.emplace_back(rest);
        } else if (number) {
            journal.moves.emplace_back(static_cast<std::uint32_t>(*number), std::string(rest));
        } else {
            return std::nullopt;
        }
    }
    return journal;
}

bool NeverDeleted(const std::string& relative) {
    const std::string key = unzip::NameKey(relative);
    for (const std::string& own :
         {VersionFilePath(""), SerieFilePath(""), KeptStatePath(""), LogFilePath(""), OlderLogFilePath("")}) {
        if (key == unzip::NameKey(AsRelative(own))) return true;
    }
    const std::string staging = unzip::NameKey(AsRelative(StagingFolder("")));
    return key == staging || key.starts_with(staging + "/");
}

StateRead cDirImage::ObtainState(const SignedList& list, const TrustedKeys& keys, const std::string& baseUrl) {
    StateRead kept = ReadKeptState(m_platform.fs, InstallFolder(), list, keys);
    if (kept.ok) {
        Note("Estado guardado válido: versión " + core::DecimalText(kept.value.version) + ", " +
             Decimal(kept.value.lines.size()) + " líneas");
        return kept;
    }
    Note("Estado guardado no usado: " + kept.reason);
    const std::string url = StateUrl(baseUrl);
    std::optional<std::string> body;
    std::string why;
    {
        const DeadlineScope limit(m_platform.http, NowMs() + m_platform.limits.giveUpMs);
        OpenResult opened = m_platform.http.Open(url);
        if (!opened.ok) {
            why = opened.reason;
        } else if (const int status = opened.value->StatusCode(); status != kHttpOk) {
            why = mensajes::Respondio(core::DecimalText(status));
        } else {
            bool tooLong = false;
            body = ReadWholeBody(*opened.value, kMaxStateBytes, tooLong);
            if (!body) why = tooLong ? mensajes::kEstadoGrande : mensajes::kConexionCortada;
        }
    }
    if (!body) {
        Note(mensajes::EstadoDescartado(why));
        return StateRead::Failure(why, StateRefusal::NotKept);
    }
    StateRead read = VerifyState(*body, list, keys);
    if (!read.ok) {
        Note(mensajes::EstadoDescartado(read.reason));
        return read;
    }
    try {
        core::WriteFileAtomically(m_platform.fs, KeptStatePath(InstallFolder()), *body);
        Note("Estado de " + url + " guardado: versión " + core::DecimalText(read.value.version) + ", " +
             Decimal(read.value.lines.size()) + " líneas");
    } catch (const core::RuntimeError& e) {
        Note("Estado de " + url + " no guardado: " + e.Description());
    }
    return read;
}

CatchUpNeed cDirImage::NeedSince(const InstallState& state, std::int16_t installed) {
    return NeededSince(state, installed, [this](const std::string& relative) {
        return m_platform.fs.FileExists(InstalledPath(InstallFolder(), relative));
    });
}

CatchUpResult cDirImage::BringToState(const InstallState& state, const SignedList& list, const CatchUpNeed& need,
                                      const std::string& baseUrl, std::optional<std::int16_t> newVersion) {
    std::size_t files = 0;
    for (const auto& [patch, lines] : need.files) files += lines.size();
    Note((newVersion ? "Puesta al día a la versión " + core::DecimalText(*newVersion) : std::string("Reparación")) +
         ": " + Decimal(files) + " archivos, " + Decimal(need.folders.size()) + " carpetas, " +
         Decimal(need.deletions.size()) + " borrados");
    if (!newVersion) {
        ShowProgressBar();
        AddConsole(mensajes::Reparando(files + need.folders.size() + need.deletions.size()), 200, 200, 200, true, false,
                   false);
    }
    CatchUp catchUp(*this, m_platform, state, list, baseUrl, newVersion ? GetVar() : state.version);
    if (CatchUpResult fetched = catchUp.Fetch(need, newVersion.has_value()); !fetched.ok) return fetched;

    const ApplyJournal journal = catchUp.Journal(need, newVersion);
    const std::string failed = newVersion ? core::DecimalText(*newVersion) : std::string();
    try {
        const std::string staging = StagingFolder(InstallFolder());
        if (!m_platform.fs.DirectoryExists(staging)) m_platform.fs.CreateDirectory(staging);
        core::WriteFileAtomically(m_platform.fs, ApplyJournalPath(InstallFolder()), FormatApplyJournal(journal));
        Perform(*this, m_platform, journal);
    } catch (const core::RuntimeError& e) {
        // The journal, when written, finishes the work at the next start.
        const std::string cause = e.Description();
        return Stop(*this, newVersion ? mensajes::NoInstalada(failed, cause) : mensajes::NoReparada(cause));
    }
    // The record goes first and the journal with the other files: a cut meanwhile leaves either
    // the journal, done again at the next start, or files no record names, cleared then.
    catchUp.Staged().Clear();
    if (!newVersion) AddConsole(mensajes::kListo, 204, 255, 0, true, false, false);
    return CatchUpResult::Success();
}

CatchUpResult cDirImage::FinishInterruptedApply() {
    const std::string path = ApplyJournalPath(InstallFolder());
    std::optional<ApplyJournal> journal;
    try {
        if (!m_platform.fs.FileExists(path)) {
            // Left by a run cut short while it cleared the staging: nothing in it counts.
            if (m_platform.fs.DirectoryExists(StagingFolder(InstallFolder()))) {
                Staging staging(m_platform.fs, InstallFolder());
                if (staging.Files().empty()) staging.Clear();
            }
            return CatchUpResult::Success();
        }
        journal = ParseApplyJournal(m_platform.fs.ReadFile(path, kMaxStateBytes + (kMaxStateBytes >> 2)));
    } catch (const core::RuntimeError& e) {
        Note("Diario de " + path + " ilegible: " + e.Description());
    }
    if (!journal) {
        // Written atomically, so never a part of one: not ours to follow. Nothing was applied from it.
        Note("Diario de " + path + " descartado: no tiene su forma");
        Staging(m_platform.fs, InstallFolder()).Clear();
        return CatchUpResult::Success();
    }
    Note("Diario de " + path + " encontrado: se termina lo que una ejecución anterior dejó a medias");
    try {
        Perform(*this, m_platform, *journal);
    } catch (const core::RuntimeError& e) {
        const std::string cause = e.Description();
        return Stop(*this, journal->version ? mensajes::NoInstalada(core::DecimalText(*journal->version), cause)
                                            : mensajes::NoReparada(cause));
    }
    Staging(m_platform.fs, InstallFolder()).Clear();
    return CatchUpResult::Success();
}

}  // namespace update
