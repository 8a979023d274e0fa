// Instalador's platform on Windows: hidden installers, the library's registration and presence,
// the process's kind, message boxes and the end of the program.
#pragma once

#include "instalador/platform.h"

namespace instalador {

class Win32Platform final : public Platform {
public:
    // The program is named as well as quoted in the line, so no other file can be started.
    std::unique_ptr<Process> StartHidden(const Command& command) override;
    // m_Reg::RegistrarArchivo, its failure boxes shown through this platform.
    bool RegistrarArchivo(const std::string& file) override;
    // In-process creation of the library's class with its interface (released at once); COM
    // must be initialised on this thread.
    bool LibreriaRegistrada() override;
    bool EsWow64() override;
    // Shows nothing when the box cannot be created or its texts converted; never raises.
    void ShowMessage(std::string_view text, std::string_view caption, core::BoxStyle style) override;
    // ExitProcess: other threads (a registration left running) end with it.
    [[noreturn]] void EndProgram(int exitCode) override;
};

}  // namespace instalador
