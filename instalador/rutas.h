// Where Instalador looks for the files it names: beside the program, never in the current folder.
#pragma once

#include <string>
#include <string_view>

namespace instalacion {

// The file name Instalador registers; the messages name it exactly so.
inline constexpr std::string_view kLibreria = "Selvane.Network.dll";

// True for a path that does not depend on the current folder's position: "C:\..." or "C:/...",
// "\\server\share\...", or one rooted at the current drive ("\..." or "/...").
bool EsRutaAbsoluta(std::string_view ruta);

// A relative name taken against the program's folder; an absolute path unchanged.
std::string JuntoAlPrograma(std::string_view carpeta, std::string_view nombre);

}  // namespace instalacion
