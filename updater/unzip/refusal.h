// Why an archive is refused or its extraction fails: one code per kind of cause, from which the
// short Spanish text for the player and the operator is made in one place.
#pragma once

#include <string>
#include <string_view>

#include "core/outcome.h"

namespace unzip {

enum class Refusal {
    None,
    // The file as a whole.
    NotZip,
    Rar,
    SplitArchive,
    DamagedDirectory,
    EncryptedDirectory,
    Damaged,
    Incomplete,
    // Limits.
    TooManyEntries,
    TooLarge,
    NamesTooLong,
    Bomb,
    // One entry.
    BadName,
    EncryptedEntry,
    UnsupportedMethod,
    Link,
    SpecialFile,
    FileAndFolder,
    SameFile,
    ContentSize,
    ContentCrc,
    ContentDamaged,
    // The machine.
    CannotOpen,
    CannotRead,
    NoTarget,
    CannotCreateFolder,
    CannotWrite,
    DiskFull,
    InUse,
    CannotReplace,
    OutOfMemory,
    Unexpected,
};

// The text of a refusal. subject is the entry or folder it names (shown between « »), detail
// the rest the text needs (a number, a cause, a second name already quoted).
std::string RefusalText(Refusal code, std::string_view subject = {}, std::string_view detail = {});

// An extraction's or a directory read's outcome with the code of its refusal.
using Result = core::Result<std::monostate, Refusal>;

}  // namespace unzip
