// Paths as Windows spells them: its separator, a module's file, a full path, the long form of a
// short name.
// Each gives back its input (or nothing, for a module) when Windows cannot answer.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace core {

// The path with every '/' turned into '\\', the separator every Windows call accepts.
std::wstring WithBackslashes(std::wstring path);
// A UTF-8 path in the form the wide Windows calls take.
std::wstring WidePath(std::string_view utf8Path);

// The file a loaded module (null: the running executable) was loaded from; empty on failure.
std::wstring ModuleFileName(HMODULE module);
// GetFullPathName: absolute, with "." and ".." resolved.
std::wstring FullPathName(const std::wstring& path);
// GetLongPathName: every 8.3 short component in its long form (the path must exist).
std::wstring LongPathName(const std::wstring& path);

}  // namespace core
