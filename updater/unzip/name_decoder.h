// Entry names stored without the UTF-8 flag are in the code page of the archiver's system;
// a NameDecoder turns such raw bytes into UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace unzip {

class NameDecoder {
public:
    virtual ~NameDecoder() = default;
    // UTF-8 form of a raw entry name (never fails: every byte maps to some character).
    virtual std::string ToUtf8(std::string_view raw) const = 0;
};

// IBM PC code page 437, the zip format's original name encoding.
class Cp437Decoder final : public NameDecoder {
public:
    std::string ToUtf8(std::string_view raw) const override;
};

// The decoder Windows archivers imply: the OEM code page on Windows, CP437 elsewhere.
const NameDecoder& SystemNameDecoder();

}  // namespace unzip
