#include "tools/parchear/install_state.h"

#include <algorithm>

#include "core/numeric.h"
#include "tools/parchear/patch_comment.h"
#include "tools/parchear/refusal.h"
#include "updater/unzip/entry_name.h"
#include "updater/unzip/name_decoder.h"
#include "updater/unzip/zip_directory.h"
#include "updater/unzip/zip_extract.h"
#include "updater/update/signed_list.h"

namespace parchear {
namespace {

// Keeps only the SHA-256 of what an entry extracts to.
class HashingWriter final : public core::FileWriter {
public:
    void Write(const void* data, std::size_t size) override { m_hash.Update(data, size); }
    void Commit() override {}
    std::string Hex() { return core::crypto::HexOf(m_hash.Finish()); }

private:
    core::crypto::Sha256 m_hash;
};

}  // namespace

std::vector<HashedEntry> HashEntries(core::FileSystem& fs, const std::string& archive) {
    const auto file = fs.OpenRead(archive);
    const unzip::DirectoryRead read = unzip::ReadArchiveDirectory(*file, unzip::SystemNameDecoder(), unzip::Limits{});
    if (!read.result.ok) throw Refusal(Quoted(archive) + ": Updater lo rechazaría (" + read.result.reason + ")");
    std::vector<HashedEntry> entries;
    for (const unzip::Entry& e : read.dir.entries) {
        HashedEntry h{std::string(read.dir.Name(e)), e.folder, e.size, {}};
        if (!e.folder) {
            HashingWriter hash;
            const unzip::Result written = unzip::WriteEntryData(*file, e, h.path, hash, 1u << 20);
            if (!written.ok) throw Refusal(Quoted(archive) + ": Updater lo rechazaría (" + written.reason + ")");
            h.sha256 = hash.Hex();
        }
        entries.push_back(std::move(h));
    }
    return entries;
}

StateBuilder::StateBuilder(const std::vector<update::StateLine>& lines) {
    for (const update::StateLine& line : lines) Put(line);
}

void StateBuilder::Put(update::StateLine line) {
    const auto deleted = [](const auto& it) { return it->second.kind == update::StateLineKind::Deleted; };
    // A path that is now a folder of line's path was no deleted file any more.
    for (std::size_t slash = line.path.find('/'); slash != std::string::npos; slash = line.path.find('/', slash + 1)) {
        const auto it = m_byKey.find(unzip::NameKey(std::string_view(line.path).substr(0, slash)));
        if (it != m_byKey.end() && deleted(it)) m_byKey.erase(it);
    }
    const std::string key = unzip::NameKey(line.path);
    // Files deleted below a path that is now a file went with their folder. A key's prefix up
    // to a '/' is the key of that prefix of the path: the paths below line's are one run.
    if (line.kind == update::StateLineKind::File) {
        for (auto it = m_byKey.lower_bound(key + "/"); it != m_byKey.end() && it->first.starts_with(key + "/");)
            it = deleted(it) ? m_byKey.erase(it) : std::next(it);
    }
    m_byKey.insert_or_assign(key, std::move(line));
}

void StateBuilder::Apply(core::FileSystem& fs, const std::string& archive, int n) {
    const auto patch = static_cast<std::int16_t>(n);
    const Deletions deleted = ReadDeletions(fs, archive);
    for (const std::string& path : deleted.files) {
        const auto it = m_byKey.find(unzip::NameKey(path));
        if (it != m_byKey.end() && it->second.kind == update::StateLineKind::Folder) continue;
        Put({update::StateLineKind::Deleted, patch, 0, {}, path});
    }
    // Updater deletes files only: a deleted folder is no longer made for new players.
    for (const std::string& path : deleted.folders) {
        const auto it = m_byKey.find(unzip::NameKey(path));
        if (it != m_byKey.end() && it->second.kind == update::StateLineKind::Folder) m_byKey.erase(it);
    }
    for (HashedEntry& e : HashEntries(fs, archive)) {
        if (e.folder) {
            Put({update::StateLineKind::Folder, patch, 0, {}, std::move(e.path)});
        } else {
            Put({update::StateLineKind::File, patch, e.size, std::move(e.sha256), std::move(e.path)});
        }
    }
}

std::vector<update::StateLine> StateBuilder::Lines() const {
    std::vector<update::StateLine> lines;
    lines.reserve(m_byKey.size());
    for (const auto& [key, line] : m_byKey) lines.push_back(line);
    std::sort(lines.begin(), lines.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
    return lines;
}

std::string FormatStateBody(std::int64_t serie, int version, const std::vector<update::StateLine>& lines) {
    std::string text =
        "estado-vandrel 1\r\nserie " + core::DecimalText(serie) + "\r\nversion " + core::DecimalText(version) + "\r\n";
    for (const update::StateLine& l : lines) {
        const std::string n = core::DecimalText(l.patch);
        switch (l.kind) {
            case update::StateLineKind::File:
                text += "archivo " + n + " " + core::DecimalText(static_cast<std::int64_t>(l.size)) + " " + l.sha256;
                break;
            case update::StateLineKind::Folder: text += "carpeta " + n; break;
            case update::StateLineKind::Deleted: text += "borrado " + n; break;
        }
        text += " " + l.path + "\r\n";
    }
    return text;
}

std::string SignedStateText(const std::string& body, const std::vector<core::crypto::KeyPair>& keys,
                            const std::string& listText) {
    std::string text = body;
    for (const auto& key : keys) text += update::FormatSignatureLine(key.point, core::crypto::SignP256(key, body));
    if (text.size() > update::kMaxStateBytes) {
        throw Refusal("parches/estado.txt ocuparía " + core::DecimalText(static_cast<std::int64_t>(text.size())) +
                      " bytes y Updater lee como mucho 16 MiB; no se cambió nada");
    }
    const auto list = update::ParseSignedList(listText);
    bool good = list.has_value();
    std::string why;
    for (const auto& key : keys) {
        if (!good) break;
        const update::StateRead back = update::VerifyState(text, *list, {key.point});
        good = back.ok;
        if (!good) why = " (" + back.reason + ")";
    }
    if (!good) throw Refusal("Updater no leería el estado.txt que se iba a escribir" + why + "; no se cambió nada");
    return text;
}

}  // namespace parchear
