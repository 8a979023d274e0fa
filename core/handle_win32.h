// RAII owners for kernel handles and loaded modules.
#pragma once

#include <windows.h>

#include <utility>

namespace core {

// Owns a kernel HANDLE (file, process, thread, event); both null and INVALID_HANDLE_VALUE mean none.
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE h) : m_h(h) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& o) noexcept : m_h(std::exchange(o.m_h, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) {
            Reset();
            m_h = std::exchange(o.m_h, nullptr);
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE Get() const { return m_h; }
    bool Valid() const { return m_h != nullptr && m_h != INVALID_HANDLE_VALUE; }
    explicit operator bool() const { return Valid(); }
    // Gives up ownership without closing (a handle deliberately left open).
    HANDLE Release() { return std::exchange(m_h, nullptr); }
    void Reset(HANDLE h = nullptr) {
        if (Valid()) ::CloseHandle(m_h);
        m_h = h;
    }

private:
    HANDLE m_h = nullptr;
};

// Owns a module loaded with LoadLibrary.
class UniqueModule {
public:
    UniqueModule() = default;
    explicit UniqueModule(HMODULE h) : m_h(h) {}
    ~UniqueModule() { Reset(); }
    UniqueModule(UniqueModule&& o) noexcept : m_h(std::exchange(o.m_h, nullptr)) {}
    UniqueModule& operator=(UniqueModule&& o) noexcept {
        if (this != &o) {
            Reset();
            m_h = std::exchange(o.m_h, nullptr);
        }
        return *this;
    }
    UniqueModule(const UniqueModule&) = delete;
    UniqueModule& operator=(const UniqueModule&) = delete;

    HMODULE Get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    HMODULE Release() { return std::exchange(m_h, nullptr); }
    void Reset(HMODULE h = nullptr) {
        if (m_h) ::FreeLibrary(m_h);
        m_h = h;
    }

private:
    HMODULE m_h = nullptr;
};

}  // namespace core
