#include "core/error_box.h"

#include "core/numeric.h"

namespace core {

std::string ErrorBoxText(const RuntimeError& error, ErrorDetail detail) {
    std::string text = "Error ";
    text += DecimalText(error.Number());
    text += ": ";
    text += error.Description();
    if (detail == ErrorDetail::OnNewLine && !error.Detail().empty()) {
        text += "\r\n";
        text += error.Detail();
    }
    return text;
}

}  // namespace core
