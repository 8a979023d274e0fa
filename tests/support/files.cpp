#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace testsupport {

namespace fs = std::filesystem;

fs::path U8Path(std::string_view utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

std::string U8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::optional<std::string> TryReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return content.str();
}

std::string ReadBytes(const fs::path& path) {
    if (auto content = TryReadBytes(path)) return *content;
    ADD_FAILURE() << "no se pudo leer " << U8(path);
    return "<no se pudo leer " + U8(path) + ">";
}

void WriteBytes(const fs::path& path, std::string_view content) {
    std::error_code ec;
    if (path.has_parent_path()) fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    if (!out) ADD_FAILURE() << "no se pudo escribir " << U8(path);
}

}  // namespace testsupport
