#include "tests/support/tree.h"

#include <algorithm>

#include "tests/support/files.h"

namespace testsupport {

namespace fs = std::filesystem;

std::string RelativePath(const fs::path& path, const fs::path& root) {
    const std::u8string text = path.lexically_relative(root).generic_u8string();
    return std::string(text.begin(), text.end());
}

bool IsUpdaterLog(const std::string& rel) {
    return rel == "Recursos/OUTPUT/Updater.log" || rel == "Recursos/OUTPUT/Updater.anterior.log";
}

Tree Snapshot(const fs::path& root) {
    Tree tree;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        if (IsUpdaterLog(RelativePath(item.path(), root))) continue;
        tree[RelativePath(item.path(), root)] =
            item.is_directory() ? std::nullopt : std::optional<std::string>(ReadBytes(item.path()));
    }
    return tree;
}

void WriteTree(const fs::path& root, const Tree& tree) {
    for (const auto& [rel, content] : tree) {
        if (content) {
            WriteBytes(root / U8Path(rel), *content);
        } else {
            fs::create_directories(root / U8Path(rel));
        }
    }
}

std::vector<std::string> FilesBelow(const fs::path& root) {
    std::vector<std::string> out;
    std::error_code ec;
    if (!fs::is_directory(root, ec)) return out;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file() && !IsUpdaterLog(RelativePath(entry.path(), root)))
            out.push_back(RelativePath(entry.path(), root));
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace testsupport
