// unzip_bench: the extraction benchmark's helper. Built natively and for Windows (where only
// extract and inflate exist, to time the shipped engine under Wine).
//   gen mixed|small DIR        deterministic corpus
//   extract MODE ZIP DIR       the engine into DIR; MODE shipped (exactly what Updater does:
//                              temporary files, each flushed, then moved), unflushed (the same
//                              without the flushes: their price) or direct (no temporary file);
//                              UNZIP_BENCH_LANES / UNZIP_BENCH_FLUSHERS set Limits::lanes / flushers
//   inflate ZIP                zlib's raw inflate of every entry in memory: the limit
//   run CMD...                 runs a command; prints wall seconds and its peak RSS in KiB
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "updater/unzip/entry_name.h"
#include "updater/unzip/name_decoder.h"
#include "updater/unzip/zip_directory.h"
#include "updater/unzip/zip_extract.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

#ifndef _WIN32
// xorshift64*: the same corpus on every machine.
struct Random {
    std::uint64_t s;
    std::uint64_t Next() {
        s ^= s >> 12, s ^= s << 25, s ^= s >> 27;
        return s * 2685821657736338717ull;
    }
    std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }
};

// Text like game data and scripts: words from a skewed vocabulary, in lines.
std::string Text(Random& r, std::size_t size) {
    static std::vector<std::string> vocabulary = [] {
        Random v{42};
        std::vector<std::string> words;
        for (int i = 0; i < 3000; ++i) {
            std::string w;
            const std::size_t len = 2 + v.Below(9);
            for (std::size_t k = 0; k < len; ++k) w += static_cast<char>('a' + v.Below(26));
            words.push_back(w);
        }
        return words;
    }();
    std::string out;
    out.reserve(size + 16);
    std::size_t line = 0;
    while (out.size() < size) {
        const std::size_t a = r.Below(3000), b = r.Below(3000);
        out += vocabulary[a % 7 == 0 ? std::min(a, b) : std::min(a, b) / 8];
        if (++line % 12 == 0) {
            out += "\r\n";
        } else {
            out += r.Below(10) == 0 ? ", " : " ";
        }
    }
    out.resize(size);
    return out;
}

std::string Binary(Random& r, std::size_t size) {
    std::string out(size, '\0');
    for (std::size_t i = 0; i + 8 <= size; i += 8) {
        const std::uint64_t v = r.Next();
        std::memcpy(&out[i], &v, 8);
    }
    return out;
}

// Half-compressible data, like uncompressed images: few distinct byte values.
std::string Semi(Random& r, std::size_t size) {
    std::string out(size, '\0');
    for (char& c : out) c = static_cast<char>(r.Below(16) * 9);
    return out;
}

void Put(const std::string& path, const std::string& data) {
    const auto slash = path.rfind('/');
    for (std::size_t i = 0; i < slash; ++i) {
        if (path[i] == '/' && i > 0) ::mkdir(path.substr(0, i).c_str(), 0755);
    }
    ::mkdir(path.substr(0, slash).c_str(), 0755);
    std::ofstream(path, std::ios::binary) << data;
}

int Generate(const std::string& kind, const std::string& dir) {
    Random r{kind == "small" ? 7u : 3u};
    ::mkdir(dir.c_str(), 0755);
    if (kind == "mixed") {  // ~200 MB: large text, random binaries, mid-size files
        for (int i = 0; i < 5; ++i) Put(dir + "/Recursos/Mapas/mapa" + std::to_string(i) + ".txt", Text(r, 20u << 20));
        for (int i = 0; i < 4; ++i)
            Put(dir + "/Recursos/Binarios/b" + std::to_string(i) + ".bin", Binary(r, 10u << 20));
        for (int i = 0; i < 300; ++i) {
            const std::size_t size = (64u << 10) + r.Below(256u << 10);
            const std::string name = dir + "/Recursos/OUTPUT/g" + std::to_string(i % 10) + "/f" + std::to_string(i);
            Put(name + (i % 3 == 0   ? ".bmp"
                        : i % 3 == 1 ? ".dat"
                                     : ".ini"),
                i % 3 == 0   ? Semi(r, size)
                : i % 3 == 1 ? Binary(r, size)
                             : Text(r, size));
        }
    } else if (kind == "small") {  // 20,000 files of 1-8 KiB in nested folders
        for (int i = 0; i < 20000; ++i) {
            const std::string name = dir + "/Datos/d" + std::to_string(i / 2000) + "/s" + std::to_string(i / 100 % 20) +
                                     "/f" + std::to_string(i) + ".txt";
            Put(name, Text(r, 1024 + r.Below(7 * 1024 + 1)));
        }
    } else {
        std::fprintf(stderr, "unknown corpus %s\n", kind.c_str());
        return 2;
    }
    return 0;
}

#endif

