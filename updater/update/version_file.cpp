#include "updater/update/version_file.h"

#include <cstdlib>

#include "core/numeric.h"
#include "core/runtime_error.h"

namespace update {
namespace {
// Anything longer cannot be a version number surrounded by a sane amount of white space.
constexpr std::uint64_t kMaxVersionFileBytes = 4096;
}  // namespace

std::string VersionFilePath(const std::string& installFolder) {
    return installFolder + "\\Recursos\\OUTPUT\\Update.ini";
}

std::string FormatVersionFile(std::int16_t value) {
    std::string out = value < 0 ? "-" : " ";
    out += core::DecimalText(std::abs(static_cast<int>(value)));
    out += " \r\n";
    return out;
}

std::int16_t ReadVersionFile(core::FileSystem& fs, const std::string& path, char decimalSeparator) {
    const std::uint64_t size = fs.FileSize(path);
    if (size < 3) return 0;
    if (size > kMaxVersionFileBytes) core::Raise(core::ErrorKind::TypeMismatch, path);
    const std::string text = fs.ReadFile(path, kMaxVersionFileBytes);
    return core::LocaleToInt16(text, decimalSeparator);
}

void WriteVersionFile(core::FileSystem& fs, const std::string& path, std::int16_t value) {
    core::WriteFileAtomically(fs, path, FormatVersionFile(value));
}

}  // namespace update
