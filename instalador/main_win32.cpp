// Instalador's entry point: COM for this thread, the real seams, then the run.
#include <windows.h>

#include <exception>

#include "core/text_win32.h"
#include "instalador/com_win32.h"
#include "instalador/mensaje_win32.h"
#include "instalador/mensajes.h"
#include "instalador/plataforma_win32.h"
#include "instalador/proceso_win32.h"
#include "instalador/selvane.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace instalacion;
    // Before the presence check. Should COM not start, that check fails and the run goes on.
    const ApartamentoCom com;
    try {
        LanzadorWin32 lanzador;
        LibreriaWin32 libreria;
        AvisosWin32 avisos;
        SistemaWin32 sistema;
        Plataforma plataforma{lanzador, libreria, avisos, sistema, core::ExecutableFolder()};
        return m_Selvane::Main(plataforma);
    } catch (const std::exception&) {
        // Only a lack of memory gets here; the run's own errors are reported inside Main.
        MostrarMensaje(kMensajeSinMemoria, kTituloPrograma, kEstiloError);
        return kSalidaError;
    }
}
