// One owner for every kind of Windows handle: a traits type names the handle, its empty value
// and how it is given back; everything else (moves, Reset, Release) is written once, here.
#pragma once

#include <windows.h>

#include <utility>

namespace core {

// Owns one handle described by Traits: Type, Empty(), IsValid(Type) and Close(Type).
template <typename Traits>
class UniqueResource {
public:
    using Type = typename Traits::Type;

    UniqueResource() = default;
    explicit UniqueResource(Type h) : m_h(h) {}
    ~UniqueResource() { Reset(); }
    UniqueResource(UniqueResource&& o) noexcept : m_h(std::exchange(o.m_h, Traits::Empty())) {}
    UniqueResource& operator=(UniqueResource&& o) noexcept {
        if (this != &o) Reset(std::exchange(o.m_h, Traits::Empty()));
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    Type Get() const { return m_h; }
    bool Valid() const { return Traits::IsValid(m_h); }
    explicit operator bool() const { return Valid(); }
    // Gives up ownership without closing (a handle deliberately left open, or handed on).
    [[nodiscard]] Type Release() { return std::exchange(m_h, Traits::Empty()); }
    void Reset(Type h = Traits::Empty()) {
        if (Valid()) Traits::Close(m_h);
        m_h = h;
    }
    // Out parameter for a call that hands over a new handle; the one held is closed first.
    Type* Receive() {
        Reset();
        return &m_h;
    }

private:
    Type m_h = Traits::Empty();
};

// Traits for handles whose only empty value is null.
template <typename T, auto CloseFunction>
struct NullIsEmpty {
    using Type = T;
    static constexpr T Empty() { return nullptr; }
    static bool IsValid(T h) { return h != nullptr; }
    static void Close(T h) { CloseFunction(h); }
};

// A kernel HANDLE (file, process, thread, event, mutex): null and INVALID_HANDLE_VALUE mean none.
struct KernelHandleTraits {
    using Type = HANDLE;
    static constexpr HANDLE Empty() { return nullptr; }
    static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};

using UniqueHandle = UniqueResource<KernelHandleTraits>;
// A search of FindFirstFile, given back with FindClose.
struct FindHandleTraits {
    using Type = HANDLE;
    static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE h) { return h != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::FindClose(h); }
};

using UniqueFindHandle = UniqueResource<FindHandleTraits>;
// A module loaded with LoadLibrary.
using UniqueModule = UniqueResource<NullIsEmpty<HMODULE, ::FreeLibrary>>;

}  // namespace core
