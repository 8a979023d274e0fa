// libFuzzer target: any bytes as a patch archive, parsed, checked and extracted into memory.
// Beyond the sanitizers it aborts when anything outside the target folder changes, when a
// temporary file is left behind, or when the archive is still open afterwards.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/unzip/memory_fs.h"
#include "updater/unzip/entry_name.h"
#include "updater/unzip/zip_extract.h"

namespace {

void Check(bool ok, const char* what, const std::string& detail = {}) {
    if (ok) return;
    std::fprintf(stderr, "invariant broken: %s %s\n", what, detail.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    ziptest::MemoryFileSystem fs;
    fs.folders = {"/juego", "/juego/Recursos"};
    fs.files["/juego/Recursos/viejo.dat"] = std::make_shared<std::string>("viejo");
    fs.files["/juego/1.zip"] = std::make_shared<std::string>(reinterpret_cast<const char*>(data), size);
    unzip::Limits limits;
    limits.maxTotalSize = 64u << 20;
    limits.maxEntries = 4096;
    limits.bufferSize = 4096;  // small windows reach the buffer edges often
    const unzip::Cp437Decoder decoder;
    const unzip::Result outcome = unzip::ExtractArchive("/juego/1.zip", "/juego\\", fs, decoder, limits);

    Check(fs.openReaders == 0, "archive left open");
    Check(outcome.ok || !outcome.reason.empty(), "failure without a reason");
    Check(outcome.ok == (outcome.code == unzip::Refusal::None), "failure without a code");
    Check(outcome.ok || *fs.files["/juego/Recursos/viejo.dat"] == "viejo", "a refused archive changed a file");
    Check(*fs.files["/juego/1.zip"] == std::string(reinterpret_cast<const char*>(data), size), "archive changed");
    for (const std::string& path : fs.changed) {
        Check(path.rfind("/juego/", 0) == 0 && path != "/juego/1.zip", "changed outside the target:", path);
        Check(path.find("/../") == std::string::npos && path.find(':') == std::string::npos, "odd path:", path);
    }
    for (const auto& [path, content] : fs.files) {
        const std::string_view suffix = unzip::kTemporarySuffix;
        Check(path.size() < suffix.size() || path.compare(path.size() - suffix.size(), suffix.size(), suffix) != 0,
              "temporary file left:", path);
    }
    return 0;
}
