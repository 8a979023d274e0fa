// Registration of a component library through its own DllRegisterServer.
#pragma once

#include <string>

namespace m_Reg {

// Loads the file (a relative name is taken beside the program, never in the current folder),
// runs its DllRegisterServer on a worker thread and waits at most 10000 ms. True when the entry
// point ran to its end, whatever status it returned; otherwise false after one error box that
// names the file as given. Never raises.
bool RegistrarArchivo(const std::string& archivo) noexcept;

}  // namespace m_Reg
