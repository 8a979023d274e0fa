// What an elevated Instalador trusts. Installers: Microsoft's signature (checked on a private
// copy). The game's network library: the one the operator built into this Instalador, or else
// one that only administrators can change.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace instalador {

// One entry of a file's or folder's access list, with the trustee as an SID string ("S-1-5-18").
struct AccessEntry {
    std::string sid;
    std::uint32_t mask = 0;
    bool allows = true;        // an allow entry (deny entries narrow nothing here)
    bool inheritOnly = false;  // applies only to what is created inside, not to the object
};

// An object's owner and access list as Windows reports them; no list at all grants everyone all.
struct AccessFacts {
    std::string owner;
    bool hasList = true;
    std::vector<AccessEntry> entries;
};

// True when someone other than SYSTEM, Administrators, TrustedInstaller or ownUser (the elevated
// user running Instalador) owns the object or may change it: for a file its content, name or
// rights; for a folder the names inside it (deleting or renaming a file) or its own rights.
bool OthersCanChange(const AccessFacts& facts, bool folder, std::string_view ownUser);

// What the operator built in: the SHA-256 values (lowercase hex) of the library's accepted
// builds, and the publisher whose Authenticode signature it carries. Both may be empty.
struct LibraryIdentity {
    std::span<const std::string_view> sha256;
    std::string_view signer;
    bool Empty() const { return sha256.empty() && signer.empty(); }
};

// Why a file is refused.
enum class Distrust {
    None,
    NotMicrosofts,    // an installer without Microsoft's valid signature
    NotTheOperators,  // a library that matches none of the identities built in
    OthersCanChange,  // a library that someone other than an administrator could have replaced
};

// The verdict from the facts gathered about the held file: with an identity built in, only a
// library that matches it (by hash or by signer) is loaded, wherever it lies; without one, only a
// library that no one but administrators can change, nor its folder.
Distrust JudgeLibrary(const LibraryIdentity& identity, std::string_view sha256, bool signedBySigner,
                      bool othersCanChangeFile, bool othersCanChangeFolder);

}  // namespace instalador
