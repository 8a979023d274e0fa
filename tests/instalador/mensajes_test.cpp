// The error box of an installer that cannot be started.
#include "instalador/mensajes.h"

#include <gtest/gtest.h>

namespace {

using core::ErrorKind;

TEST(Mensajes, ErrorBoxNamesNumberDescriptionAndFile) {
    EXPECT_EQ(instalacion::MensajeDeError(
                  core::RuntimeError(ErrorKind::FileNotFound, R"(C:\Juego (x86)\dlls\vcredist2008_x86.exe)")),
              "Error 53: No se encontró el archivo\r\nC:\\Juego (x86)\\dlls\\vcredist2008_x86.exe");
    EXPECT_EQ(instalacion::MensajeDeError(core::RuntimeError(ErrorKind::PermissionDenied)),
              "Error 70: Permiso denegado");
}

}  // namespace
