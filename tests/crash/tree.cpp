#include "tests/crash/tree.h"

#include <algorithm>

#include "core/file_system.h"
#include "updater/unzip/entry_name.h"

namespace crash {

Tree LoadTree(const fs::path& root) {
    Tree tree;
    for (const std::string& rel : FilesBelow(root)) {
        tree[rel] = std::make_shared<const std::string>(ReadBytes(root / testsupport::U8Path(rel)));
    }
    return tree;
}

Tree Overlay(Tree base, const Tree& top) {
    for (const auto& [rel, blob] : top) base[rel] = blob;
    return base;
}

void Materialize(const Tree& tree, const fs::path& root) {
    for (const auto& [rel, blob] : tree) WriteBytes(root / testsupport::U8Path(rel), *blob);
}

std::optional<std::string> TemporaryKind(const std::string& rel) {
    static const std::string versionTemp = core::TemporaryNameFor("Recursos/OUTPUT/Update.ini");
    if (rel == versionTemp) return "version temp";
    for (const std::string_view record : {std::string_view(".zip.reanudar"), std::string_view(".zip.reanudar.nuevo")}) {
        if (rel.size() > record.size() && rel.compare(rel.size() - record.size(), record.size(), record) == 0) {
            return "resume record";
        }
    }
    const std::string_view suffix = unzip::kTemporarySuffix;
    if (rel.size() > suffix.size() && rel.compare(rel.size() - suffix.size(), suffix.size(), suffix) == 0) {
        return "extraction temp";
    }
    const std::size_t dot = rel.find('.');
    if (dot > 0 && dot != std::string::npos && rel.substr(dot) == ".zip" &&
        std::all_of(rel.begin(), rel.begin() + static_cast<std::ptrdiff_t>(dot),
                    [](char c) { return c >= '0' && c <= '9'; })) {
        return "archive";
    }
    return std::nullopt;
}

AllowedContents::AllowedContents(const Tree& before, const std::vector<Tree>& patches) {
    for (const auto& [rel, blob] : before) m_allowed[rel].push_back(blob);
    for (const Tree& patch : patches) {
        for (const auto& [rel, blob] : patch) {
            if (before.count(rel) == 0) m_absentOk.insert(rel);
            m_allowed[rel].push_back(blob);
        }
    }
}

std::string AllowedContents::Judge(const std::string& rel, std::string_view content) const {
    const auto it = m_allowed.find(rel);
    if (it == m_allowed.end()) return "a file that neither the installation nor any patch has";
    for (const Blob& blob : it->second) {
        if (*blob == content) return {};
    }
    std::string why = std::to_string(content.size()) + " bytes that match no version of it";
    for (const Blob& blob : it->second) {
        if (blob->size() > content.size() && blob->compare(0, content.size(), content) == 0) {
            why += " (the first " + std::to_string(content.size()) + " of " + std::to_string(blob->size()) +
                   " bytes of one version: partly written)";
            break;
        }
    }
    return why;
}

std::vector<std::string> AllowedContents::Paths() const {
    std::vector<std::string> out;
    for (const auto& entry : m_allowed) out.push_back(entry.first);
    return out;
}

}  // namespace crash
