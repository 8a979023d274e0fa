// Folder trees for the test programs: what a folder holds, to compare before and after, and
// trees written out as test input.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// Relative path (UTF-8, '/' separators) to content; folders map to nothing.
using Tree = std::map<std::string, std::optional<std::string>>;

// path relative to root, UTF-8 with '/' separators.
std::string RelativePath(const std::filesystem::path& path, const std::filesystem::path& root);
// Updater.log and its older file: the program's diary, never part of what a folder holds.
bool IsUpdaterLog(const std::string& rel);
// Every file and folder below root.
Tree Snapshot(const std::filesystem::path& root);
// Writes every file and folder of tree below root.
void WriteTree(const std::filesystem::path& root, const Tree& tree);
// The relative paths of the files below root, sorted; none when root is not a folder. Both leave
// Updater's log out.
std::vector<std::string> FilesBelow(const std::filesystem::path& root);

}  // namespace testsupport
