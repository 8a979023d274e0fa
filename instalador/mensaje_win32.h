// Modal message boxes of a program that has no window of its own.
#pragma once

#include <string_view>

namespace instalacion {

// Shows a message box (UTF-8 texts, classic style flags); false when the box could not be shown.
bool MostrarMensaje(std::string_view texto, std::string_view titulo, unsigned estilo) noexcept;

}  // namespace instalacion
