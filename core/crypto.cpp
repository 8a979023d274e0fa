#include "core/crypto.h"

#include <vector>

namespace core::crypto {

Failure::Failure(const std::string& operation)
    : std::runtime_error("el sistema no pudo completar la operación criptográfica (" + operation + ")") {}

Sha256Digest Sha256Of(std::string_view bytes) {
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.Finish();
}

Sha256Digest Sha256OfFile(FileSystem& fs, const std::string& path) {
    std::vector<char> buffer(1u << 20);
    Sha256 hash;
    return Sha256OfFile(fs, path, hash, buffer);
}

Sha256Digest Sha256OfFile(FileSystem& fs, const std::string& path, Sha256& hash, std::vector<char>& buffer,
                          const std::function<void(std::size_t)>& read) {
    const auto reader = fs.OpenRead(path);
    std::uint64_t at = 0;
    for (;;) {
        const std::size_t n = reader->ReadAt(at, buffer.data(), buffer.size());
        hash.Update(buffer.data(), n);
        at += n;
        if (read) read(n);
        if (n < buffer.size()) break;
    }
    return hash.Finish();
}

std::string HexOf(const std::uint8_t* bytes, std::size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 15];
    }
    return out;
}

}  // namespace core::crypto
