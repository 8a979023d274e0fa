#include "tools/parchear/deflater.h"

#include "updater/unzip/zlib_stream.h"

namespace parchear {
namespace {

// zlib's default memory level.
constexpr int kMemoryLevel = 8;

}  // namespace

Deflater::Deflater(int level) {
    unzip::CheckZlib(deflateInit2(&m_z, level, Z_DEFLATED, unzip::kRawWindowBits, kMemoryLevel, Z_DEFAULT_STRATEGY));
}
Deflater::~Deflater() { deflateEnd(&m_z); }
void Deflater::Reset(int level, int strategy) {
    unzip::CheckZlib(deflateReset(&m_z));
    unzip::CheckZlib(deflateParams(&m_z, level, strategy));
}

}  // namespace parchear
