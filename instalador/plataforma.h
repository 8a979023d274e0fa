// What Instalador's sequence needs from Windows, behind interfaces so the tests can replace it.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "instalador/comandos.h"

namespace instalacion {

// A started installer.
class Proceso {
public:
    virtual ~Proceso() = default;
    // True once the process has ended.
    virtual bool Terminado() = 0;
    // Returns when the process has ended; window messages keep being processed meanwhile.
    virtual void EsperarFin() = 0;
};

class Lanzador {
public:
    virtual ~Lanzador() = default;
    // Starts the installer hidden. Raises core::RuntimeError (with the installer's path as
    // detail) when it cannot be started; null when there is nothing to wait for.
    virtual std::unique_ptr<Proceso> Iniciar(const Comando& comando) = 0;
};

// The game's network library.
class Libreria {
public:
    virtual ~Libreria() = default;
    // Runs the file's self-registration; false (after its own message) on any failure.
    virtual bool RegistrarArchivo(const std::string& archivo) = 0;
    // True when the library's class can be created; shows nothing.
    virtual bool LibreriaRegistrada() = 0;
};

class Avisos {
public:
    virtual ~Avisos() = default;
    // A modal message box with the classic MessageBox style.
    virtual void Mostrar(std::string_view texto, std::string_view titulo, unsigned estilo) = 0;
    // Ends the program at once with the exit status; nothing after this call runs.
    [[noreturn]] virtual void Terminar(int codigo) = 0;
};

class Sistema {
public:
    virtual ~Sistema() = default;
    // True for a 32-bit process on 64-bit Windows; false when it cannot be told.
    virtual bool EsWow64() = 0;
};

struct Plataforma {
    Lanzador& lanzador;
    Libreria& libreria;
    Avisos& avisos;
    Sistema& sistema;
    // The installation folder (the program's own), without a trailing separator, UTF-8.
    std::string carpeta;
};

// Exit statuses, for the operators' installers that call Instalador.
inline constexpr int kSalidaRegistrada = 0;  // registered, already or now
inline constexpr int kSalidaSinExito = 1;    // no generation made it
inline constexpr int kSalidaError = 2;       // ended by an error box

}  // namespace instalacion
