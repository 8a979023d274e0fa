// Every text Instalador shows, with the captions and message-box styles they go with.
#pragma once

#include <string>
#include <string_view>

#include "core/runtime_error.h"

namespace instalacion {

// Classic MessageBox styles: OK only without an icon, OK with the error icon.
inline constexpr unsigned kEstiloSimple = 0;
inline constexpr unsigned kEstiloError = 16;

inline constexpr std::string_view kTituloPrograma = "Instalador";
inline constexpr std::string_view kTituloRegistro = "DLL/OCX Register";

inline constexpr std::string_view kYaRegistrada =
    "La libreria Selvane.Network, ya se encuentra registrada correctamente.";
inline constexpr std::string_view kRegistradaAhora = "La libreria Selvane.Network, ha sido registrada correctamente.";

// The registration's failure prompts; archivo is the name as the caller gave it.
std::string MensajeNoExiste(std::string_view archivo);
std::string MensajeNoCargado(std::string_view archivo);
std::string MensajeSinPuntoDeEntrada(std::string_view archivo);
inline constexpr std::string_view kMensajeSinHilo = "Ocurrió un error al intentar crear un nuevo hilo.";
std::string MensajeSinTerminar(std::string_view archivo);

// The error box of a fault that ends the program: "Error 53: No se encontró el archivo", and
// the error's detail (the file concerned) on a second line when there is one.
std::string MensajeDeError(const core::RuntimeError& error);

// The last-resort box when the program runs out of memory outside every step's own handling.
inline constexpr std::string_view kMensajeSinMemoria = "No hay memoria suficiente para continuar.";

}  // namespace instalacion
