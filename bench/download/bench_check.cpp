// The checks of the installed files against the signed state, timed on the Windows build: the
// quick check at start (presence and size of every file) and /reparar's full check (every
// file's SHA-256), against a bare loop that hashes the same files with CNG straight from the
// disk, reading the same pieces.
//   bench_check FOLDER STATE_FILE ROUNDS
// Prints files, bytes, the quick check's best time, and the medians of the two hashing speeds
// (alternating rounds, the files in the system's cache for both) with their ratio.
#include <windows.h>

// After windows.h, which defines its types.
#include <bcrypt.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/file_system.h"
#include "core/path_win32.h"
#include "core/text_win32.h"
#include "updater/update/catch_up_plan.h"
#include "updater/update/full_check.h"
#include "updater/update/state_file.h"

namespace {

double Now() {
    LARGE_INTEGER t, f;
    ::QueryPerformanceCounter(&t);
    ::QueryPerformanceFrequency(&f);
    return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// SHA-256 of every file, as plainly as CNG allows: one provider, a hash per file, ReadFile into
// one buffer until the end. Returns the files whose digest could not be made.
int BareLoop(const update::InstallState& state, const std::string& folder) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) return -1;
    std::vector<char> buffer(update::kCheckReadBytes);
    int failed = 0;
    for (const update::StateLine& line : state.lines) {
        if (line.kind != update::StateLineKind::File) continue;
        const HANDLE file =
            ::CreateFileW(core::WidePath(update::InstalledPath(folder, line.path)).c_str(), GENERIC_READ,
                          FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        BCRYPT_HASH_HANDLE hash = nullptr;
        if (file == INVALID_HANDLE_VALUE || ::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) != 0) {
            ++failed;
            if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
            continue;
        }
        DWORD got = 0;
        bool ok = true;
        while ((ok = ::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) != 0) &&
               got > 0) {
            if (::BCryptHashData(hash, reinterpret_cast<PUCHAR>(buffer.data()), got, 0) != 0) ok = false;
        }
        UCHAR digest[32];
        if (!ok || ::BCryptFinishHash(hash, digest, sizeof digest, 0) != 0) ++failed;
        ::BCryptDestroyHash(hash);
        ::CloseHandle(file);
    }
    ::BCryptCloseAlgorithmProvider(algorithm, 0);
    return failed;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_check FOLDER STATE_FILE ROUNDS\n");
        return 2;
    }
    const std::string folder = core::WideToUtf8(argv[1]);
    core::FileSystem& fs = core::RealFileSystem();
    const update::StateRead state = update::ParseState(fs.ReadFile(core::WideToUtf8(argv[2]), update::kMaxStateBytes));
    if (!state.ok) {
        std::fprintf(stderr, "state refused: %s\n", state.reason.c_str());
        return 1;
    }
    const int rounds = std::max(1, _wtoi(argv[3]));
    std::uint64_t files = 0, bytes = 0;
    for (const update::StateLine& line : state.value.lines) {
        if (line.kind != update::StateLineKind::File) continue;
        ++files;
        bytes += line.size;
    }
    std::vector<double> quick, full, bare;
    std::size_t differ = 0;
    for (int r = 0; r < rounds; ++r) {
        double t = Now();
        const update::CatchUpNeed q = update::QuickCheck(state.value, fs, folder);
        quick.push_back(Now() - t);
        t = Now();
        const update::CatchUpNeed f = update::FullCheck(state.value, fs, folder);
        full.push_back(Now() - t);
        t = Now();
        const int failed = BareLoop(state.value, folder);
        bare.push_back(Now() - t);
        differ = 0;
        for (const auto& [patch, lines] : f.files) differ += lines.size();
        if (!q.Empty() || failed != 0) {
            std::fprintf(stderr, "the folder does not match the state\n");
            return 1;
        }
    }
    const double mb = static_cast<double>(bytes) / 1e6;
    const double fullMbps = mb / Median(full), bareMbps = mb / Median(bare);
    std::printf("files=%llu bytes=%llu differ=%zu quick_ms=%.1f full_mbps=%.1f bare_mbps=%.1f ratio=%.3f\n",
                static_cast<unsigned long long>(files), static_cast<unsigned long long>(bytes), differ,
                *std::min_element(quick.begin(), quick.end()) * 1000.0, fullMbps, bareMbps, fullMbps / bareMbps);
    return 0;
}
