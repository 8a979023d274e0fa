// The error box of an installer that cannot be started.
#include "instalador/messages.h"

#include <gtest/gtest.h>

namespace {

using core::ErrorKind;

TEST(Messages, ErrorBoxNamesNumberDescriptionAndFile) {
    EXPECT_EQ(instalador::ErrorText(
                  core::RuntimeError(ErrorKind::FileNotFound, R"(C:\Juego (x86)\dlls\vcredist2008_x86.exe)")),
              "Error 53: No se encontró el archivo\r\nC:\\Juego (x86)\\dlls\\vcredist2008_x86.exe");
    EXPECT_EQ(instalador::ErrorText(core::RuntimeError(ErrorKind::PermissionDenied)), "Error 70: Permiso denegado");
}

}  // namespace
