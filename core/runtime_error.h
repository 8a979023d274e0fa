// The one error type of both programs: a runtime error number and its Spanish text.
#pragma once

#include <stdexcept>
#include <string>

namespace core {

// Error numbers as the programs report them to the player.
enum class ErrorKind : int {
    Overflow = 6,
    OutOfMemory = 7,
    DivisionByZero = 11,
    TypeMismatch = 13,
    FileNotFound = 53,
    DiskFull = 61,
    PermissionDenied = 70,
    PathFileAccess = 75,
    PathNotFound = 76,
    ObjectNotSet = 91,
};

// Spanish description shown in the error box for a kind.
const char* Describe(ErrorKind kind);

// Raised at the failing call; caught once at the program's edge (event handler or Main).
class RuntimeError : public std::runtime_error {
public:
    explicit RuntimeError(ErrorKind kind);
    // Extra context (a path, a reason): Instalador shows it below the description, Updater's
    // box does not; tests read it.
    RuntimeError(ErrorKind kind, const std::string& detail);

    ErrorKind Kind() const { return m_kind; }
    int Number() const { return static_cast<int>(m_kind); }
    const char* Description() const { return Describe(m_kind); }
    const std::string& Detail() const { return m_detail; }

private:
    ErrorKind m_kind;
    std::string m_detail;
};

[[noreturn]] void Raise(ErrorKind kind);
[[noreturn]] void Raise(ErrorKind kind, const std::string& detail);

}  // namespace core
