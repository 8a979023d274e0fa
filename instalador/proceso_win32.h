// Starting an installer hidden and waiting for its end without spending processor time.
#pragma once

#include <memory>

#include "core/handle_win32.h"
#include "instalador/plataforma.h"

namespace instalacion {

class ProcesoWin32 final : public Proceso {
public:
    explicit ProcesoWin32(core::UniqueHandle proceso) : m_proceso(std::move(proceso)) {}
    // A process whose state cannot be read counts as ended: it cannot be waited for.
    bool Terminado() override;
    // Sleeps until the process ends or a window message arrives, and processes the messages.
    void EsperarFin() override;

private:
    core::UniqueHandle m_proceso;
};

class LanzadorWin32 final : public Lanzador {
public:
    std::unique_ptr<Proceso> Iniciar(const Comando& comando) override;
};

}  // namespace instalacion
