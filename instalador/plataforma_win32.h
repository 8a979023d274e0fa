// The real Windows side of Instalador's seams.
#pragma once

#include "instalador/plataforma.h"

namespace instalacion {

class LibreriaWin32 final : public Libreria {
public:
    bool RegistrarArchivo(const std::string& archivo) override;
    bool LibreriaRegistrada() override;
};

class AvisosWin32 final : public Avisos {
public:
    void Mostrar(std::string_view texto, std::string_view titulo, unsigned estilo) override;
    // ExitProcess: other threads (a registration left running) end with it.
    [[noreturn]] void Terminar(int codigo) override;
};

class SistemaWin32 final : public Sistema {
public:
    bool EsWow64() override;
};

}  // namespace instalacion
