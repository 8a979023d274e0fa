#include "updater/unzip/refusal.h"

namespace unzip {

std::string RefusalText(Refusal code, std::string_view subject, std::string_view detail) {
    const std::string s = "«" + std::string(subject) + "»";
    const std::string d(detail);
    switch (code) {
        case Refusal::None: return {};
        case Refusal::NotZip: return "el archivo descargado no es un .zip";
        case Refusal::Rar: return "el archivo descargado es un .rar, no un .zip";
        case Refusal::SplitArchive: return "el archivo .zip está dividido en varias partes";
        case Refusal::DamagedDirectory: return "el directorio del archivo .zip está dañado (" + d + ")";
        case Refusal::EncryptedDirectory: return "el directorio del archivo .zip está cifrado";
        case Refusal::Damaged: return "el archivo .zip está dañado (" + d + ")";
        case Refusal::Incomplete: return "el archivo .zip está incompleto (se leyeron menos bytes de los esperados)";
        case Refusal::TooManyEntries: return "el archivo .zip tiene demasiadas entradas (más de " + d + ")";
        case Refusal::TooLarge: return "el contenido descomprimido sería demasiado grande (más de " + d + " MiB)";
        case Refusal::NamesTooLong: return "los nombres del archivo .zip son demasiado largos en total";
        case Refusal::Bomb:
            return "la entrada " + s + " se expande más de " + d + " veces (posible bomba de descompresión)";
        case Refusal::BadName: return "entrada no permitida " + s + ": " + d;
        case Refusal::EncryptedEntry: return "la entrada " + s + " está cifrada";
        case Refusal::UnsupportedMethod:
            return "la entrada " + s + " usa un método de compresión no admitido (" + d + ")";
        case Refusal::Link: return "la entrada " + s + " es un enlace simbólico";
        case Refusal::SpecialFile: return "la entrada " + s + " no es un archivo ni una carpeta";
        case Refusal::FileAndFolder: return s + " es a la vez archivo y carpeta";
        case Refusal::SameFile: return "dos entradas escriben el mismo archivo: " + s + " y " + d;
        case Refusal::ContentSize: return "el contenido de " + s + " está dañado (tamaño)";
        case Refusal::ContentCrc: return "el contenido de " + s + " está dañado (CRC)";
        case Refusal::ContentDamaged: return "el contenido de " + s + " está dañado";
        case Refusal::CannotOpen: return "no se pudo abrir el archivo descargado (" + d + ")";
        case Refusal::CannotRead: return "no se pudo leer el archivo descargado (" + d + ")";
        case Refusal::NoTarget: return "no existe la carpeta de destino";
        case Refusal::CannotCreateFolder: return "no se pudo crear la carpeta " + s + " (" + d + ")";
        case Refusal::CannotWrite:
        case Refusal::DiskFull: return "no se pudo escribir " + s + " (" + d + ")";
        case Refusal::InUse:
            return "no se pudo reemplazar " + s + ": está en uso o protegido (cierre el juego y vuelva a intentarlo)";
        case Refusal::CannotReplace: return "no se pudo reemplazar " + s + " (" + d + ")";
        case Refusal::OutOfMemory: return "memoria insuficiente para descomprimir";
        case Refusal::Unexpected: return "error inesperado al descomprimir (" + d + ")";
    }
    return "error inesperado al descomprimir";
}

}  // namespace unzip
