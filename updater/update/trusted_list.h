// A keyed Updater's side of the signed list: it installs only what a list signed by one of its
// built-in keys describes, never a list older than one it already accepted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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

// Serie.ini holds "<serie>\r\n<digest>\r\n": the digest is the first kSerieDigestHex lowercase
// hex digits of the SHA-256 of the accepted list's signed part. Earlier Updaters wrote the serie
// line alone and read at most 64 bytes of leading digits, so the file stays within 64 bytes.
inline constexpr std::size_t kSerieDigestHex = 40;
inline constexpr std::size_t kMaxSerieFileBytes = 64;
static_assert(18 + 2 + kSerieDigestHex + 2 <= kMaxSerieFileBytes, "the longest Serie.ini must fit");

struct RecordedSerie {
    std::int64_t serie = 0;
    std::string digest;  // empty in a file an earlier Updater wrote
};
// The digest Serie.ini records for a list.
std::string SerieDigest(const SignedList& list);
std::string FormatSerieFile(const RecordedSerie& recorded);
// Lines ending in CR LF or LF (the last one may lack it): the serie in 1 to 18 digits, then
// optionally the digest, and nothing else. Nothing for any other text.
std::optional<RecordedSerie> ParseSerieFile(std::string_view text);

// Why the signed list gives no count: not read (a transfer fault), read and refused (not signed,
// older than the recorded one, the recorded serie with other contents), Serie.ini unreadable, or
// its signatures could not be checked (the platform's cryptography failed).
enum class ListRefusal { NotRead, NotSigned, Older, OtherContents, SerieUnreadable, CannotCheck };
// ok: the accepted list (its count is the patch count). Otherwise the reason: for a refused list
// the red line itself, for a list not read the transfer's cause.
using TrustedCount = core::Result<SignedList, ListRefusal>;

// Reads the whole list (status 200, at most kMaxListBytes), accepts it only when it parses,
// carries a valid signature by one of keys and its serie is above the recorded one, or equal with
// the same signed part (or a recorded serie without digest), and then records its serie and
// digest in installFolder. A Serie.ini that exists but is empty counts as none; one that cannot
// be read or parsed refuses every list and is left as it is. The list must arrive whole by
// deadlineMs (0: no limit beyond the client's time-outs).
TrustedCount FetchTrustedCount(HttpClient& http, core::FileSystem& fs, const std::string& installFolder,
                               const std::string& url, const TrustedKeys& keys, std::uint64_t deadlineMs = 0);

// What the list says about patch number; nothing when it lists no such patch.
const ListedPatch* ListedFor(const SignedList& list, std::int32_t number);

// The downloaded archive must be exactly the listed one: its SHA-256 over the whole file. A
// failure of the platform's cryptography is a refusal with its own cause.
core::Outcome CheckAgainstList(core::FileSystem& fs, const std::string& path, const ListedPatch& listed);

}  // namespace update
