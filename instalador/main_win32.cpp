// Instalador's entry point: COM for this thread, the Windows platform, then the run.
#include <windows.h>

#include <exception>

#include "core/text_win32.h"
#include "instalador/com_win32.h"
#include "instalador/messages.h"
#include "instalador/platform_win32.h"
#include "instalador/selvane.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace instalador;
    // Before the presence check. Should COM not start, that check fails and the run goes on.
    const ComApartment com;
    Win32Platform platform;
    try {
        return m_Selvane::Main(platform, core::ExecutableFolder());
    } catch (const std::exception&) {
        // Only a lack of memory gets here; the run's own errors are reported inside Main.
        platform.ShowMessage(kOutOfMemoryText, kProgramCaption, core::BoxStyle::Error);
        return kExitError;
    }
}
