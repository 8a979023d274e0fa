// zlib's raw streams (no zlib header, as zip stores the data), each owned by one object that
// ends it when it goes. A stream that zlib cannot set up is out of memory (runtime error 7).
#pragma once

#include <zlib.h>

namespace unzip {

// Raw deflate data, zip's, with zlib's largest window.
inline constexpr int kRawWindowBits = -MAX_WBITS;

// Raises core::RuntimeError OutOfMemory unless zlibResult is Z_OK (a stream set up or reset).
void CheckZlib(int zlibResult);

class Inflater {
public:
    Inflater();
    ~Inflater();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // Ready for a new entry.
    void Reset();
    z_stream& Stream() { return m_z; }

private:
    z_stream m_z{};
};

}  // namespace unzip
