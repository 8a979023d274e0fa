#include "updater/update/state_file.h"

#include <algorithm>
#include <optional>

#include "core/composed.h"
#include "core/runtime_error.h"
#include "updater/unzip/entry_name.h"
#include "updater/unzip/zip_directory.h"
#include "updater/update/mensajes.h"

namespace update {
namespace {

constexpr std::string_view kHeader = "estado-vandrel 1";

StateRead Refuse(StateRefusal code, std::string why) { return StateRead::Failure(std::move(why), code); }

StateRead RefuseLine(StateRefusal code, std::size_t index, std::string_view why) {
    return Refuse(code, mensajes::EnLinea(index + 1, why));
}

// Cuts the field before the next blank off rest; nothing when no blank follows it.
std::optional<std::string_view> TakeField(std::string_view& rest) {
    const std::size_t blank = rest.find(' ');
    if (blank == std::string_view::npos) return std::nullopt;
    const std::string_view field = rest.substr(0, blank);
    rest.remove_prefix(blank + 1);
    return field;
}

// "<name> <decimal>" and nothing else.
std::optional<std::int64_t> HeaderNumber(std::string_view line, std::string_view name, std::size_t maxDigits) {
    const auto f = SplitFields(line);
    if (f.size() != 2 || f[0] != name) return std::nullopt;
    return PlainDecimal(f[1], maxDigits);
}

// One archivo, carpeta or borrado line; its path is the rest of the line, checked later.
bool ParseLine(std::string_view rest, StateLine& line) {
    const auto kind = TakeField(rest);
    const auto n = TakeField(rest);
    const auto patch = n ? PlainDecimal(*n, 3) : std::nullopt;
    if (!kind || !patch) return false;
    line.patch = static_cast<std::int16_t>(*patch);
    if (*kind == "archivo") {
        const auto size = TakeField(rest);
        const auto hash = TakeField(rest);
        // No entry Updater extracts is larger than the archive reader's limit on all of them.
        const auto value = size ? PlainDecimal(*size, 10) : std::nullopt;
        if (!value || static_cast<std::uint64_t>(*value) > unzip::Limits{}.maxTotalSize || !hash ||
            !IsLowerHex(*hash, 64)) {
            return false;
        }
        line.kind = StateLineKind::File;
        line.size = static_cast<std::uint64_t>(*value);
        line.sha256 = std::string(*hash);
    } else if (*kind == "carpeta") {
        line.kind = StateLineKind::Folder;
    } else if (*kind == "borrado") {
        line.kind = StateLineKind::Deleted;
    } else {
        return false;
    }
    line.path = std::string(rest);
    return true;
}

// Empty when path is a name Updater gives an extracted file: one it accepts as an entry name,
// written as it writes it (composed, '/' separators, no "./" and no trailing '/').
std::string PathProblem(std::string_view path) {
    const unzip::CheckedName checked = unzip::CheckEntryName(path);
    if (!checked.reason.empty()) return "«" + unzip::Printable(path) + "»: " + checked.reason;
    if (checked.folder || checked.path != path || core::ComposedUtf8(path) != path) {
        return "«" + unzip::Printable(path) + "»: " + mensajes::kEstadoRutaMalEscrita;
    }
    return {};
}

struct Keyed {
    std::string key;
    std::size_t index;
    bool operator<(const Keyed& o) const { return key < o.key || (key == o.key && index < o.index); }
};

// Two lines for one file as Windows compares names, or a file that the path of a file or folder
// still in the installation passes through. A deleted file may have been a folder's name before
// or after: only the lines that stay are checked against the files.
StateRead CheckNames(InstallState state) {
    const std::vector<StateLine>& lines = state.lines;
    std::vector<Keyed> keys;
    keys.reserve(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) keys.push_back({unzip::NameKey(lines[i].path), i});
    std::sort(keys.begin(), keys.end());
    for (std::size_t i = 0; i + 1 < keys.size(); ++i) {
        for (std::size_t j = i + 1; j < keys.size() && keys[j].key == keys[i].key; ++j) {
            if (unzip::SameName(lines[keys[i].index].path, lines[keys[j].index].path)) {
                return RefuseLine(StateRefusal::SameFile, keys[j].index + 3, mensajes::kEstadoMismoArchivo);
            }
        }
    }
    const auto byKey = [](const Keyed& a, const Keyed& b) { return a.key < b.key; };
    for (const Keyed& k : keys) {
        const StateLine& line = lines[k.index];
        if (line.kind == StateLineKind::Deleted) continue;
        // The key up to its n-th '/' is the key of the path up to its n-th '/'.
        std::size_t slash = 0;
        for (std::size_t at = k.key.find('/'); at != std::string::npos; at = k.key.find('/', at + 1)) {
            slash = line.path.find('/', slash);
            const std::string_view folder = std::string_view(line.path).substr(0, slash++);
            const auto [first, last] = std::equal_range(keys.begin(), keys.end(), Keyed{k.key.substr(0, at), 0}, byKey);
            for (auto it = first; it != last; ++it) {
                const StateLine& other = lines[it->index];
                if (other.kind == StateLineKind::File && unzip::SameName(other.path, folder)) {
                    return RefuseLine(StateRefusal::FileAndFolder, it->index + 3, mensajes::kEstadoArchivoYCarpeta);
                }
            }
        }
    }
    return StateRead::Success(std::move(state));
}

}  // namespace

StateRead ParseState(std::string_view text) {
    if (text.size() > kMaxStateBytes) return Refuse(StateRefusal::TooLarge, mensajes::kEstadoGrande);
    const auto lines = SplitCrLfLines(text);
    if (!lines || lines->size() < 4 || (*lines)[0] != kHeader) {
        return Refuse(StateRefusal::Malformed, mensajes::kEstadoMalFormado);
    }
    InstallState state;
    const auto serie = HeaderNumber((*lines)[1], "serie", 18);
    const auto version = HeaderNumber((*lines)[2], "version", 3);
    if (!serie || *serie < 1 || !version) return Refuse(StateRefusal::Malformed, mensajes::kEstadoMalFormado);
    state.serie = *serie;
    state.version = static_cast<std::int16_t>(*version);

    std::size_t at = 3;
    for (; at < lines->size() && !(*lines)[at].starts_with("firma "); ++at) {
        StateLine line;
        if (!ParseLine((*lines)[at], line)) {
            return RefuseLine(StateRefusal::Malformed, at, mensajes::kEstadoLineaMalFormada);
        }
        if (line.patch < 1 || line.patch > state.version) {
            return RefuseLine(StateRefusal::BadPatch, at, mensajes::kEstadoParche);
        }
        const std::string problem = PathProblem(line.path);
        if (!problem.empty()) return RefuseLine(StateRefusal::BadName, at, problem);
        if (!state.lines.empty() && state.lines.back().path >= line.path) {
            if (state.lines.back().path == line.path) {
                return RefuseLine(StateRefusal::SameFile, at, mensajes::kEstadoMismoArchivo);
            }
            return RefuseLine(StateRefusal::OutOfOrder, at, mensajes::kEstadoDesordenado);
        }
        state.lines.push_back(std::move(line));
    }
    std::optional<TextSignatures> signatures = ReadSignatures(text, *lines, at);
    if (!signatures) return Refuse(StateRefusal::Malformed, mensajes::kEstadoFirmas);
    state.signatures = std::move(*signatures);
    return CheckNames(std::move(state));
}

StateRead VerifyState(std::string_view text, const SignedList& list,
                      const std::vector<core::crypto::PublicPoint>& keys) {
    StateRead read = ParseState(text);
    if (!read.ok) return read;
    const TextSignatures& s = read.value.signatures;
    bool signedByKey = false;
    try {
        signedByKey = SignedByAny(s.signedPart, s.signatures, keys);
    } catch (const core::crypto::Failure& e) {
        return Refuse(StateRefusal::CannotCheck, mensajes::EstadoNoComprobado(e.what()));
    }
    if (!signedByKey) return Refuse(StateRefusal::NotSigned, mensajes::kEstadoNoFirmado);
    if (read.value.serie != list.serie || read.value.version != list.count) {
        return Refuse(StateRefusal::OtherList, mensajes::kEstadoOtraLista);
    }
    return read;
}

std::string KeptStatePath(const std::string& installFolder) { return installFolder + "\\Recursos\\OUTPUT\\Estado.txt"; }

StateRead ReadKeptState(core::FileSystem& fs, const std::string& installFolder, const SignedList& list,
                        const std::vector<core::crypto::PublicPoint>& keys) {
    const std::string path = KeptStatePath(installFolder);
    std::string text;
    try {
        if (!fs.FileExists(path)) return Refuse(StateRefusal::NotKept, mensajes::kEstadoNoGuardado);
        if (fs.FileSize(path) > kMaxStateBytes) return Refuse(StateRefusal::TooLarge, mensajes::kEstadoGrande);
        text = fs.ReadFile(path, kMaxStateBytes);
    } catch (const core::RuntimeError& e) {
        return Refuse(StateRefusal::NotKept, e.Description());
    }
    return VerifyState(text, list, keys);
}

}  // namespace update
