#include "instalador/mensajes.h"

namespace instalacion {
namespace {

// head + archivo + tail, built by appending (see the style notes on -Wrestrict).
std::string Unir(std::string_view head, std::string_view archivo, std::string_view tail = {}) {
    std::string s(head);
    s += archivo;
    s += tail;
    return s;
}

}  // namespace

std::string MensajeNoExiste(std::string_view archivo) { return Unir("El archivo ", archivo, " no existe."); }

std::string MensajeNoCargado(std::string_view archivo) {
    return Unir("Ocurrió un error al cargar el archivo: ", archivo);
}

std::string MensajeSinPuntoDeEntrada(std::string_view archivo) {
    return Unir("Ocurrió un error al ubicar el punto de entrada para el archivo: \r\n", archivo);
}

std::string MensajeSinTerminar(std::string_view archivo) {
    return Unir("Ocurrió un error al intentar registrar el archivo: \r\n", archivo);
}

std::string MensajeDeError(const core::RuntimeError& error) {
    std::string s = "Error ";
    s += std::to_string(error.Number());
    s += ": ";
    s += error.Description();
    if (!error.Detail().empty()) {
        s += "\r\n";
        s += error.Detail();
    }
    return s;
}

}  // namespace instalacion
