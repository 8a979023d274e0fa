// Every text Instalador shows, with the captions they go with.
#pragma once

#include <string>
#include <string_view>

#include "core/runtime_error.h"
#include "instalador/trust.h"

namespace instalador {

inline constexpr std::string_view kProgramCaption = "Instalador";
inline constexpr std::string_view kRegisterCaption = "DLL/OCX Register";

inline constexpr std::string_view kAlreadyRegisteredText =
    "La libreria Selvane.Network, ya se encuentra registrada correctamente.";
inline constexpr std::string_view kRegisteredNowText = "La libreria Selvane.Network, ha sido registrada correctamente.";

// The registration's failure prompts; file is the name as the caller gave it.
std::string FileMissingText(std::string_view file);
std::string NotLoadedText(std::string_view file);
std::string NoEntryPointText(std::string_view file);
inline constexpr std::string_view kNoThreadText = "Ocurrió un error al intentar crear un nuevo hilo.";
std::string NotFinishedText(std::string_view file);

// The error box of a fault that ends the program: "Error 53: No se encontró el archivo", and
// the error's detail (the installer concerned) on a second line when there is one.
std::string ErrorText(const core::RuntimeError& error);

// The refusal of a file Instalador does not trust: an installer whose signature is missing,
// broken or not Microsoft's, or a library that is not the operator's or that others can change.
std::string UntrustedText(std::string_view file, Distrust why);

// The last-resort box when the program runs out of memory outside every step's own handling.
inline constexpr std::string_view kOutOfMemoryText = "No hay memoria suficiente para continuar.";

}  // namespace instalador
