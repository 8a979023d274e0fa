// The error box of an installer that cannot be started, and which error a refusal becomes.
#include "instalador/mensajes.h"

#include <gtest/gtest.h>

#include "instalador/error_sistema.h"

namespace {

using core::ErrorKind;

TEST(Mensajes, ErrorBoxNamesNumberDescriptionAndFile) {
    EXPECT_EQ(instalacion::MensajeDeError(
                  core::RuntimeError(ErrorKind::FileNotFound, R"(C:\Juego (x86)\dlls\vcredist2008_x86.exe)")),
              "Error 53: No se encontró el archivo\r\nC:\\Juego (x86)\\dlls\\vcredist2008_x86.exe");
    EXPECT_EQ(instalacion::MensajeDeError(core::RuntimeError(ErrorKind::PermissionDenied)),
              "Error 70: Permiso denegado");
}

TEST(Mensajes, WindowsStartFailuresMapToRuntimeErrors) {
    const struct {
        unsigned long code;
        ErrorKind kind;
    } cases[] = {
        {2, ErrorKind::FileNotFound},        // ERROR_FILE_NOT_FOUND
        {126, ErrorKind::FileNotFound},      // ERROR_MOD_NOT_FOUND
        {3, ErrorKind::PathNotFound},        // ERROR_PATH_NOT_FOUND
        {15, ErrorKind::PathNotFound},       // ERROR_INVALID_DRIVE
        {123, ErrorKind::PathNotFound},      // ERROR_INVALID_NAME
        {5, ErrorKind::PermissionDenied},    // ERROR_ACCESS_DENIED
        {740, ErrorKind::PermissionDenied},  // ERROR_ELEVATION_REQUIRED
        {32, ErrorKind::PermissionDenied},   // ERROR_SHARING_VIOLATION
        {193, ErrorKind::PathFileAccess},    // ERROR_BAD_EXE_FORMAT
        {0, ErrorKind::PathFileAccess},     {0xFFFFFFFFul, ErrorKind::PathFileAccess},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(instalacion::TipoDeError(c.code), c.kind);
    }
}

}  // namespace
