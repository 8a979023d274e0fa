#include "instalador/messages.h"

#include "core/error_box.h"

namespace instalador {
namespace {

// head + file + tail, built by appending (see the style notes on -Wrestrict).
std::string Join(std::string_view head, std::string_view file, std::string_view tail = {}) {
    std::string s(head);
    s += file;
    s += tail;
    return s;
}

}  // namespace

std::string FileMissingText(std::string_view file) { return Join("El archivo ", file, " no existe."); }

std::string NotLoadedText(std::string_view file) { return Join("Ocurrió un error al cargar el archivo: ", file); }

std::string NoEntryPointText(std::string_view file) {
    return Join("Ocurrió un error al ubicar el punto de entrada para el archivo: \r\n", file);
}

std::string NotFinishedText(std::string_view file) {
    return Join("Ocurrió un error al intentar registrar el archivo: \r\n", file);
}

std::string UntrustedText(std::string_view file, Distrust why) {
    switch (why) {
        case Distrust::NotTheOperators:
            return Join("El archivo ", file, " no es de confianza: no es la librería de red de este juego.");
        case Distrust::OthersCanChange:
            return Join("El archivo ", file,
                        " no es de confianza: otros usuarios, además de los administradores, pueden cambiarlo o "
                        "cambiar su carpeta.");
        case Distrust::None:
        case Distrust::NotMicrosofts: break;
    }
    return Join("El archivo ", file, " no es de confianza: no lleva una firma válida de Microsoft Corporation.");
}

std::string ErrorText(const core::RuntimeError& error) {
    return core::ErrorBoxText(error, core::ErrorDetail::OnNewLine);
}

}  // namespace instalador
