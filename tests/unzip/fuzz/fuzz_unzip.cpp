// libFuzzer target: any bytes as a patch archive, parsed, checked and extracted into memory.
// Beyond the sanitizers it aborts when anything outside the target folder changes, when a
// temporary file is left behind, when the archive is still open afterwards, or when one lane and
// several give another refusal or other files.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "tests/support/memory_fs.h"
#include "updater/unzip/entry_name.h"
#include "updater/unzip/zip_extract.h"

namespace {

void Check(bool ok, const char* what, const std::string& detail = {}) {
    if (ok) return;
    std::fprintf(stderr, "invariant broken: %s %s\n", what, detail.c_str());
    std::abort();
}

// One extraction of the input into a fresh installation, its invariants checked.
unzip::Result Extract(const unsigned char* data, std::size_t size, std::size_t lanes,
                      std::map<std::string, std::string>& result) {
    testsupport::MemoryFileSystem fs;
    fs.folders = {"/juego", "/juego/Recursos"};
    fs.files["/juego/Recursos/viejo.dat"] = std::make_shared<std::string>("viejo");
    fs.files["/juego/1.zip"] = std::make_shared<std::string>(reinterpret_cast<const char*>(data), size);
    unzip::Limits limits;
    limits.maxTotalSize = 64u << 20;
    limits.maxEntries = 4096;
    limits.bufferSize = 4096;  // small windows reach the buffer edges often
    limits.lanes = lanes;
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
        result[path] = *content;
    }
    for (const std::string& folder : fs.folders) result[folder + "/"] = "";
    return outcome;
}

}  // namespace

// One lane and several give the same refusal and the same files.
extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    std::map<std::string, std::string> one, several;
    const unzip::Result a = Extract(data, size, 1, one);
    const unzip::Result b = Extract(data, size, 3, several);
    Check(a.code == b.code && a.reason == b.reason, "lanes change the outcome:", a.reason + " / " + b.reason);
    Check(one == several, "lanes change the files");
    return 0;
}
