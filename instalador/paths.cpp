#include "instalador/paths.h"

namespace instalador {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

bool IsAbsolutePath(std::string_view path) {
    if (!path.empty() && IsSeparator(path[0])) return true;
    return path.size() >= 3 && IsLetter(path[0]) && path[1] == ':' && IsSeparator(path[2]);
}

std::string BesideProgram(std::string_view folder, std::string_view name) {
    if (IsAbsolutePath(name)) return std::string(name);
    std::string path(folder);
    if (!path.empty() && !IsSeparator(path.back())) path += '\\';
    path += name;
    return path;
}

}  // namespace instalador
