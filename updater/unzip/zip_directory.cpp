#include "updater/unzip/zip_directory.h"

#include <zlib.h>

#include <algorithm>
#include <new>

#include "core/composed.h"
#include "core/fnv1a.h"
#include "core/runtime_error.h"
#include "core/utf8.h"
#include "updater/unzip/archive_reader.h"
#include "updater/unzip/entry_name.h"
#include "updater/unzip/zip_format.h"

namespace unzip {
namespace {

using namespace zip_format;
namespace local = zip_format::local;
namespace central = zip_format::central;

std::uint16_t U16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t U32(const unsigned char* p) { return U16(p) | (static_cast<std::uint32_t>(U16(p + 2)) << 16); }
std::uint64_t U64(const unsigned char* p) { return U32(p) | (static_cast<std::uint64_t>(U32(p + 4)) << 32); }

std::uint32_t Crc(std::string_view bytes) {
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

[[noreturn]] void Damaged(const std::string& what) { throw Failure(Refusal::Damaged, {}, what); }
[[noreturn]] void DamagedDirectory(const std::string& what) { throw Failure(Refusal::DamagedDirectory, {}, what); }

std::string Shown(std::string_view name) { return Printable(name); }
std::string Quoted(std::string_view name) { return "«" + Shown(name) + "»"; }

// The extra fields of a header that matter here.
struct Extras {
    std::string_view zip64;    // 0x0001
    std::string_view unicode;  // 0x7075, Info-ZIP's UTF-8 path
};

Extras ParseExtras(std::string_view extra) {
    Extras found;
    std::size_t q = 0;
    while (extra.size() - q >= 4) {
        const auto* p = reinterpret_cast<const unsigned char*>(extra.data() + q);
        const std::uint16_t id = U16(p), size = U16(p + 2);
        if (size > extra.size() - q - 4) break;  // a malformed tail is ignored, like padding
        const std::string_view data = extra.substr(q + 4, size);
        if (id == kExtraZip64 && found.zip64.empty()) found.zip64 = data;
        if (id == kExtraUnicodePath && found.unicode.empty()) found.unicode = data;
        q += 4u + size;
    }
    return found;
}

// Reads the ZIP64 values that replace saturated fields, in the format's order.
class Zip64Fields {
public:
    Zip64Fields(std::string_view data, std::string_view name) : m_data(data), m_name(name) {}
    std::uint64_t Take(std::uint64_t value, bool saturated) {
        if (!saturated) return value;
        if (m_data.size() - m_used < 8) Damaged("faltan los tamaños ZIP64 de " + Quoted(m_name));
        const std::uint64_t v = U64(reinterpret_cast<const unsigned char*>(m_data.data() + m_used));
        m_used += 8;
        return v;
    }

private:
    std::string_view m_data;
    std::string_view m_name;
    std::size_t m_used = 0;
};

struct EndRecord {
    std::uint64_t entries = 0;
    std::uint64_t cdOffset = 0;
    std::uint64_t cdSize = 0;
    std::uint64_t cdLimit = 0;  // where the end records begin
};

bool LooksLikeRar(ArchiveReader& reader) {
    if (reader.Size() < 4) return false;
    const unsigned char* p = reader.Bytes(0, 4);
    return p[0] == 'R' && p[1] == 'a' && p[2] == 'r' && p[3] == '!';
}

EndRecord FindEnd(ArchiveReader& reader) {
    const std::uint64_t size = reader.Size();
    const auto notZip = [&]() { return Failure(LooksLikeRar(reader) ? Refusal::Rar : Refusal::NotZip); };
    if (size < end::kLength) throw notZip();
    const std::size_t tailLength = static_cast<std::size_t>(std::min<std::uint64_t>(size, end::kLength + 0xFFFF));
    const std::uint64_t tailStart = size - tailLength;
    const unsigned char* tail = reader.Bytes(tailStart, tailLength);
    // The record whose comment ends the file; failing that, the last one whose comment fits.
    std::size_t found = tailLength;
    for (int pass = 0; pass < 2 && found == tailLength; ++pass) {
        for (std::size_t pos = tailLength - end::kLength + 1; pos-- > 0;) {
            if (U32(tail + pos) != end::kSignature) continue;
            const std::size_t stop = pos + end::kLength + U16(tail + pos + end::kCommentLength);
            if (pass == 0 ? stop == tailLength : stop <= tailLength) {
                found = pos;
                break;
            }
        }
    }
    if (found == tailLength) throw notZip();

    const unsigned char* e = tail + found;
    const std::uint16_t disk = U16(e + end::kDisk), cdDisk = U16(e + end::kDirectoryDisk),
                        diskEntries = U16(e + end::kDiskEntries);
    EndRecord record;
    record.entries = U16(e + end::kEntries);
    record.cdSize = U32(e + end::kDirectorySize);
    record.cdOffset = U32(e + end::kDirectoryOffset);
    record.cdLimit = tailStart + found;
    // The ZIP64 records count only when the classic one needs them: a field of it saturated, or
    // a directory that does not end where it begins. A directory that merely ends with bytes
    // that look like a locator (in a comment or an extra field) stays a plain archive.
    const bool saturated = disk == kSaturated16 || cdDisk == kSaturated16 || diskEntries == kSaturated16 ||
                           record.entries == kSaturated16 || record.cdSize == kSaturated32 ||
                           record.cdOffset == kSaturated32;
    const bool consistent = record.cdOffset + record.cdSize == record.cdLimit;
    std::uint64_t disks = disk, cdDisks = cdDisk, onThisDisk = diskEntries;
    if ((saturated || !consistent) && record.cdLimit >= locator64::kLength) {
        const unsigned char* loc = reader.Bytes(record.cdLimit - locator64::kLength, locator64::kLength);
        if (U32(loc) == locator64::kSignature) {
            const std::uint32_t locDisk = U32(loc + locator64::kDisk), total = U32(loc + locator64::kDisks);
            const std::uint64_t at = U64(loc + locator64::kEnd64Offset);
            if (locDisk != 0 || total > 1) throw Failure(Refusal::SplitArchive);
            if (!Fits(at, end64::kLength, record.cdLimit - locator64::kLength)) {
                DamagedDirectory("registro final ZIP64 fuera del archivo");
            }
            const unsigned char* z = reader.Bytes(at, end64::kLength);
            if (U32(z) != end64::kSignature || U64(z + end64::kRecordSize) < end64::kLength - 12) {
                DamagedDirectory("registro final ZIP64 no válido");
            }
            // Version 6.2 and later records describe a directory encrypted as a whole.
            if ((U16(z + end64::kVersionNeeded) & 0xFF) >= kVersionDirectoryEncryption) {
                throw Failure(Refusal::EncryptedDirectory);
            }
            disks = U32(z + end64::kDisk);
            cdDisks = U32(z + end64::kDirectoryDisk);
            onThisDisk = U64(z + end64::kDiskEntries);
            record.entries = U64(z + end64::kEntries);
            record.cdSize = U64(z + end64::kDirectorySize);
            record.cdOffset = U64(z + end64::kDirectoryOffset);
            record.cdLimit = at;
        } else if (saturated) {
            DamagedDirectory("falta el registro final ZIP64");
        }
    }
    if (disks != 0 || cdDisks != 0) throw Failure(Refusal::SplitArchive);
    if (onThisDisk != record.entries) DamagedDirectory("el registro final no cuadra con el número de entradas");
    if (!Fits(record.cdOffset, record.cdSize, record.cdLimit)) DamagedDirectory("directorio central fuera del archivo");
    return record;
}

// The data descriptor after the data: with or without its signature, 32- or 64-bit sizes.
void CheckDescriptor(ArchiveReader& reader, const Entry& e, std::uint64_t limit, std::string_view path) {
    const std::uint64_t at = e.dataOffset + e.compressedSize;
    const std::size_t room = static_cast<std::size_t>(std::min<std::uint64_t>(limit - at, 24));
    const unsigned char* d = reader.Bytes(at, room);
    for (const std::size_t skip : {std::size_t{4}, std::size_t{0}}) {
        if (skip == 4 && (room < 4 || U32(d) != kDescriptorSignature)) continue;
        if (room >= skip + 12 && U32(d + skip) == e.crc && U32(d + skip + 4) == e.compressedSize &&
            U32(d + skip + 8) == e.size) {
            return;
        }
        if (room >= skip + 20 && U32(d + skip) == e.crc && U64(d + skip + 4) == e.compressedSize &&
            U64(d + skip + 12) == e.size) {
            return;
        }
    }
    Damaged("el descriptor de datos de " + Quoted(path) + " no coincide con el directorio");
}

// Checks the local header of e (and its data descriptor) against the directory, and sets its dataOffset.
// limit: where the room of the entry ends.
void CheckLocalHeader(ArchiveReader& reader, const Directory& dir, Entry& e, std::uint64_t limit) {
    const std::string_view path = dir.Name(e);
    if (!Fits(e.headerOffset, local::kLength, limit)) Damaged("entradas superpuestas en " + Quoted(path));
    const unsigned char* h = reader.Bytes(e.headerOffset, local::kLength);
    if (U32(h) != local::kSignature) Damaged("cabecera local de " + Quoted(path));
    const std::uint16_t flags = U16(h + local::kFlags), method = U16(h + local::kMethod);
    const std::uint32_t crc = U32(h + local::kCrc), csize32 = U32(h + local::kCompressedSize),
                        usize32 = U32(h + local::kSize);
    const std::uint16_t nameLength = U16(h + local::kNameLength), extraLength = U16(h + local::kExtraLength);
    if (method != e.method || (flags & (kFlagEncrypted | kFlagStrongEncryption)) != 0 ||
        nameLength != e.rawNameLength) {
        Damaged("la cabecera local de " + Quoted(path) + " no coincide con el directorio");
    }
    e.dataOffset = e.headerOffset + local::kLength + nameLength + extraLength;
    if (!Fits(e.dataOffset, e.compressedSize, limit)) Damaged("entradas superpuestas en " + Quoted(path));
    const auto* v = reinterpret_cast<const char*>(
        reader.Bytes(e.headerOffset + local::kLength, std::size_t{nameLength} + extraLength));
    if (Crc(std::string_view(v, nameLength)) != e.rawNameCrc) {
        Damaged("la cabecera local de " + Quoted(path) + " no coincide con el directorio");
    }
    if (!(flags & kFlagDescriptor)) {
        const Extras extras = ParseExtras(std::string_view(v + nameLength, extraLength));
        Zip64Fields zip64(extras.zip64, path);
        const std::uint64_t usize = zip64.Take(usize32, usize32 == kSaturated32);
        const std::uint64_t csize = zip64.Take(csize32, csize32 == kSaturated32);
        if (crc != e.crc || usize != e.size || csize != e.compressedSize) {
            Damaged("la cabecera local de " + Quoted(path) + " no coincide con el directorio");
        }
        return;
    }
    CheckDescriptor(reader, e, limit, path);
}

class DirectoryBuilder {
public:
    DirectoryBuilder(ArchiveReader& reader, const NameDecoder& decoder, const Limits& limits, bool localHeaders)
        : m_reader(reader), m_decoder(decoder), m_limits(limits), m_localHeaders(localHeaders) {}

    Directory Build() {
        const EndRecord end = FindEnd(m_reader);
        if (end.entries > m_limits.maxEntries) {
            throw Failure(Refusal::TooManyEntries, {}, std::to_string(m_limits.maxEntries));
        }
        if (end.entries * central::kLength > end.cdSize) DamagedDirectory("directorio central incompleto");
        m_cdOffset = end.cdOffset;
        m_dir.directoryOffset = end.cdOffset;
        m_dir.entries.reserve(static_cast<std::size_t>(end.entries));
        std::uint64_t pos = end.cdOffset;
        const std::uint64_t cdEnd = end.cdOffset + end.cdSize;
        for (std::uint64_t i = 0; i < end.entries; ++i) pos = ReadCentralEntry(pos, cdEnd);
        if (pos != cdEnd) DamagedDirectory("tamaño del directorio central");

        std::sort(m_dir.entries.begin(), m_dir.entries.end(),
                  [](const Entry& a, const Entry& b) { return a.headerOffset < b.headerOffset; });
        for (std::size_t i = 0; m_localHeaders && i < m_dir.entries.size(); ++i) {
            const std::uint64_t limit = i + 1 < m_dir.entries.size() ? m_dir.entries[i + 1].headerOffset : end.cdOffset;
            CheckLocalHeader(m_reader, m_dir, m_dir.entries[i], limit);
        }
        CheckCollisions();
        return std::move(m_dir);
    }

private:
    std::uint64_t ReadCentralEntry(std::uint64_t pos, std::uint64_t cdEnd) {
        if (!Fits(pos, central::kLength, cdEnd)) DamagedDirectory("directorio central incompleto");
        const unsigned char* h = m_reader.Bytes(pos, central::kLength, m_limits.bufferSize);
        if (U32(h) != central::kSignature) DamagedDirectory("directorio central");
        const std::uint16_t madeBy = U16(h + central::kMadeBy), flags = U16(h + central::kFlags),
                            method = U16(h + central::kMethod);
        const std::uint32_t crc = U32(h + central::kCrc), csize32 = U32(h + central::kCompressedSize),
                            usize32 = U32(h + central::kSize);
        const std::uint16_t nameLength = U16(h + central::kNameLength), extraLength = U16(h + central::kExtraLength),
                            commentLength = U16(h + central::kCommentLength);
        const std::uint16_t disk16 = U16(h + central::kDisk);
        const std::uint32_t attributes = U32(h + central::kExternalAttributes),
                            offset32 = U32(h + central::kLocalOffset);
        const std::uint64_t variable = std::uint64_t{nameLength} + extraLength + commentLength;
        if (!Fits(pos + central::kLength, variable, cdEnd)) DamagedDirectory("directorio central incompleto");
        const auto* v = reinterpret_cast<const char*>(
            m_reader.Bytes(pos + central::kLength, std::size_t{nameLength} + extraLength, m_limits.bufferSize));
        const std::string_view raw(v, nameLength);
        const Extras extras = ParseExtras(std::string_view(v + nameLength, extraLength));

        Entry e;
        e.rawNameLength = nameLength;
        e.rawNameCrc = Crc(raw);
        const CheckedName name = CheckEntryName(DecodeName(raw, flags, madeBy, extras, e.rawNameCrc));
        if (!name.reason.empty()) {
            throw Failure(Refusal::BadName, Shown(DisplayName(raw, flags)), name.reason);
        }
        if (name.path.empty()) return pos + central::kLength + variable;  // the archive's own folder
        const std::string_view path = name.path;
        if (flags & (kFlagEncrypted | kFlagStrongEncryption | kFlagMaskedHeaders)) {
            throw Failure(Refusal::EncryptedEntry, Shown(path));
        }
        if (method != kStored && method != kDeflated) {
            throw Failure(Refusal::UnsupportedMethod, Shown(path), std::to_string(method));
        }
        e.folder = name.folder;
        CheckKind(madeBy, attributes, path, e.folder);

        Zip64Fields zip64(extras.zip64, path);
        e.size = zip64.Take(usize32, usize32 == kSaturated32);
        e.compressedSize = zip64.Take(csize32, csize32 == kSaturated32);
        e.headerOffset = zip64.Take(offset32, offset32 == kSaturated32);
        if (disk16 == 0xFFFF) {
            if (extras.zip64.size() < 4) Damaged("faltan los datos ZIP64 de " + Quoted(path));
        } else if (disk16 != 0) {
            DamagedDirectory("la entrada " + Quoted(path) + " dice estar en otro disco");
        }
        e.crc = crc;
        e.method = method;
        if (e.folder && e.size != 0) Damaged("la carpeta " + Quoted(path) + " tiene contenido");
        if (method == kStored && e.compressedSize != e.size) Damaged("tamaños de " + Quoted(path));
        if (e.size > m_limits.ratioFreeSize && e.size / m_limits.maxRatio > e.compressedSize) {
            throw Failure(Refusal::Bomb, Shown(path), std::to_string(m_limits.maxRatio));
        }
        m_total += e.size;
        if (e.size > m_limits.maxTotalSize || m_total > m_limits.maxTotalSize) {
            throw Failure(Refusal::TooLarge, {}, std::to_string(m_limits.maxTotalSize >> 20));
        }
        if (!Fits(e.headerOffset, local::kLength + std::uint64_t{nameLength} + e.compressedSize, m_cdOffset)) {
            Damaged("datos de " + Quoted(path) + " fuera del archivo");
        }
        if (m_dir.names.size() + path.size() > m_limits.maxTotalNameBytes) {
            throw Failure(Refusal::NamesTooLong);
        }
        e.nameOffset = static_cast<std::uint32_t>(m_dir.names.size());
        e.nameLength = static_cast<std::uint32_t>(path.size());
        m_dir.names.append(path);
        m_dir.entries.push_back(e);
        return pos + central::kLength + variable;
    }

    // The name as the archiver meant it, composed as Windows writes names (macOS decomposes).
    std::string DecodeName(std::string_view raw, std::uint16_t flags, std::uint16_t madeBy, const Extras& extras,
                           std::uint32_t rawCrc) const {
        return core::ComposedUtf8(NameText(raw, flags, madeBy, extras, rawCrc));
    }

    // The UTF-8 flag; else Info-ZIP's UTF-8 path when it was made from these very name bytes;
    // else, from Unix and macOS (whose archivers write the system's UTF-8 without the flag),
    // bytes that are valid UTF-8; else the OEM code page.
    std::string NameText(std::string_view raw, std::uint16_t flags, std::uint16_t madeBy, const Extras& extras,
                         std::uint32_t rawCrc) const {
        if (flags & kFlagUtf8) return std::string(raw);  // checked as UTF-8 by CheckEntryName
        const std::string_view u = extras.unicode;
        if (u.size() > 5 && u[0] == 1 && U32(reinterpret_cast<const unsigned char*>(u.data() + 1)) == rawCrc &&
            core::IsValidUtf8(u.substr(5))) {
            return std::string(u.substr(5));
        }
        const unsigned host = madeBy >> 8;
        if ((host == kHostUnix || host == kHostMac) && core::IsValidUtf8(raw)) return std::string(raw);
        return m_decoder.ToUtf8(raw);
    }

    std::string DisplayName(std::string_view raw, std::uint16_t flags) const {
        return (flags & kFlagUtf8) || core::IsValidUtf8(raw) ? std::string(raw) : m_decoder.ToUtf8(raw);
    }

    // Refuses links and special files; marks folders given only by their attributes.
    static void CheckKind(std::uint16_t madeBy, std::uint32_t attributes, std::string_view path, bool& folder) {
        const unsigned host = madeBy >> 8;
        if (attributes & 0x400) throw Failure(Refusal::Link, Shown(path));
        if (attributes & 0x10) folder = true;
        if (host == kHostUnix || host == kHostMac) {  // st_mode in the high half
            const std::uint32_t type = (attributes >> 16) & 0170000;
            if (type == 0120000) throw Failure(Refusal::Link, Shown(path));
            if (type == 0040000) folder = true;
            if (type != 0 && type != 0100000 && type != 0040000) {
                throw Failure(Refusal::SpecialFile, Shown(path));
            }
        }
    }

    static std::uint64_t Hash(std::string_view key) {
        std::uint64_t h = core::kFnv1aOffsetBasis;
        for (const char c : key) h = core::Fnv1aStep(h, static_cast<std::uint8_t>(c));
        return h;
    }

    // Two entries for one file (as Windows compares names), or a file that is also a folder.
    void CheckCollisions() {
        struct Key {
            std::uint64_t hash;
            std::uint32_t index;
            bool operator<(const Key& o) const { return hash < o.hash || (hash == o.hash && index < o.index); }
        };
        const auto& entries = m_dir.entries;
        std::vector<std::string> nameKeys;
        std::vector<Key> keys;
        nameKeys.reserve(entries.size());
        keys.reserve(entries.size());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            nameKeys.push_back(NameKey(m_dir.Name(entries[i])));
            keys.push_back({Hash(nameKeys.back()), static_cast<std::uint32_t>(i)});
        }
        std::sort(keys.begin(), keys.end());
        for (std::size_t i = 0; i + 1 < keys.size(); ++i) {
            for (std::size_t j = i + 1; j < keys.size() && keys[j].hash == keys[i].hash; ++j) {
                const Entry& a = entries[keys[i].index];
                const Entry& b = entries[keys[j].index];
                if (a.folder && b.folder) continue;
                if (SameName(m_dir.Name(a), m_dir.Name(b))) Clash(a, b);
            }
        }
        // Each folder a path passes through, against the files: the key up to its n-th '/' is the
        // key of the path up to its n-th '/'.
        for (std::size_t e = 0; e < entries.size(); ++e) {
            const std::string& key = nameKeys[e];
            const std::string_view name = m_dir.Name(entries[e]);
            std::size_t slash = 0;
            std::uint64_t h = core::kFnv1aOffsetBasis;
            for (std::size_t k = 0; k < key.size(); ++k) {
                if (key[k] == '/') {
                    slash = name.find('/', slash);
                    const std::string_view folder = name.substr(0, slash++);
                    auto it = std::lower_bound(keys.begin(), keys.end(), Key{h, 0});
                    for (; it != keys.end() && it->hash == h; ++it) {
                        const Entry& other = entries[it->index];
                        if (!other.folder && SameName(m_dir.Name(other), folder)) {
                            throw Failure(Refusal::FileAndFolder, Shown(m_dir.Name(other)));
                        }
                    }
                }
                h = core::Fnv1aStep(h, static_cast<std::uint8_t>(key[k]));
            }
        }
    }

    [[noreturn]] void Clash(const Entry& a, const Entry& b) const {
        if (a.folder != b.folder) throw Failure(Refusal::FileAndFolder, Shown(m_dir.Name(a.folder ? b : a)));
        throw Failure(Refusal::SameFile, Shown(m_dir.Name(a)), Quoted(m_dir.Name(b)));
    }

    ArchiveReader& m_reader;
    const NameDecoder& m_decoder;
    const Limits& m_limits;
    const bool m_localHeaders;
    Directory m_dir;
    std::uint64_t m_cdOffset = 0;
    std::uint64_t m_total = 0;
};

}  // namespace

Directory ReadDirectory(ArchiveReader& reader, const NameDecoder& decoder, const Limits& limits) {
    return DirectoryBuilder(reader, decoder, limits, true).Build();
}

namespace {

// Runs a read of the archive's structure, turning what it raises into the refusal it means.
template <typename Step>
Result Guarded(Step step) {
    try {
        step();
    } catch (const Failure& e) {
        return e.ToResult();
    } catch (const core::RuntimeError& e) {
        return Result::Failure(RefusalText(Refusal::CannotRead, {}, e.Description()), Refusal::CannotRead);
    } catch (const std::bad_alloc&) {
        return Result::Failure(RefusalText(Refusal::OutOfMemory), Refusal::OutOfMemory);
    }
    return Result::Success();
}

}  // namespace

DirectoryRead ReadArchiveDirectory(core::FileReader& file, const NameDecoder& decoder, const Limits& limits) {
    DirectoryRead read;
    read.result = Guarded([&] {
        ArchiveReader reader(file, limits.bufferSize);
        read.dir = ReadDirectory(reader, decoder, limits);
    });
    return read;
}

DirectoryPlace LocateCentralDirectory(core::FileReader& file) {
    DirectoryPlace place;
    place.result = Guarded([&] {
        ArchiveReader reader(file, 1u << 16);
        place.offset = FindEnd(reader).cdOffset;
    });
    return place;
}

DirectoryRead ReadCentralDirectory(core::FileReader& file, const NameDecoder& decoder, const Limits& limits) {
    DirectoryRead read;
    read.result = Guarded([&] {
        ArchiveReader reader(file, limits.bufferSize);
        read.dir = DirectoryBuilder(reader, decoder, limits, false).Build();
    });
    return read;
}

std::optional<std::uint64_t> LocalEntrySpan(std::string_view fixedPart, const Entry& e) {
    if (fixedPart.size() < local::kLength) return std::nullopt;
    const auto* h = reinterpret_cast<const unsigned char*>(fixedPart.data());
    if (U32(h) != local::kSignature) return std::nullopt;
    return local::kLength + std::uint64_t{U16(h + local::kNameLength)} + U16(h + local::kExtraLength) +
           e.compressedSize;
}

EntryCheck CheckFetchedEntry(core::FileReader& file, const Directory& dir, const Entry& e, std::uint64_t limit) {
    EntryCheck check{{}, e};
    check.result = Guarded([&] {
        ArchiveReader reader(file, 1u << 16);
        CheckLocalHeader(reader, dir, check.entry, std::min(limit, reader.Size()));
    });
    return check;
}

}  // namespace unzip
