// The rules an entry name must meet before anything is written: a plain relative path that
// stays inside the target folder and that Windows can create as it is.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace unzip {

// Suffix of the temporary file an entry is written to before it replaces its final file.
inline constexpr std::string_view kTemporarySuffix = ".vandrel-tmp";
// Longest name accepted, in bytes of UTF-8, and longest single component.
inline constexpr std::size_t kMaxNameBytes = 1024;
inline constexpr std::size_t kMaxComponentBytes = 255;

struct CheckedName {
    // Empty when the name is acceptable; otherwise the Spanish cause ("sale de la carpeta de destino").
    std::string reason;
    // The relative path with '/' separators and no trailing separator.
    std::string path;
    // The name ended in a separator: a folder entry.
    bool folder = false;
};

// Checks a decoded UTF-8 entry name ('\\' and '/' are both separators).
CheckedName CheckEntryName(std::string_view utf8);

// Case-insensitive key of a UTF-8 path, folding as NTFS does for Latin, Greek and Cyrillic.
std::string FoldCase(std::string_view utf8);

// A name fit for a message: control characters and invalid bytes become '?', long names are cut.
std::string Printable(std::string_view text);

}  // namespace unzip
