// The error box's text: number, Spanish description, and the detail only where it is asked for.
#include "core/error_box.h"

#include <gtest/gtest.h>

namespace {

using core::ErrorDetail;
using core::ErrorKind;

TEST(ErrorBox, NumberDescriptionAndTheDetailOnlyWhenAskedFor) {
    const struct {
        core::RuntimeError error;
        ErrorDetail detail;
        const char* text;
    } cases[] = {
        {core::RuntimeError(ErrorKind::FileNotFound, R"(C:\Juego (x86)\dlls\a.exe)"), ErrorDetail::OnNewLine,
         "Error 53: No se encontró el archivo\r\nC:\\Juego (x86)\\dlls\\a.exe"},
        {core::RuntimeError(ErrorKind::FileNotFound, R"(C:\Juego\a.exe)"), ErrorDetail::Hidden,
         "Error 53: No se encontró el archivo"},
        // No detail: no empty second line.
        {core::RuntimeError(ErrorKind::PermissionDenied), ErrorDetail::OnNewLine, "Error 70: Permiso denegado"},
        {core::RuntimeError(ErrorKind::Overflow, ""), ErrorDetail::OnNewLine, "Error 6: Desbordamiento"},
        {core::RuntimeError(ErrorKind::ObjectNotSet, "cDirImage"), ErrorDetail::Hidden,
         "Error 91: Variable de objeto o bloque With no establecido"},
        // The detail goes on as it is: UTF-8 and line breaks untouched.
        {core::RuntimeError(ErrorKind::PathNotFound, "C:\\Año\r\nx"), ErrorDetail::OnNewLine,
         "Error 76: No se encontró la ruta de acceso\r\nC:\\Año\r\nx"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(core::ErrorBoxText(c.error, c.detail), c.text);
    }
}

}  // namespace
