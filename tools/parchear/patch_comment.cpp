#include "tools/parchear/patch_comment.h"

#include <algorithm>

#include "core/composed.h"
#include "tools/parchear/refusal.h"
#include "tools/parchear/zip_writer.h"
#include "updater/unzip/entry_name.h"
#include "updater/unzip/zip_format.h"
#include "updater/update/signed_text.h"

namespace parchear {
namespace {

constexpr std::string_view kHeader = "parchear-borrados 1";
constexpr std::string_view kFile = "borrado ";
constexpr std::string_view kFolder = "carpeta ";
constexpr std::size_t kEndLength = 22;  // the end record without its comment

std::uint32_t Little(const std::string& bytes, std::size_t at, std::size_t width) {
    std::uint32_t v = 0;
    for (std::size_t i = width; i-- > 0;) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
    return v;
}

// The comment of the end record whose comment ends the file, as Updater finds that record.
std::string ArchiveComment(core::FileSystem& fs, const std::string& archive) {
    const auto file = fs.OpenRead(archive);
    const std::uint64_t size = file->Size();
    const std::size_t tail = static_cast<std::size_t>(std::min<std::uint64_t>(size, kEndLength + kMaxCommentBytes));
    std::string bytes(tail, '\0');
    bytes.resize(file->ReadAt(size - tail, bytes.data(), tail));
    for (std::size_t at = bytes.size() < kEndLength ? 0 : bytes.size() - kEndLength + 1; at-- > 0;) {
        if (Little(bytes, at, 4) != unzip::zip_format::end::kSignature) continue;
        const std::size_t length = Little(bytes, at + 20, 2);
        if (at + kEndLength + length == bytes.size()) return bytes.substr(at + kEndLength);
    }
    return {};
}

}  // namespace

std::string UpdaterPath(const std::string& path) {
    const unzip::CheckedName name = unzip::CheckEntryName(core::ComposedUtf8(path));
    return name.reason.empty() && !name.folder ? name.path : std::string();
}

std::optional<std::string> DeletionsComment(const Deletions& deleted) {
    std::string text(kHeader);
    text += '\n';
    for (const auto& [kind, paths] : {std::pair{kFile, &deleted.files}, std::pair{kFolder, &deleted.folders}}) {
        for (const std::string& p : *paths) {
            text += kind;
            text += p;
            text += '\n';
        }
    }
    if (text.size() > kMaxCommentBytes) return std::nullopt;
    return text;
}

Deletions ReadDeletions(core::FileSystem& fs, const std::string& archive) {
    const std::string comment = ArchiveComment(fs, archive);
    if (!comment.starts_with(std::string(kHeader) + "\n")) return {};
    const auto damaged = [&](const std::string& why) {
        return Refusal(Quoted(archive) + " lleva la lista de borrados de «parchear crear» dañada (" + why +
                       "); vuelva a crear el parche");
    };
    if (!comment.ends_with('\n')) throw damaged("falta el final de la última línea");
    std::vector<std::string_view> lines = update::SplitFields(comment, '\n');
    lines.pop_back();  // after the last LF
    Deletions deleted;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const bool file = lines[i].starts_with(kFile);
        if (!file && !lines[i].starts_with(kFolder)) throw damaged("línea " + std::to_string(i + 1));
        const std::string path(lines[i].substr(kFile.size()));
        if (path.empty() || UpdaterPath(path) != path) throw damaged("nombre " + Quoted(unzip::Printable(path)));
        (file ? deleted.files : deleted.folders).push_back(path);
    }
    return deleted;
}

}  // namespace parchear
