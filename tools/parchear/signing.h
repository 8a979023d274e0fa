// Signed publications on parchear's side: the operator's key files, the signed version.txt it
// writes, and what it reads back from a server's list.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/crypto.h"
#include "core/file_system.h"
#include "tools/parchear/refusal.h"
#include "updater/update/signed_list.h"

namespace parchear {

// clave nueva: a fresh key pair into a new PKCS#8 PEM file readable by its owner only.
void ClaveNueva(core::FileSystem& fs, const std::string& path, Console& console);
// clave publica: the public key (as builds take it) and its key id.
void ClavePublica(core::FileSystem& fs, const std::string& path, Console& console);

// The key files given with --clave; raises Refusal for a missing or unusable one, or one that
// others may read.
std::vector<core::crypto::KeyPair> LoadKeys(core::FileSystem& fs, const std::vector<std::string>& paths);

// What version.txt holds beyond the count.
struct ServerList {
    bool signedForm = false;                 // its second line announces a signed list
    std::optional<update::SignedList> list;  // when it parses
};
ServerList ReadServerList(core::FileSystem& fs, const std::string& server);

// Size and SHA-256 of one file.
update::ListedPatch Describe(core::FileSystem& fs, const std::string& path);

// A serie above previous: the UTC time as YYYYMMDDhhmmss, or previous + 1 when the clock is behind.
std::int64_t NextSerie(std::int64_t previous);
// Size and SHA-256 of a text, as the record keeps version.txt.
update::ListedPatch DescribeText(std::string_view text);

// Problems of a signed list against the folder and the keys the operator trusts (none given:
// the signatures are only listed).
std::vector<std::string> CheckSignedList(core::FileSystem& fs, const std::string& server, int count,
                                         const std::vector<core::crypto::PublicPoint>& trusted, Console& console);

}  // namespace parchear
