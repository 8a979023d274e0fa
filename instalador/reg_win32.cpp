#include "instalador/reg_win32.h"

#include <windows.h>

#include <exception>
#include <memory>

#include "core/handle_win32.h"
#include "core/text_win32.h"
#include "instalador/com_win32.h"
#include "instalador/mensaje_win32.h"
#include "instalador/mensajes.h"
#include "instalador/rutas.h"

namespace m_Reg {
namespace {

using namespace instalacion;

constexpr DWORD kLimiteMs = 10000;

// STDAPI DllRegisterServer(void): __stdcall on i686, the thread procedure's convention is its own.
using EntradaRegistro = HRESULT(STDAPICALLTYPE*)();

// The steps in their order; a fault during one takes that step's failure path.
enum class Paso { Existencia, Carga, Entrada, Hilo, Espera };

// What the worker needs; the worker owns it once it has started.
struct Encargo {
    EntradaRegistro entrada;
};

// The worker: the library's registration inside a COM apartment of its own. Its exit code is
// the entry point's status.
DWORD WINAPI Trabajador(LPVOID parametro) {
    const std::unique_ptr<Encargo> encargo(static_cast<Encargo*>(parametro));
    const ApartamentoCom com;  // the registration runs even where COM cannot start
    return static_cast<DWORD>(encargo->entrada());
}

// The busy pointer while the registration runs. Instalador has no window, so this sets the
// thread's cursor (SetCursor), which shows only while the pointer is over none of the windows
// of other programs; a pointer that cannot be changed is left as it is.
class PunteroOcupado {
public:
    PunteroOcupado() { Poner(IDC_WAIT); }
    ~PunteroOcupado() { Restaurar(); }
    PunteroOcupado(const PunteroOcupado&) = delete;
    PunteroOcupado& operator=(const PunteroOcupado&) = delete;

    void Restaurar() {
        if (m_ocupado) Poner(IDC_ARROW);
        m_ocupado = false;
    }

private:
    static void Poner(LPCWSTR forma) {
        if (HCURSOR cursor = ::LoadCursorW(nullptr, forma)) ::SetCursor(cursor);
    }
    bool m_ocupado = true;
};

// The message box of a step's failure.
bool Fallar(Paso paso, const std::string& archivo) noexcept {
    try {
        std::string texto;
        switch (paso) {
            case Paso::Existencia: texto = MensajeNoExiste(archivo); break;
            case Paso::Carga: texto = MensajeNoCargado(archivo); break;
            case Paso::Entrada: texto = MensajeSinPuntoDeEntrada(archivo); break;
            case Paso::Hilo: texto = kMensajeSinHilo; break;
            case Paso::Espera: texto = MensajeSinTerminar(archivo); break;
        }
        MostrarMensaje(texto, kTituloRegistro, kEstiloError);
    } catch (const std::exception&) {
        // No memory left for the text: nothing more can be shown.
    }
    return false;
}

// An ordinary file: present, and not a folder, a hidden or a system file.
bool EsArchivoComun(const std::wstring& ruta) {
    const DWORD atributos = ::GetFileAttributesW(ruta.c_str());
    if (atributos == INVALID_FILE_ATTRIBUTES) return false;
    return (atributos & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}

// Loads the library by its full path; its own dependencies are looked for in its folder first.
// No system error box for a file that is not a library: the caller reports it.
HMODULE Cargar(const std::wstring& ruta) {
    DWORD anterior = 0;
    const bool silenciado = ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &anterior);
    HMODULE modulo = ::LoadLibraryExW(ruta.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (silenciado) ::SetThreadErrorMode(anterior, nullptr);
    return modulo;
}

bool Registrar(const std::string& archivo, Paso& paso) {
    paso = Paso::Existencia;
    const std::string carpeta = core::ExecutableFolder();
    if (carpeta.empty()) return Fallar(paso, archivo);
    const std::wstring ruta = core::Utf8ToWide(JuntoAlPrograma(carpeta, archivo));
    if (ruta.empty() || !EsArchivoComun(ruta)) return Fallar(paso, archivo);

    paso = Paso::Carga;
    core::UniqueModule modulo(Cargar(ruta));
    if (!modulo) return Fallar(paso, archivo);

    paso = Paso::Entrada;
    const FARPROC direccion = ::GetProcAddress(modulo.Get(), "DllRegisterServer");
    if (!direccion) return Fallar(paso, archivo);  // the library is freed after the box
    // Through void(*)(), the one function type GCC lets stand for every other.
    const auto entrada = reinterpret_cast<EntradaRegistro>(reinterpret_cast<void (*)()>(direccion));

    PunteroOcupado ocupado;
    paso = Paso::Hilo;
    auto encargo = std::make_unique<Encargo>(Encargo{entrada});
    core::UniqueHandle hilo(::CreateThread(nullptr, 0, Trabajador, encargo.get(), 0, nullptr));
    if (!hilo) {
        ocupado.Restaurar();
        return Fallar(paso, archivo);
    }
    static_cast<void>(encargo.release());  // the worker owns it now

    paso = Paso::Espera;
    if (::WaitForSingleObject(hilo.Get(), kLimiteMs) == WAIT_OBJECT_0) {
        hilo.Reset();
        modulo.Reset();
        ocupado.Restaurar();
        return true;
    }
    // Timed out (or the wait failed): the worker may still be running the library's code, so
    // its thread handle stays open and the library stays loaded until the program ends.
    static_cast<void>(hilo.Release());
    static_cast<void>(modulo.Release());
    ocupado.Restaurar();
    return Fallar(paso, archivo);
}

}  // namespace

bool RegistrarArchivo(const std::string& archivo) noexcept {
    Paso paso = Paso::Existencia;
    try {
        return Registrar(archivo, paso);
    } catch (const std::exception&) {
        // Only the texts can fail (no memory), and only before a step's own Windows calls: a
        // fault counts as the failure of the step under way.
        return Fallar(paso, archivo);
    }
}

}  // namespace m_Reg
