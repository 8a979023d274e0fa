// Windows archivers write names without the UTF-8 flag in the system's OEM code page.
#include <windows.h>

#include "core/text_win32.h"
#include "core/utf8.h"
#include "updater/unzip/name_decoder.h"

namespace unzip {
namespace {

class OemDecoder final : public NameDecoder {
public:
    std::string ToUtf8(std::string_view raw) const override {
        if (core::IsAscii(raw)) return std::string(raw);
        return core::CodePageToUtf8(raw, CP_OEMCP);
    }
};

}  // namespace

const NameDecoder& SystemNameDecoder() {
    static const OemDecoder decoder;
    return decoder;
}

}  // namespace unzip
