// RAII for COM: the apartment of a thread and an interface pointer.
#pragma once

#include <objbase.h>
#include <windows.h>

#include "core/handle_win32.h"

namespace instalacion {

// Enters a single-threaded apartment for the calling thread and leaves it at destruction.
class ApartamentoCom {
public:
    ApartamentoCom() : m_resultado(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ApartamentoCom() {
        // S_FALSE (already initialised) counts too: every successful call needs its uninitialise.
        if (SUCCEEDED(m_resultado)) ::CoUninitialize();
    }
    ApartamentoCom(const ApartamentoCom&) = delete;
    ApartamentoCom& operator=(const ApartamentoCom&) = delete;

    bool Iniciado() const { return SUCCEEDED(m_resultado); }
    HRESULT Resultado() const { return m_resultado; }

private:
    HRESULT m_resultado;
};

template <typename T>
struct TraitsCom {
    using Type = T*;
    static constexpr T* Empty() { return nullptr; }
    static bool IsValid(T* p) { return p != nullptr; }
    static void Close(T* p) { p->Release(); }
};

// Owns one reference to a COM interface and releases it.
template <typename T>
using PunteroCom = core::UniqueResource<TraitsCom<T>>;

}  // namespace instalacion
