// Paths as Windows spells them: a module's file, a full path, the long form of a short name.
// Each gives back its input (or nothing, for a module) when Windows cannot answer.
#pragma once

#include <windows.h>

#include <string>

namespace core {

// The file a loaded module (null: the running executable) was loaded from; empty on failure.
std::wstring ModuleFileName(HMODULE module);
// GetFullPathName: absolute, with "." and ".." resolved.
std::wstring FullPathName(const std::wstring& path);
// GetLongPathName: every 8.3 short component in its long form (the path must exist).
std::wstring LongPathName(const std::wstring& path);

}  // namespace core
