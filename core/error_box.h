// The text of the error box both programs show for a core::RuntimeError.
#pragma once

#include <string>

#include "core/runtime_error.h"

namespace core {

// Whether the error's detail (a path) is shown on a line of its own below the description.
enum class ErrorDetail { Hidden, OnNewLine };

// "Error <n>: <descripción>", then "\r\n" and the detail when asked for and the error has one.
std::string ErrorBoxText(const RuntimeError& error, ErrorDetail detail);

}  // namespace core
