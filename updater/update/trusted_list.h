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

// Why the signed list gives no count: not read (a transfer fault), read and refused, or its
// signatures could not be checked (the platform's cryptography failed).
enum class ListRefusal { NotRead, NotSigned, Older, CannotCheck };
// ok: the accepted list (its count is the patch count). Otherwise the reason: for a refused list
// the red line itself, for a list not read the transfer's cause.
using TrustedCount = core::Result<SignedList, ListRefusal>;

// Reads the whole list (status 200, at most kMaxListBytes), accepts it only when it parses,
// carries a valid signature by one of keys and its serie is not below the recorded one, and
// then records its serie in installFolder.
TrustedCount FetchTrustedCount(HttpClient& http, core::FileSystem& fs, const std::string& installFolder,
                               const std::string& url, const TrustedKeys& keys);

// What the list says about patch number; nothing when it lists no such patch.
const ListedPatch* ListedFor(const SignedList& list, std::int32_t number);

// The downloaded archive must be exactly the listed one: its SHA-256 over the whole file. A
// failure of the platform's cryptography is a refusal with its own cause.
core::Outcome CheckAgainstList(core::FileSystem& fs, const std::string& path, const ListedPatch& listed);

}  // namespace update
