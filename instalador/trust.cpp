#include "instalador/trust.h"

#include <algorithm>
#include <array>

namespace instalador {
namespace {

// Rights that change a file or its rights (generic ones included, as an entry may carry them).
constexpr std::uint32_t kWriteData = 0x0002, kAppendData = 0x0004, kDeleteChild = 0x0040, kDelete = 0x00010000,
                        kWriteDac = 0x00040000, kWriteOwner = 0x00080000, kGenericAll = 0x10000000,
                        kGenericWrite = 0x40000000;
constexpr std::uint32_t kAlwaysChanging = kDelete | kWriteDac | kWriteOwner | kGenericAll | kGenericWrite;
constexpr std::uint32_t kFileChanging = kAlwaysChanging | kWriteData | kAppendData;
// In a folder, adding a name is harmless by itself (nothing beside the library is loaded); taking
// one away is what lets the library be replaced.
constexpr std::uint32_t kFolderChanging = kAlwaysChanging | kDeleteChild;

constexpr std::array<std::string_view, 3> kAdministrators = {
    "S-1-5-18",                                                        // SYSTEM
    "S-1-5-32-544",                                                    // Administrators
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",  // TrustedInstaller
};

bool Trusted(std::string_view sid, std::string_view ownUser) {
    return (!ownUser.empty() && sid == ownUser) ||
           std::find(kAdministrators.begin(), kAdministrators.end(), sid) != kAdministrators.end();
}

}  // namespace

bool OthersCanChange(const AccessFacts& facts, bool folder, std::string_view ownUser) {
    if (!Trusted(facts.owner, ownUser) || !facts.hasList) return true;
    const std::uint32_t changing = folder ? kFolderChanging : kFileChanging;
    return std::any_of(facts.entries.begin(), facts.entries.end(), [&](const AccessEntry& e) {
        return e.allows && !e.inheritOnly && (e.mask & changing) != 0 && !Trusted(e.sid, ownUser);
    });
}

Distrust JudgeLibrary(const LibraryIdentity& identity, std::string_view sha256, bool signedBySigner,
                      bool othersCanChangeFile, bool othersCanChangeFolder) {
    if (!identity.Empty()) {
        const bool listed = std::find(identity.sha256.begin(), identity.sha256.end(), sha256) != identity.sha256.end();
        const bool signer = !identity.signer.empty() && signedBySigner;
        return listed || signer ? Distrust::None : Distrust::NotTheOperators;
    }
    return othersCanChangeFile || othersCanChangeFolder ? Distrust::OthersCanChange : Distrust::None;
}

}  // namespace instalador
