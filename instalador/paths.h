// Where Instalador looks for the files it names: beside the program, never in the current folder.
#pragma once

#include <string>
#include <string_view>

namespace instalador {

// The file name Instalador registers; the messages name it exactly so.
inline constexpr std::string_view kLibraryFile = "Selvane.Network.dll";

// True for a path that does not depend on the current folder's position: "C:\..." or "C:/...",
// "\\server\share\...", or one rooted at the current drive ("\..." or "/...").
bool IsAbsolutePath(std::string_view path);

// A relative name taken against the program's folder; an absolute path unchanged.
std::string BesideProgram(std::string_view folder, std::string_view name);

}  // namespace instalador
