// zlib's raw deflate stream for the archives parchear writes, owned by one object that ends it
// when it goes. A stream that zlib cannot set up is out of memory (runtime error 7).
#pragma once

#include <zlib.h>

namespace parchear {

class Deflater {
public:
    explicit Deflater(int level);
    ~Deflater();
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // Ready for a new entry, compressed at level with a zlib strategy.
    void Reset(int level, int strategy);
    z_stream& Stream() { return m_z; }

private:
    z_stream m_z{};
};

}  // namespace parchear
