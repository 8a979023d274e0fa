// Every text Updater shows, in one place: the console lines of a run, the causes of a failed
// patch, and the boxes with their caption. Spanish, as the player reads them.
#pragma once

#include <string>
#include <string_view>

namespace update::mensajes {

// The caption of every box Updater shows.
inline constexpr const char* kTitulo = "Vandrel Updater";

// The run's console lines.
inline constexpr const char* kBuscando = "Buscando Actualizaciones...";
inline constexpr const char* kSinConexion = "No se pudo conectar con el servidor de actualizaciones.";
inline constexpr const char* kListo = "Listo.";
inline constexpr const char* kActualizado = "Juego actualizado correctamente.";
inline std::string Iniciando(std::string_view faltan) {
    return "Iniciando, se instalaran " + std::string(faltan) + " actualizaciones.";
}
inline std::string Instalando(std::string_view parche) {
    return "Instalando actualizacion " + std::string(parche) + "...";
}
inline constexpr const char* kComprobando = "Comprobando los archivos del juego...";
inline constexpr const char* kReparacionSinFirma =
    "Este Updater no puede reparar los archivos: la reparación necesita una publicación firmada. "
    "Se buscarán actualizaciones como siempre.";
inline std::string Reparando(std::size_t archivos) {
    return archivos == 1 ? std::string("Reparando 1 archivo...")
                         : "Reparando " + std::to_string(archivos) + " archivos...";
}
inline std::string NoReparada(std::string_view causa) {
    return "No se pudo reparar la instalación: " + std::string(causa) + ".";
}
inline constexpr const char* kListaNoFirmada =
    "La lista de actualizaciones del servidor no está firmada correctamente.";
inline constexpr const char* kListaAntigua =
    "La lista de actualizaciones del servidor es más antigua que la instalada.";
inline constexpr const char* kListaDistinta =
    "La lista de actualizaciones del servidor tiene la misma serie que la instalada pero otro contenido.";
inline std::string SerieIlegible(std::string_view causa) {
    return "No se puede leer Recursos\\OUTPUT\\Serie.ini (" + std::string(causa) +
           "); no se instalará nada hasta que se pueda leer.";
}
inline std::string ListaNoComprobada(std::string_view causa) {
    return "No se pudo comprobar la lista de actualizaciones del servidor: " + std::string(causa) + ".";
}
inline std::string FaltaEspacio(std::string_view megas, std::string_view parche) {
    return "Falta espacio en el disco: se necesitan " + std::string(megas) + " MB más para el parche " +
           std::string(parche) + ".";
}
inline std::string NoInstalada(std::string_view parche, std::string_view causa) {
    return "No se pudo instalar la actualizacion " + std::string(parche) + ": " + std::string(causa) + ".";
}

// Causes of a failed count fetch or download.
inline std::string Respondio(std::string_view estado) { return "el servidor respondió " + std::string(estado); }
inline constexpr const char* kSinDatos = "no se recibió ningún dato";
inline constexpr const char* kNoEsNumero = "la respuesta no es un número";
inline constexpr const char* kTamanoNegativo = "el servidor anunció un tamaño negativo";
inline constexpr const char* kSinRespuesta = "el servidor dejó de responder durante la descarga";
inline constexpr const char* kConexionCortada = "la conexión se cortó durante la descarga";
inline constexpr const char* kDatosDeMas = "el servidor envió más datos de los anunciados";
inline constexpr const char* kIncompleta = "la descarga quedó incompleta";
inline constexpr const char* kDemasiadoLento = "el servidor envía los datos demasiado despacio";
inline constexpr const char* kParteEquivocada = "el servidor envió una parte del archivo que no corresponde";
inline constexpr const char* kNoValido = "su contenido no es válido";
inline constexpr const char* kNoCoincideConLista = "el archivo descargado no coincide con la lista firmada";
inline std::string NoSeEscribio(std::string_view archivo, std::string_view error) {
    return "no se pudo escribir el archivo " + std::string(archivo) + " (" + std::string(error) + ")";
}

// Why the published state of the installation (parches/estado.txt) is not used: the log says
// it and the run goes on as without a state; the player sees none of these.
inline std::string EstadoDescartado(std::string_view causa) {
    return "No se usa parches/estado.txt: " + std::string(causa) + ".";
}
inline std::string EnLinea(std::size_t linea, std::string_view causa) {
    return "línea " + std::to_string(linea) + ": " + std::string(causa);
}
inline constexpr const char* kEstadoNoGuardado = "no hay ninguno guardado";
inline constexpr const char* kEstadoGrande = "ocupa más de 16 MiB";
inline constexpr const char* kEstadoMalFormado = "no tiene la forma de un estado";
inline constexpr const char* kEstadoLineaMalFormada = "línea mal formada";
inline constexpr const char* kEstadoFirmas = "faltan las firmas o una no tiene su forma";
inline constexpr const char* kEstadoRutaMalEscrita = "la ruta no está escrita como Updater nombra los archivos";
inline constexpr const char* kEstadoDesordenado = "las rutas no están en orden";
inline constexpr const char* kEstadoMismoArchivo = "nombra un archivo que otra línea ya nombra";
inline constexpr const char* kEstadoArchivoYCarpeta = "un archivo es a la vez la carpeta de otra ruta";
inline constexpr const char* kEstadoParche = "número de parche fuera de 1 a la versión";
inline constexpr const char* kEstadoNoFirmado = "no está firmado correctamente";
inline constexpr const char* kEstadoOtraLista = "su serie o su versión no son las de la lista aceptada";
inline std::string EstadoNoComprobado(std::string_view causa) {
    return "no se pudo comprobar su firma (" + std::string(causa) + ")";
}

// Causes of a damaged patch in a catch-up: its archive does not hold what the signed state says.
inline std::string NoEstaEnElParche(std::string_view ruta) {
    return "el archivo no contiene «" + std::string(ruta) + "», que el estado firmado nombra";
}
inline std::string TamanoDistinto(std::string_view ruta) {
    return "«" + std::string(ruta) + "» no tiene el tamaño que dice el estado firmado";
}
inline std::string ContenidoDistinto(std::string_view ruta) {
    return "«" + std::string(ruta) + "» no tiene el contenido que dice el estado firmado";
}

// The light grey line before another attempt at a download: the cause, whether the download
// goes on from where it stopped, the wait and the attempt's number.
inline std::string Reintento(std::string_view causa, bool continua, unsigned segundos, int intento, int de) {
    std::string linea(causa);
    if (!linea.empty() && linea[0] >= 'a' && linea[0] <= 'z') linea[0] = static_cast<char>(linea[0] - 'a' + 'A');
    linea += continua ? "; la descarga continuará donde quedó en " : "; se volverá a intentar en ";
    linea += std::to_string(segundos);
    linea += " s (intento ";
    linea += std::to_string(intento);
    linea += " de ";
    linea += std::to_string(de);
    linea += ").";
    return linea;
}

// Boxes.
inline constexpr const char* kSinTamano =
    "Error en HttpQueryInfo al extraer el tamaño comunicaselo a un administrador.";
inline constexpr const char* kErrorAlDescomprimir =
    "Error al descomprimir, pruebe que el archivo sea un original .ZIP y no .RAR";
inline constexpr const char* kJuegoNoIniciado = "No se pudo iniciar el juego (Vandrel.exe).";
inline constexpr const char* kOtroUpdater =
    "Otro Updater ya se está ejecutando en esta carpeta. Ciérrelo y vuelva a intentarlo.";
inline constexpr const char* kErrorInesperado = "Se produjo un error inesperado";

}  // namespace update::mensajes
