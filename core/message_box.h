// Message-box styles of both programs, named, with the classic MessageBox flag values.
#pragma once

namespace core {

// The icon and buttons of a modal message box; every style has the OK button only.
enum class BoxStyle : unsigned {
    OkOnly = 0,        // MB_OK: no icon
    Error = 16,        // MB_OK | MB_ICONHAND (MB_ICONERROR)
    Exclamation = 48,  // MB_OK | MB_ICONEXCLAMATION
};

}  // namespace core
