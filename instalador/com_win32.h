// RAII for COM: the apartment of a thread and an interface pointer.
#pragma once

#include <objbase.h>
#include <windows.h>

#include "core/handle_win32.h"

namespace instalador {

// Enters a single-threaded apartment for the calling thread and leaves it at destruction.
class ComApartment {
public:
    ComApartment() : m_result(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        // S_FALSE (already initialised) counts too: every successful call needs its uninitialise.
        if (SUCCEEDED(m_result)) ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT m_result;
};

template <typename T>
struct ComTraits {
    using Type = T*;
    static constexpr T* Empty() { return nullptr; }
    static bool IsValid(T* p) { return p != nullptr; }
    static void Close(T* p) { p->Release(); }
};

// Owns one reference to a COM interface and releases it.
template <typename T>
using ComPtr = core::UniqueResource<ComTraits<T>>;

}  // namespace instalador
