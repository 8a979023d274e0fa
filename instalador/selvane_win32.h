// The Windows facts Instalador's run asks for: the library's presence and the process's kind.
#pragma once

namespace m_Selvane {

// True when the library's class can be created in-process with its interface (released at
// once); false on any failure, without a message. COM must be initialised on this thread.
bool LibreriaRegistrada() noexcept;

// True for a 32-bit process on 64-bit Windows; false when IsWow64Process fails.
bool EsWow64() noexcept;

}  // namespace m_Selvane
