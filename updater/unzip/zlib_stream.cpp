#include "updater/unzip/zlib_stream.h"

#include <string>

#include "core/runtime_error.h"

namespace unzip {

void CheckZlib(int zlibResult) {
    if (zlibResult != Z_OK) core::Raise(core::ErrorKind::OutOfMemory, "zlib " + std::to_string(zlibResult));
}

Inflater::Inflater() { CheckZlib(inflateInit2(&m_z, kRawWindowBits)); }
Inflater::~Inflater() { inflateEnd(&m_z); }
void Inflater::Reset() { CheckZlib(inflateReset(&m_z)); }

}  // namespace unzip
