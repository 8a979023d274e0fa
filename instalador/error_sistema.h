// Which runtime error a failed start of a program is reported as.
#pragma once

#include "core/runtime_error.h"

namespace instalacion {

// The error kind for a Windows error code (GetLastError) after a program could not be started:
// a missing file 53, a missing folder 76, a refusal 70, anything else 75.
core::ErrorKind TipoDeError(unsigned long codigoWindows);

}  // namespace instalacion
