// Installation trees for the crash test, with contents shared between the trees of many patches:
// what a folder holds, what each path may hold while an update runs, and which files are the
// update's own temporaries.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/tree.h"

namespace crash {

namespace fs = std::filesystem;

using Blob = std::shared_ptr<const std::string>;
// Relative path with '/' separators -> content.
using Tree = std::map<std::string, Blob>;

using testsupport::FilesBelow;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

// Every file below root (an empty tree when root does not exist).
Tree LoadTree(const fs::path& root);
// base with top's files written over it.
Tree Overlay(Tree base, const Tree& top);
// Writes every file of tree below root.
void Materialize(const Tree& tree, const fs::path& root);

// Which of the update's own temporaries rel is ("archive", "resume record", "extraction temp",
// "version temp").
std::optional<std::string> TemporaryKind(const std::string& rel);

// The contents each path may hold at any moment of an update that starts from before and
// applies patches in order, however often it is cut short and started again: the old content
// (or no file, for a path that was not there), or one patch's version.
class AllowedContents {
public:
    AllowedContents(const Tree& before, const std::vector<Tree>& patches);
    // Empty when content is one of rel's allowed contents; else what is wrong with it.
    std::string Judge(const std::string& rel, std::string_view content) const;
    bool Known(const std::string& rel) const { return m_allowed.count(rel) != 0; }
    bool MayBeAbsent(const std::string& rel) const { return m_absentOk.count(rel) != 0; }
    std::vector<std::string> Paths() const;

private:
    std::map<std::string, std::vector<Blob>> m_allowed;
    std::set<std::string> m_absentOk;
};

}  // namespace crash
