#include "instalador/rutas.h"

namespace instalacion {
namespace {

bool EsSeparador(char c) { return c == '\\' || c == '/'; }
bool EsLetra(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

bool EsRutaAbsoluta(std::string_view ruta) {
    if (!ruta.empty() && EsSeparador(ruta[0])) return true;
    return ruta.size() >= 3 && EsLetra(ruta[0]) && ruta[1] == ':' && EsSeparador(ruta[2]);
}

std::string JuntoAlPrograma(std::string_view carpeta, std::string_view nombre) {
    if (EsRutaAbsoluta(nombre)) return std::string(nombre);
    std::string ruta(carpeta);
    if (!ruta.empty() && !EsSeparador(ruta.back())) ruta += '\\';
    ruta += nombre;
    return ruta;
}

}  // namespace instalacion
