#include "core/runtime_error.h"

namespace core {

const char* Describe(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Overflow: return "Desbordamiento";
        case ErrorKind::OutOfMemory: return "Memoria insuficiente";
        case ErrorKind::DivisionByZero: return "División por cero";
        case ErrorKind::TypeMismatch: return "No coinciden los tipos";
        case ErrorKind::FileNotFound: return "No se encontró el archivo";
        case ErrorKind::DiskFull: return "Disco lleno";
        case ErrorKind::PermissionDenied: return "Permiso denegado";
        case ErrorKind::PathFileAccess: return "Error de acceso a la ruta o el archivo";
        case ErrorKind::PathNotFound: return "No se encontró la ruta de acceso";
        case ErrorKind::ObjectNotSet: return "Variable de objeto o bloque With no establecido";
    }
    return "Error de la aplicación";
}

RuntimeError::RuntimeError(ErrorKind kind) : std::runtime_error(Describe(kind)), m_kind(kind) {}

RuntimeError::RuntimeError(ErrorKind kind, const std::string& detail)
    : std::runtime_error(std::string(Describe(kind)) + ": " + detail), m_kind(kind), m_detail(detail) {}

void Raise(ErrorKind kind) { throw RuntimeError(kind); }
void Raise(ErrorKind kind, const std::string& detail) { throw RuntimeError(kind, detail); }

}  // namespace core
