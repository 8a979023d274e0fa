// Which runtime error a Windows error code (GetLastError) is reported as: the one table both
// programs use, for files and for programs that cannot be started alike.
#pragma once

#include "core/runtime_error.h"

namespace core {

// A missing file 53, a missing folder or bad name 76, a full disk 61, a file another program
// holds or a refusal by policy 70, anything else (access denied included) 75.
ErrorKind ErrorKindOfWin32(unsigned long code);

}  // namespace core
