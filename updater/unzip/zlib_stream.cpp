#include "updater/unzip/zlib_stream.h"

#include "core/runtime_error.h"

namespace unzip {
namespace {

// Raw deflate data, zip's, with zlib's largest window and its default memory level.
constexpr int kRawWindowBits = -MAX_WBITS;
constexpr int kMemoryLevel = 8;

void Check(int zlibResult) {
    if (zlibResult != Z_OK) core::Raise(core::ErrorKind::OutOfMemory, "zlib " + std::to_string(zlibResult));
}

}  // namespace

Inflater::Inflater() { Check(inflateInit2(&m_z, kRawWindowBits)); }
Inflater::~Inflater() { inflateEnd(&m_z); }
void Inflater::Reset() { Check(inflateReset(&m_z)); }

Deflater::Deflater(int level) {
    Check(deflateInit2(&m_z, level, Z_DEFLATED, kRawWindowBits, kMemoryLevel, Z_DEFAULT_STRATEGY));
}
Deflater::~Deflater() { deflateEnd(&m_z); }
void Deflater::Reset(int level, int strategy) {
    Check(deflateReset(&m_z));
    Check(deflateParams(&m_z, level, strategy));
}

}  // namespace unzip
