// Instalador's run: the presence check, then the runtime generations until the library works.
#pragma once

#include <string_view>

#include "instalador/platform.h"

namespace m_Selvane {

// The program, with the installation folder (the program's own, no trailing separator, UTF-8):
// ends through Platform::EndProgram when the library is registered (already or now) or after an
// error box (kExitError, or kExitUntrusted for a file it does not trust); returns kExitNoSuccess when all
// six generations failed.
int Main(instalador::Platform& p, std::string_view folder);

// One generation: its 32-bit installer, its 64-bit one on WOW64, then the registration and the
// presence check; ends the program when both succeed. Raises core::RuntimeError when an
// installer cannot be started.
void InstalarDependencia(instalador::Platform& p, std::string_view folder, bool EsWow64, std::string_view argument);

}  // namespace m_Selvane
