#include "tools/parchear/record.h"

#include <algorithm>

#include "core/numeric.h"
#include "tools/parchear/refusal.h"
#include "tools/parchear/server_folder.h"
#include "updater/update/signed_text.h"

namespace parchear {
namespace {

constexpr std::string_view kHeader = "registro-parchear 1";
constexpr std::size_t kMaxRecordBytes = 1u << 20;

// "<size> <sha256>" as the list writes it.
std::optional<update::ListedPatch> SizeAndDigest(std::string_view size, std::string_view digest) {
    const auto n = update::PlainDecimal(size, 10);
    if (!n || !update::IsLowerHex(digest, 64)) return std::nullopt;
    return update::ListedPatch{*n, std::string(digest)};
}

std::string Line(std::string_view name, const update::ListedPatch& p) {
    std::string line(name);
    line += " ";
    line += core::DecimalText(p.size);
    line += " ";
    line += p.sha256;
    line += "\n";
    return line;
}

}  // namespace

std::string FormatRecord(const RecordState& state) {
    std::string text(kHeader);
    text += "\nparches ";
    text += core::DecimalText(state.Count());
    text += "\nserie ";
    text += core::DecimalText(state.serie);
    text += "\n";
    for (const std::string& id : state.keyIds) text += "clave " + id + "\n";
    if (state.list) text += Line("lista", *state.list);
    if (state.state) text += Line("estado", *state.state);
    for (std::size_t i = 0; i < state.patches.size(); ++i)
        text += Line("parche " + core::DecimalText(static_cast<std::int64_t>(i + 1)), state.patches[i]);
    return text;
}

std::optional<RecordState> ParseRecord(std::string_view text) {
    if (!text.ends_with('\n')) return std::nullopt;
    std::vector<std::string_view> lines = update::SplitFields(text.substr(0, text.size() - 1), '\n');
    for (std::string_view& line : lines) {
        if (line.ends_with('\r')) line.remove_suffix(1);
    }
    if (lines.size() < 3 || lines[0] != kHeader) return std::nullopt;
    const auto count = lines[1].starts_with("parches ") ? update::PlainDecimal(lines[1].substr(8), 3) : std::nullopt;
    const auto serie = lines[2].starts_with("serie ") ? core::ParseDigits(lines[2].substr(6), 18) : std::nullopt;
    if (!count || !serie) return std::nullopt;
    RecordState state;
    state.serie = *serie;
    std::size_t at = 3;
    for (; at < lines.size() && lines[at].starts_with("clave "); ++at) {
        const std::string_view id = lines[at].substr(6);
        if (!update::IsLowerHex(id, 16) || (!state.keyIds.empty() && state.keyIds.back() >= id)) return std::nullopt;
        state.keyIds.emplace_back(id);
    }
    if (at < lines.size() && lines[at].starts_with("lista ")) {
        const auto f = update::SplitFields(lines[at++]);
        if (f.size() != 3 || !(state.list = SizeAndDigest(f[1], f[2]))) return std::nullopt;
    }
    if (at < lines.size() && lines[at].starts_with("estado ")) {
        const auto f = update::SplitFields(lines[at++]);
        if (f.size() != 3 || !(state.state = SizeAndDigest(f[1], f[2])) || !state.list) return std::nullopt;
    }
    for (; at < lines.size(); ++at) {
        const auto f = update::SplitFields(lines[at]);
        const auto n = f.size() == 4 && f[0] == "parche" ? update::PlainDecimal(f[1], 3) : std::nullopt;
        const auto patch = n ? SizeAndDigest(f[2], f[3]) : std::nullopt;
        if (!patch || *n != static_cast<std::int64_t>(state.patches.size() + 1)) return std::nullopt;
        state.patches.push_back(*patch);
    }
    if (state.Count() != *count || (state.Count() > 0 && !state.list)) return std::nullopt;
    return state;
}

std::string RecordFile(const std::string& record) { return record + "/registro.txt"; }
std::string RecordList(const std::string& record) { return record + "/lista.txt"; }
// The record keeps its archives as a server folder does: parches/<n>.zip.
std::string RecordArchives(const std::string& record) { return PatchesFolder(record); }
std::string RecordArchive(const std::string& record, int n) { return ArchivePath(record, n); }
std::string PendingFile(const std::string& record) { return record + "/pendiente.txt"; }
std::string PendingList(const std::string& record) { return record + "/pendiente-lista.txt"; }
std::string RecordStateFile(const std::string& record) { return record + "/estado.txt"; }
std::string PendingStateFile(const std::string& record) { return record + "/pendiente-estado.txt"; }

RecordState LoadRecord(core::FileSystem& fs, const std::string& path) {
    if (fs.FileSize(path) > kMaxRecordBytes) throw Refusal(Quoted(path) + " no es un registro de parchear");
    const auto state = ParseRecord(fs.ReadFile(path, kMaxRecordBytes));
    if (!state) {
        throw Refusal(Quoted(path) +
                      " está dañado o no es un registro de parchear; si se perdió, cree otro con «parchear importar»");
    }
    return *state;
}

}  // namespace parchear
