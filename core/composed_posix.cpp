#include "core/composed.h"

#include <uninorm.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "core/utf8.h"

namespace core {

std::string ComposedUtf8(std::string_view text) {
    if (IsAscii(text) || !IsValidUtf8(text)) return std::string(text);
    std::size_t length = 0;
    const std::unique_ptr<std::uint8_t, decltype(&std::free)> composed(
        u8_normalize(UNINORM_NFC, reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), nullptr, &length),
        &std::free);
    if (!composed) return std::string(text);
    return std::string(reinterpret_cast<const char*>(composed.get()), length);
}

}  // namespace core
