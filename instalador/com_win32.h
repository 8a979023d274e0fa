// RAII for COM: the apartment of a thread and an interface pointer.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <utility>

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

// Owns one reference to a COM interface and releases it.
template <typename T>
class PunteroCom {
public:
    PunteroCom() = default;
    ~PunteroCom() { Reset(); }
    PunteroCom(PunteroCom&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
    PunteroCom& operator=(PunteroCom&& o) noexcept {
        if (this != &o) {
            Reset();
            m_p = std::exchange(o.m_p, nullptr);
        }
        return *this;
    }
    PunteroCom(const PunteroCom&) = delete;
    PunteroCom& operator=(const PunteroCom&) = delete;

    T* Get() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // Out parameter for a call that hands over a new reference (the old one is released first).
    void** Recibir() {
        Reset();
        return reinterpret_cast<void**>(&m_p);
    }
    void Reset() {
        if (m_p) std::exchange(m_p, nullptr)->Release();
    }

private:
    T* m_p = nullptr;
};

}  // namespace instalacion
