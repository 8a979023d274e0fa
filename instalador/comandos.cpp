#include "instalador/comandos.h"

namespace instalacion {
namespace {

Comando Construir(std::string_view carpeta, std::string_view argumento) {
    // The file name ends at the first blank; what follows are the switches.
    const std::size_t blanco = argumento.find(' ');
    Comando c;
    c.ruta = carpeta;
    c.ruta += "\\dlls\\vcredist";
    c.ruta += argumento.substr(0, blanco);
    if (blanco != std::string_view::npos) c.modificadores = argumento.substr(blanco + 1);
    return c;
}

}  // namespace

std::string Comando::Linea() const {
    std::string linea = "\"";
    linea += ruta;
    linea += '"';
    if (!modificadores.empty()) {
        linea += ' ';
        linea += modificadores;
    }
    return linea;
}

std::string ReemplazarTodo(std::string_view text, std::string_view from, std::string_view to) {
    if (from.empty()) return std::string(text);
    std::string out;
    std::size_t pos = 0;
    for (std::size_t hit; (hit = text.find(from, pos)) != std::string_view::npos; pos = hit + from.size()) {
        out += text.substr(pos, hit - pos);
        out += to;
    }
    out += text.substr(pos);
    return out;
}

Comando ComandoX86(std::string_view carpeta, std::string_view argumento) { return Construir(carpeta, argumento); }

Comando ComandoX64(std::string_view carpeta, std::string_view argumento) {
    return Construir(carpeta, ReemplazarTodo(argumento, "x86", "x64"));
}

}  // namespace instalacion
