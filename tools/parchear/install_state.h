// The state of the installation parchear publishes as parches/estado.txt beside a signed
// version.txt: what every path of the game is after patches 1..R, built from the archives (their
// entries, hashed as Updater extracts them, and the deletions crear noted in their comment).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/crypto.h"
#include "core/file_system.h"
#include "updater/update/state_file.h"

namespace parchear {

struct HashedEntry {
    std::string path;  // as Updater names the extracted entry
    bool folder = false;
    std::uint64_t size = 0;  // files: the content's size and lowercase hex SHA-256
    std::string sha256;
};

// Every entry of the archive as Updater reads it, each file inflated and hashed. Refusal when
// Updater would refuse the archive.
std::vector<HashedEntry> HashEntries(core::FileSystem& fs, const std::string& archive);

class StateBuilder {
public:
    StateBuilder() = default;
    explicit StateBuilder(const std::vector<update::StateLine>& lines);

    // Patch n, the archive at path: the files its comment deletes, then its entries. A deleted
    // path becomes borrado; a path written again is archivo or carpeta of n.
    void Apply(core::FileSystem& fs, const std::string& archive, int n);

    // One line per path, sorted by path in byte order.
    std::vector<update::StateLine> Lines() const;

private:
    void Put(update::StateLine line);

    std::map<std::string, update::StateLine> m_byKey;  // by unzip::NameKey: one line per file as Windows sees it
};

// estado.txt up to its firma lines.
std::string FormatStateBody(std::int64_t serie, int version, const std::vector<update::StateLine>& lines);

// The body signed by every key, read back with Updater's own parser against listText (the
// version.txt published with it) and each key. Refusal when Updater would not take it.
std::string SignedStateText(const std::string& body, const std::vector<core::crypto::KeyPair>& keys,
                            const std::string& listText);

}  // namespace parchear
