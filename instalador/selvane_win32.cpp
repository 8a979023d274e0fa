#include "instalador/selvane_win32.h"

#include <windows.h>

#include "instalador/clase_selvane_win32.h"
#include "instalador/com_win32.h"

namespace m_Selvane {

bool LibreriaRegistrada() noexcept {
    // In-process only: the game loads the library into its own process, so that is the
    // registration that has to work.
    instalacion::PunteroCom<IUnknown> objeto;
    const HRESULT hr = ::CoCreateInstance(instalacion::kClaseSelvane, nullptr, CLSCTX_INPROC_SERVER,
                                          instalacion::kInterfazSelvane, reinterpret_cast<void**>(objeto.Receive()));
    return SUCCEEDED(hr) && objeto;
}

bool EsWow64() noexcept {
    BOOL bandera = FALSE;
    if (!::IsWow64Process(::GetCurrentProcess(), &bandera)) return false;
    return bandera != FALSE;
}

}  // namespace m_Selvane
