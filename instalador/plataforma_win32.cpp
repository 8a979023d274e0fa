#include "instalador/plataforma_win32.h"

#include <windows.h>

#include "instalador/mensaje_win32.h"
#include "instalador/reg_win32.h"
#include "instalador/selvane_win32.h"

namespace instalacion {

bool LibreriaWin32::RegistrarArchivo(const std::string& archivo) { return m_Reg::RegistrarArchivo(archivo); }

bool LibreriaWin32::LibreriaRegistrada() { return m_Selvane::LibreriaRegistrada(); }

void AvisosWin32::Mostrar(std::string_view texto, std::string_view titulo, unsigned estilo) {
    MostrarMensaje(texto, titulo, estilo);
}

void AvisosWin32::Terminar(int codigo) { ::ExitProcess(static_cast<UINT>(codigo)); }

bool SistemaWin32::EsWow64() { return m_Selvane::EsWow64(); }

}  // namespace instalacion
