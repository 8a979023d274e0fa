#include "instalador/selvane.h"

#include "core/runtime_error.h"
#include "instalador/mensajes.h"
#include "instalador/rutas.h"

namespace m_Selvane {
namespace {

using namespace instalacion;

// Starts one installer and waits for its end; one that has already ended is not waited for.
void EjecutarYEsperar(Plataforma& p, const Comando& comando) {
    const std::unique_ptr<Proceso> proceso = p.lanzador.Iniciar(comando);
    if (proceso && !proceso->Terminado()) proceso->EsperarFin();
}

}  // namespace

void InstalarDependencia(Plataforma& p, bool EsWow64, std::string_view argumento) {
    EjecutarYEsperar(p, ComandoX86(p.carpeta, argumento));
    if (EsWow64) EjecutarYEsperar(p, ComandoX64(p.carpeta, argumento));
    if (p.libreria.RegistrarArchivo(std::string(kLibreria)) && p.libreria.LibreriaRegistrada()) {
        p.avisos.Mostrar(kRegistradaAhora, kTituloPrograma, kEstiloSimple);
        p.avisos.Terminar(kSalidaRegistrada);
    }
}

int Main(Plataforma& p) {
    try {
        if (p.libreria.LibreriaRegistrada()) {
            p.avisos.Mostrar(kYaRegistrada, kTituloPrograma, kEstiloSimple);
            p.avisos.Terminar(kSalidaRegistrada);
        }
        const bool EsWow64 = p.sistema.EsWow64();
        for (const std::string_view argumento : kArgumentos) InstalarDependencia(p, EsWow64, argumento);
    } catch (const core::RuntimeError& error) {
        p.avisos.Mostrar(MensajeDeError(error), kTituloPrograma, kEstiloError);
        p.avisos.Terminar(kSalidaError);
    }
    return kSalidaSinExito;
}

}  // namespace m_Selvane
