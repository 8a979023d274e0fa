// Which network library an elevated Instalador may load: the access lists that let someone other
// than an administrator replace it, and the verdict with and without an identity built in.
#include "instalador/trust.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace instalador;

constexpr const char* kMe = "S-1-5-21-1-2-3-1001";  // the elevated administrator
constexpr std::uint32_t kRead = 0x1200a9, kFull = 0x1f01ff, kModify = 0x1301bf, kDeleteChild = 0x40, kAddFile = 0x2;

TEST(LibraryTrust, OnlyAdministratorsMayChangeTheFileOrItsFolder) {
    const struct {
        const char* name;
        AccessFacts facts;
        bool folder;
        bool others;
    } cases[] = {
        {"Program Files",
         {"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
          true,
          {{"S-1-5-18", kFull}, {"S-1-5-32-544", kFull}, {"S-1-5-32-545", kRead}}},
         false,
         false},
        {"owned by the administrator running it", {kMe, true, {{kMe, kFull}, {"S-1-1-0", kRead}}}, false, false},
        {"owned by another user", {"S-1-5-21-1-2-3-1002", true, {{"S-1-5-32-544", kFull}}}, false, true},
        {"no access list at all", {"S-1-5-32-544", false, {}}, false, true},
        {"Users may modify", {"S-1-5-32-544", true, {{"S-1-5-32-545", kModify}}}, false, true},
        {"Everyone generic write", {"S-1-5-32-544", true, {{"S-1-1-0", 0x40000000}}}, false, true},
        {"an entry whose trustee cannot be read", {"S-1-5-32-544", true, {{"", kFull}}}, false, true},
        {"a deny entry grants nothing", {"S-1-5-32-544", true, {{"S-1-5-32-545", kFull, false}}}, false, false},
        {"inherit-only entries reach only new files",
         {"S-1-5-32-544", true, {{"S-1-3-0", kFull, true, true}}},
         true,
         false},
        {"folder: users may add files", {"S-1-5-32-544", true, {{"S-1-5-32-545", kRead | kAddFile}}}, true, false},
        {"folder: users may delete inside",
         {"S-1-5-32-544", true, {{"S-1-5-32-545", kRead | kDeleteChild}}},
         true,
         true},
        {"file: users may write data", {"S-1-5-32-544", true, {{"S-1-5-32-545", kRead | kAddFile}}}, false, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OthersCanChange(c.facts, c.folder, kMe), c.others) << c.name;
    }
    // Without the own user known, only the built-in administrators are trusted.
    EXPECT_TRUE(OthersCanChange({kMe, true, {}}, false, ""));
}

TEST(LibraryTrust, AnIdentityBuiltInDecidesWhereverTheLibraryLies) {
    const std::vector<std::string_view> hashes = {"aa", "bb"};
    const LibraryIdentity none{}, byHash{hashes, ""}, bySigner{{}, "Selvane S.L."}, both{hashes, "Selvane S.L."};
    const struct {
        const LibraryIdentity* identity;
        const char* sha256;
        bool signedBy, fileOpen, folderOpen;
        Distrust verdict;
    } cases[] = {
        {&none, "", false, false, false, Distrust::None},
        {&none, "", false, true, false, Distrust::OthersCanChange},
        {&none, "", true, false, true, Distrust::OthersCanChange},
        {&byHash, "bb", false, true, true, Distrust::None},
        {&byHash, "cc", true, false, false, Distrust::NotTheOperators},
        {&byHash, "", false, false, false, Distrust::NotTheOperators},
        {&bySigner, "", true, true, true, Distrust::None},
        {&bySigner, "aa", false, false, false, Distrust::NotTheOperators},
        {&both, "cc", true, false, false, Distrust::None},
        {&both, "aa", false, false, false, Distrust::None},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        EXPECT_EQ(JudgeLibrary(*c.identity, c.sha256, c.signedBy, c.fileOpen, c.folderOpen), c.verdict) << "case " << i;
    }
}

}  // namespace
