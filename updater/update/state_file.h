// The signed state of an installation: parches/estado.txt, published with version.txt, says
// what every file of the game is after patches 1..version, so that a player many patches behind
// fetches each changed file once, deleted files go, and a damaged installation repairs itself.
//
//   estado-vandrel 1
//   serie <S>                                  <- those of the version.txt published with it
//   version <R>
//   archivo <n> <size> <sha256> <path>         <- the entry <path> of n.zip, the newest that wrote it
//   carpeta <n> <path>                         <- a folder entry, n the newest patch naming it
//   borrado <n> <path>                         <- a file patch n deleted and none wrote again
//   firma <keyid> <base64 of r ‖ s>            <- as in version.txt
//
// One line per path, sorted by path in byte order; the path is the rest of the line, as Updater
// names the extracted file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/crypto.h"
#include "core/file_system.h"
#include "core/outcome.h"
#include "updater/update/signed_list.h"
#include "updater/update/signed_text.h"

namespace update {

inline constexpr std::size_t kMaxStateBytes = 16u << 20;

enum class StateLineKind { File, Folder, Deleted };

struct StateLine {
    StateLineKind kind = StateLineKind::File;
    std::int16_t patch = 0;  // n: the patch that last wrote, named or deleted the path
    std::uint64_t size = 0;  // files only
    std::string sha256;      // files only, lowercase hex
    std::string path;        // relative, '/'-separated, as CheckEntryName gives it
};

struct InstallState {
    std::int64_t serie = 0;
    std::int16_t version = 0;
    std::vector<StateLine> lines;  // in the file's order: by path, byte order
    TextSignatures signatures;
};

// Why a state is not used. The caller logs the reason and goes on as without a state.
enum class StateRefusal {
    TooLarge,       // more than kMaxStateBytes
    Malformed,      // not the format: header, fields, numbers, hex, line ends, firma lines
    BadName,        // a path Updater would refuse as an entry name, or not in its form
    OutOfOrder,     // paths not in strictly increasing byte order
    SameFile,       // two lines for one file as Windows compares names
    FileAndFolder,  // a file that is also the folder of another file or folder
    BadPatch,       // n outside 1..version
    NotSigned,      // no signature by a built-in key verifies
    CannotCheck,    // the platform's cryptography failed
    OtherList,      // serie or version differ from the accepted list's
    NotKept,        // no kept state, or it cannot be read
};
// ok: the state. Otherwise the Spanish cause for the log, with the line when one is at fault.
using StateRead = core::Result<InstallState, StateRefusal>;

// The state in text, checked for everything but its signatures and the list it goes with.
StateRead ParseState(std::string_view text);

// The state in text, used only when it parses, a signature by one of keys verifies over it and
// its serie and version are those of the list accepted in the same run.
StateRead VerifyState(std::string_view text, const SignedList& list,
                      const std::vector<core::crypto::PublicPoint>& keys);

// installFolder + "\Recursos\OUTPUT\Estado.txt": the text of the last state fetched, kept beside
// Update.ini and verified again at every use. A run fetches the state when this gives none.
std::string KeptStatePath(const std::string& installFolder);

// The kept state, as VerifyState finds it against the list accepted in this run; NotKept when
// there is none or it cannot be read.
StateRead ReadKeptState(core::FileSystem& fs, const std::string& installFolder, const SignedList& list,
                        const std::vector<core::crypto::PublicPoint>& keys);

}  // namespace update
