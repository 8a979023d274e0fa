// Registration of a component library through its own DllRegisterServer.
#pragma once

#include <string>

#include "instalador/platform.h"

namespace m_Reg {

// Loads the file (a relative name is taken beside the program, never in the current folder),
// runs its DllRegisterServer on a worker thread and waits at most 10000 ms. True when the entry
// point ran to its end, whatever status it returned; otherwise false after one error box, shown
// through dialogs, that names the file as given. Never raises.
bool RegistrarArchivo(const std::string& file, instalador::Platform& dialogs) noexcept;

}  // namespace m_Reg
