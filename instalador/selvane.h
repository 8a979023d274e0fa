// Instalador's run: the presence check, then the runtime generations until the library works.
#pragma once

#include <string_view>

#include "instalador/plataforma.h"

namespace m_Selvane {

// The program: ends through Avisos::Terminar when the library is registered (already or now)
// or after an error box; returns kSalidaSinExito when all six generations failed.
int Main(instalacion::Plataforma& p);

// One generation: its 32-bit installer, its 64-bit one on WOW64, then the registration and the
// presence check; ends the program when both succeed. Raises core::RuntimeError when an
// installer cannot be started.
void InstalarDependencia(instalacion::Plataforma& p, bool EsWow64, std::string_view argumento);

}  // namespace m_Selvane
