// Files for the test programs, by UTF-8 path: on Windows a std::filesystem::path made from a
// plain std::string reads it in the ANSI code page, so "Canción.txt" would name another file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace testsupport {

// A path from UTF-8 text.
std::filesystem::path U8Path(std::string_view utf8);
// The UTF-8 text of a path.
std::string U8(const std::filesystem::path& path);

// The whole file; nothing when it cannot be opened or read.
std::optional<std::string> TryReadBytes(const std::filesystem::path& path);
// The whole file. One that cannot be read fails the running test with its name, and the text
// returned names it too, so that no comparison with an expected content can pass.
std::string ReadBytes(const std::filesystem::path& path);
// Creates the missing folders and writes content; a failure fails the running test.
void WriteBytes(const std::filesystem::path& path, std::string_view content);

}  // namespace testsupport