// A writer whose flush does nothing, to price the flushes.
class UnflushedWriter final : public core::FileWriter {
public:
    explicit UnflushedWriter(std::unique_ptr<core::FileWriter> inner) : m_inner(std::move(inner)) {}
    void Write(const void* data, std::size_t size) override { m_inner->Write(data, size); }
    void Commit() override {}

private:
    std::unique_ptr<core::FileWriter> m_inner;
};

// The real file seam with the per-file writes and moves changed, to price them.
class Variant final : public core::ForwardingFileSystem {
public:
    Variant(core::FileSystem& real, bool direct, bool unflushed)
        : ForwardingFileSystem(real), m_direct(direct), m_unflushed(unflushed) {}
    std::unique_ptr<core::FileWriter> CreateFile(const std::string& p) override {
        auto writer = Inner().CreateFile(m_direct ? Final(p) : p);
        if (m_direct || m_unflushed) return std::make_unique<UnflushedWriter>(std::move(writer));
        return writer;
    }
    void ReplaceUnflushed(const std::string& f, const std::string& t) override {
        if (!m_direct) Inner().ReplaceUnflushed(f, t);
    }

private:
    static std::string Final(const std::string& p) { return p.substr(0, p.size() - unzip::kTemporarySuffix.size()); }
    bool m_direct, m_unflushed;
};

int Extract(const std::string& mode, const std::string& zip, const std::string& dir) {
    if (mode != "shipped" && mode != "unflushed" && mode != "direct") {
        std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
        return 2;
    }
    Variant variant(core::RealFileSystem(), mode == "direct", mode == "unflushed");
    // Updater's own call: the real file seam, the system's name decoder, the default limits
    // (unless the variables above set lanes or flushers).
    core::FileSystem& fs = mode == "shipped" ? core::RealFileSystem() : variant;
    const auto t0 = Clock::now();
    unzip::Limits limits;
    if (const char* lanes = std::getenv("UNZIP_BENCH_LANES")) limits.lanes = std::strtoul(lanes, nullptr, 10);
    if (const char* flushers = std::getenv("UNZIP_BENCH_FLUSHERS"))
        limits.flushers = std::strtoul(flushers, nullptr, 10);
    const unzip::Result o = unzip::ExtractArchive(zip, dir, fs, unzip::SystemNameDecoder(), limits);
    const double s = Since(t0);
    if (!o.ok) {
        std::fprintf(stderr, "failed: %s\n", o.reason.c_str());
        return 1;
    }
    std::printf("%.4f\n", s);
    return 0;
}

int Inflate(const std::string& zip) {
    auto file = core::RealFileSystem().OpenRead(zip);
    std::string all(file->Size(), '\0');
    file->ReadAt(0, all.data(), all.size());
    const unzip::DirectoryRead read = unzip::ReadArchiveDirectory(*file, unzip::Cp437Decoder(), unzip::Limits{});
    if (!read.result.ok) return 1;
    const unzip::Directory& dir = read.dir;
    std::vector<unsigned char> out(1u << 20);
    z_stream z{};
    inflateInit2(&z, -MAX_WBITS);
    std::uint64_t total = 0;
    const auto t0 = Clock::now();
    for (const unzip::Entry& e : dir.entries) {
        const auto* in = reinterpret_cast<const unsigned char*>(all.data()) + e.dataOffset;
        if (e.method == unzip::kStored) {
            for (std::uint64_t at = 0; at < e.compressedSize; at += out.size()) {
                std::memcpy(out.data(), in + at, std::min<std::uint64_t>(out.size(), e.compressedSize - at));
            }
            total += e.size;
            continue;
        }
        inflateReset(&z);
        z.next_in = const_cast<unsigned char*>(in);
        z.avail_in = static_cast<uInt>(e.compressedSize);
        int ret;
        do {
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            ret = inflate(&z, Z_NO_FLUSH);
            total += out.size() - z.avail_out;
        } while (ret == Z_OK);
        if (ret != Z_STREAM_END) return 1;
    }
    const double s = Since(t0);
    inflateEnd(&z);
    std::printf("%.4f %llu\n", s, static_cast<unsigned long long>(total));
    return 0;
}

#ifndef _WIN32
int Run(char** argv) {
    const auto t0 = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execvp(argv[0], argv);
        std::_Exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const double s = Since(t0);
    std::printf("%.4f %ld\n", s, usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

#endif

}  // namespace

int main(int argc, char** argv) {
    const std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "extract" && argc == 5) return Extract(argv[2], argv[3], argv[4]);
    if (cmd == "inflate" && argc == 3) return Inflate(argv[2]);
#ifndef _WIN32
    if (cmd == "gen" && argc == 4) return Generate(argv[2], argv[3]);
    if (cmd == "run" && argc > 2) return Run(argv + 2);
#endif
    std::fprintf(stderr, "usage: unzip_bench gen|extract|inflate|run ...\n");
    return 2;
}
