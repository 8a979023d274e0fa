#include "instalador/mensaje_win32.h"

#include <windows.h>

#include <exception>
#include <string>

#include "core/text_win32.h"

namespace instalacion {

bool MostrarMensaje(std::string_view texto, std::string_view titulo, unsigned estilo) noexcept {
    try {
        const std::wstring t = core::Utf8ToWide(texto);
        const std::wstring c = core::Utf8ToWide(titulo);
        // 0 means the box could not be created; there is nowhere else to report that.
        return ::MessageBoxW(nullptr, t.c_str(), c.c_str(), estilo) != 0;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace instalacion
