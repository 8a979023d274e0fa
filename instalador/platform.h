// What Instalador's run needs from Windows, in one seam so the tests can replace it.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "core/message_box.h"
#include "instalador/commands.h"
#include "instalador/trust.h"

namespace instalador {

// Exit statuses, for the operators' installers that call Instalador.
inline constexpr int kExitRegistered = 0;  // registered, already or now
inline constexpr int kExitNoSuccess = 1;   // no generation made it
inline constexpr int kExitError = 2;       // ended by an error box
inline constexpr int kExitUntrusted = 3;   // refused a file it does not trust

// A file refused before it ran or was loaded: an installer (path in dlls\) or the library.
struct Untrusted {
    std::string path;
    Distrust why = Distrust::NotMicrosofts;
};

// A started installer.
class Process {
public:
    virtual ~Process() = default;
    // True once the process has ended.
    virtual bool HasEnded() = 0;
    // Returns when the process has ended; window messages keep being processed meanwhile.
    virtual void WaitForEnd() = 0;
};

class Platform {
public:
    virtual ~Platform() = default;
    // Starts the installer hidden. Raises core::RuntimeError (with the installer's path as
    // detail) when it cannot be started, Untrusted when it is not Microsoft's; null when there
    // is nothing to wait for.
    virtual std::unique_ptr<Process> StartHidden(const Command& command) = 0;
    // Runs the file's self-registration; false (after its own message) on any failure. Raises
    // Untrusted when the file is there but not trusted.
    virtual bool RegistrarArchivo(const std::string& file) = 0;
    // True when the game's network library, the one beside the program, is registered and can be
    // created; shows nothing. Raises Untrusted when that library is there but not trusted.
    virtual bool LibreriaRegistrada() = 0;
    // True for a 32-bit process on 64-bit Windows; false when it cannot be told.
    virtual bool EsWow64() = 0;
    // A modal message box without an owner window.
    virtual void ShowMessage(std::string_view text, std::string_view caption, core::BoxStyle style) = 0;
    // Ends the program at once with the exit status; nothing after this call runs.
    [[noreturn]] virtual void EndProgram(int exitCode) = 0;
};

}  // namespace instalador
