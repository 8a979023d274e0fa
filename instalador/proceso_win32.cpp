#include "instalador/proceso_win32.h"

#include <windows.h>

#include <string>

#include "core/runtime_error.h"
#include "core/text_win32.h"
#include "core/win32_error.h"

namespace instalacion {
namespace {

void ProcesarMensajesPendientes() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

}  // namespace

bool ProcesoWin32::Terminado() { return ::WaitForSingleObject(m_proceso.Get(), 0) != WAIT_TIMEOUT; }

void ProcesoWin32::EsperarFin() {
    HANDLE proceso = m_proceso.Get();
    for (;;) {
        ProcesarMensajesPendientes();
        // MWMO_INPUTAVAILABLE: messages already queued wake the wait too, so none is left lying.
        const DWORD r = ::MsgWaitForMultipleObjectsEx(1, &proceso, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (r == WAIT_OBJECT_0 + 1) continue;
        // Ended (WAIT_OBJECT_0), or the wait failed: a process that cannot be waited for is not.
        return;
    }
}

std::unique_ptr<Proceso> LanzadorWin32::Iniciar(const Comando& comando) {
    const std::wstring programa = core::Utf8ToWide(comando.ruta);
    std::wstring linea = core::Utf8ToWide(comando.Linea());
    STARTUPINFOW inicio{};
    inicio.cb = sizeof inicio;
    inicio.dwFlags = STARTF_USESHOWWINDOW;
    inicio.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info{};
    // The program is named as well as quoted in the line, so no other file can be started.
    if (!::CreateProcessW(programa.c_str(), linea.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &inicio,
                          &info)) {
        core::Raise(core::ErrorKindOfWin32(::GetLastError()), comando.ruta);
    }
    const core::UniqueHandle hilo(info.hThread);
    return std::make_unique<ProcesoWin32>(core::UniqueHandle(info.hProcess));
}

}  // namespace instalacion
