#include "tests/unzip/zip_builder.h"

#include <zlib.h>

#include <stdexcept>

#include "updater/unzip/zip_format.h"

namespace ziptest {
namespace {

using namespace unzip::zip_format;

void Put16(std::string& out, std::uint64_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, std::uint64_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, (v >> 16) & 0xFFFF);
}
void Put64(std::string& out, std::uint64_t v) {
    Put32(out, v & 0xFFFFFFFFu);
    Put32(out, v >> 32);
}

std::uint64_t Sat32(bool zip64, std::uint64_t v) { return zip64 || v > kSaturated32 ? kSaturated32 : v; }

}  // namespace

std::uint32_t Crc32(const std::string& data) {
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string Deflate(const std::string& data) {
    z_stream z{};
    if (deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("deflate");
    std::string out(deflateBound(&z, data.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int ret = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (ret != Z_STREAM_END) throw std::runtime_error("deflate");
    return out;
}

ZipBuilder& ZipBuilder::File(std::string name, std::string data, std::uint16_t method) {
    EntryPlan e;
    e.name = std::move(name);
    e.data = std::move(data);
    e.method = method;
    return Add(std::move(e));
}

ZipBuilder& ZipBuilder::Folder(std::string name) {
    EntryPlan e;
    e.name = std::move(name);
    e.method = 0;
    e.attributes = 0x10;
    return Add(std::move(e));
}

Archive ZipBuilder::Build() const {
    Archive a;
    std::string& out = a.bytes;
    struct Written {
        std::uint64_t offset, csize, size;
        std::uint32_t crc;
    };
    std::vector<Written> written;
    for (const EntryPlan& e : m_entries) {
        const std::string payload = e.compressed ? *e.compressed : (e.method == 8 ? Deflate(e.data) : e.data);
        Written w{out.size(), e.compressedSize.value_or(payload.size()), e.size.value_or(e.data.size()),
                  e.crc.value_or(Crc32(e.data))};
        written.push_back(w);
        a.boundaries.push_back(out.size());
        const std::uint16_t flags = static_cast<std::uint16_t>(e.flags | (e.descriptor ? kFlagDescriptor : 0));
        std::string extra;
        if (e.zip64) {
            Put16(extra, kExtraZip64);
            Put16(extra, 16);
            Put64(extra, e.descriptor ? 0 : w.size);
            Put64(extra, e.descriptor ? 0 : w.csize);
        }
        extra += e.localExtra;
        const std::string& name = e.localName ? *e.localName : e.name;
        Put32(out, local::kSignature);
        Put16(out, e.zip64 ? kVersionZip64 : kVersionDeflate);
        Put16(out, flags);
        Put16(out, e.localMethod.value_or(e.method));
        Put32(out, 0);  // time, date
        Put32(out, e.descriptor ? 0 : e.localCrc.value_or(w.crc));
        Put32(out, e.descriptor && !e.zip64 ? 0 : Sat32(e.zip64, w.csize));
        Put32(out, e.descriptor && !e.zip64 ? 0 : Sat32(e.zip64, w.size));
        Put16(out, name.size());
        Put16(out, extra.size());
        out += name;
        out += extra;
        a.boundaries.push_back(out.size());
        out += payload;
        if (e.descriptor) {
            a.boundaries.push_back(out.size());
            if (e.descriptorSignature) Put32(out, kDescriptorSignature);
            Put32(out, e.descriptorCrc.value_or(w.crc));
            if (e.zip64) {
                Put64(out, w.csize);
                Put64(out, w.size);
            } else {
                Put32(out, w.csize);
                Put32(out, w.size);
            }
        }
    }
    const std::uint64_t cdStart = out.size();
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        order.push_back(i);
        for (const std::size_t r : repeatCentral) {
            if (r == i) order.push_back(i);
        }
    }
    for (const std::size_t i : order) {
        const EntryPlan& e = m_entries[i];
        const Written& w = written[i];
        a.boundaries.push_back(out.size());
        const std::uint64_t offset = e.headerOffset.value_or(w.offset);
        std::string extra;
        if (e.zip64) {
            Put16(extra, kExtraZip64);
            Put16(extra, 24);
            Put64(extra, w.size);
            Put64(extra, w.csize);
            Put64(extra, offset);
        }
        extra += e.centralExtra;
        Put32(out, central::kSignature);
        Put16(out, e.madeBy);
        Put16(out, e.zip64 ? kVersionZip64 : kVersionDeflate);
        Put16(out, e.flags | (e.descriptor ? kFlagDescriptor : 0));
        Put16(out, e.method);
        Put32(out, 0);
        Put32(out, w.crc);
        Put32(out, Sat32(e.zip64, w.csize));
        Put32(out, Sat32(e.zip64, w.size));
        Put16(out, e.name.size());
        Put16(out, extra.size());
        Put16(out, 0);  // comment
        Put16(out, 0);  // disk
        Put16(out, 0);  // internal attributes
        Put32(out, e.attributes);
        Put32(out, Sat32(e.zip64, offset));
        out += e.name;
        out += extra;
    }
    const std::uint64_t cdEnd = out.size();
    const std::uint64_t count = entryCount.value_or(order.size());
    const std::uint64_t size = cdSize.value_or(cdEnd - cdStart);
    const std::uint64_t offset = cdOffset.value_or(cdStart);
    if (zip64End) {
        a.boundaries.push_back(out.size());
        const std::uint64_t at = out.size();
        Put32(out, end64::kSignature);
        Put64(out, end64::kLength - 12);
        Put16(out, kVersionZip64);
        Put16(out, kVersionZip64);
        Put32(out, disk);
        Put32(out, disk);
        Put64(out, count);
        Put64(out, count);
        Put64(out, size);
        Put64(out, offset);
        a.boundaries.push_back(out.size());
        Put32(out, locator64::kSignature);
        Put32(out, disk);
        Put64(out, at);
        Put32(out, 1);
    }
    a.boundaries.push_back(out.size());
    Put32(out, end::kSignature);
    Put16(out, disk);
    Put16(out, disk);
    Put16(out, zip64End ? kSaturated16 : count);
    Put16(out, zip64End ? kSaturated16 : count);
    Put32(out, zip64End ? kSaturated32 : size);
    Put32(out, zip64End ? kSaturated32 : offset);
    Put16(out, comment.size());
    out += comment;
    a.boundaries.push_back(out.size() - comment.size() - 2);
    return a;
}

}  // namespace ziptest
