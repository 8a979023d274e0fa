// A keyed Updater's side of the signed list: it installs only what a list signed by one of its
// built-in keys describes, never a list older than one it already accepted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/file_system.h"
#include "core/outcome.h"
#include "updater/update/http_client.h"
#include "updater/update/remote_text.h"
#include "updater/update/signed_list.h"

namespace update {

// The public keys built into this Updater; none means the unsigned behaviour.
using TrustedKeys = std::vector<core::crypto::PublicPoint>;

// The build's base64 keys; raises TypeMismatch for one that is not a P-256 point.
TrustedKeys ParseTrustedKeys(const std::vector<std::string>& texts);

// installFolder + "\Recursos\OUTPUT\Serie.ini": the highest serie accepted, beside Update.ini.
std::string SerieFilePath(const std::string& installFolder);
// The recorded serie; 0 when there is none or it cannot be read.
std::int64_t ReadSerie(core::FileSystem& fs, const std::string& path);

struct TrustedCount {
    CountFetch fetch;                // not ok when the list could not be read or was refused
    std::optional<SignedList> list;  // the accepted list when fetched
    std::string refusal;             // the red line when the list was read but refused
};

// Reads the whole list (status 200, at most kMaxListBytes), accepts it only when it parses,
// carries a valid signature by one of keys and its serie is not below the recorded one, and
// then records its serie in installFolder. A transfer fault leaves fetch not ok with no refusal.
TrustedCount FetchTrustedCount(HttpClient& http, core::FileSystem& fs, const std::string& installFolder,
                               const std::string& url, const TrustedKeys& keys);

// What the list says about patch number; nothing when it lists no such patch.
const ListedPatch* ListedFor(const SignedList& list, std::int32_t number);

// The downloaded archive must be exactly the listed one: its SHA-256 over the whole file.
core::Outcome CheckAgainstList(core::FileSystem& fs, const std::string& path, const ListedPatch& listed);

}  // namespace update
