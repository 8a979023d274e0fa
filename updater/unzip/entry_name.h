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
    // The relative path with '/' separators, no trailing separator and no leading "./"; empty for
    // the archive's own folder ("./" or "." as bsdtar writes it), which has nothing to create.
    std::string path;
    // The name ended in a separator: a folder entry.
    bool folder = false;
};

// Checks a decoded UTF-8 entry name ('\\' and '/' are both separators).
CheckedName CheckEntryName(std::string_view utf8);

// Key of a UTF-8 path under which Windows finds one file: composed (NFC), then each UTF-16 unit
// uppercased by its simple mapping, as Windows compares names. Names Windows takes for one file
// have equal keys (on Windows a few others may too: SameName decides), and a key's prefix up to a
// '/' is the key of that prefix of the path.
std::string NameKey(std::string_view utf8);

// Whether Windows takes two UTF-8 paths for one file: on Windows its own ordinal case-insensitive
// comparison (CompareStringOrdinal) of the composed paths, elsewhere their keys.
bool SameName(std::string_view a, std::string_view b);

// A name fit for a message: control characters and invalid bytes become '?', long names are cut.
std::string Printable(std::string_view text);

}  // namespace unzip
