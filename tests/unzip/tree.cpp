#include "tests/unzip/tree.h"

#include <fstream>
#include <sstream>

namespace ziptest {

std::filesystem::path PathOf(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

static std::string Utf8Of(const std::filesystem::path& p) {
    const std::u8string u = p.generic_u8string();
    return std::string(u.begin(), u.end());
}

Tree Snapshot(const std::string& root) {
    Tree tree;
    const std::filesystem::path base = PathOf(root);
    for (const auto& item : std::filesystem::recursive_directory_iterator(base)) {
        const std::string rel = Utf8Of(item.path().lexically_relative(base));
        if (item.is_directory()) {
            tree[rel] = std::nullopt;
        } else {
            tree[rel] = ReadAll(Utf8Of(item.path()));
        }
    }
    return tree;
}

void WriteTree(const std::string& root, const Tree& tree) {
    for (const auto& [rel, content] : tree) {
        const std::filesystem::path p = PathOf(root + "/" + rel);
        if (!content) {
            std::filesystem::create_directories(p);
        } else {
            std::filesystem::create_directories(p.parent_path());
            WriteAll(Utf8Of(p), *content);
        }
    }
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(PathOf(path), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteAll(const std::string& path, const std::string& content) {
    std::ofstream(PathOf(path), std::ios::binary | std::ios::trunc) << content;
}

}  // namespace ziptest
