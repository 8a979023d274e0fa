#include "tools/parchear/folder_scan.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#include "core/runtime_error.h"
#include "tools/parchear/refusal.h"
#include "updater/unzip/entry_name.h"

namespace parchear {

namespace fs = std::filesystem;

fs::path PathOf(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

std::string Utf8Of(const fs::path& path) {
    const std::u8string u = path.generic_u8string();
    return std::string(u.begin(), u.end());
}

std::uint32_t DosTime(std::int64_t unixSeconds) {
    using namespace std::chrono;
    const sys_seconds sys{seconds{unixSeconds}};
    const auto day = floor<days>(sys);
    const year_month_day ymd{day};
    const hh_mm_ss<seconds> tod{sys - day};
    int y = static_cast<int>(ymd.year());
    if (y < 1980) return (1u << 5 | 1u) << 16;  // 1980-01-01 00:00
    if (y > 2107) y = 2107;
    const std::uint32_t date = static_cast<std::uint32_t>(y - 1980) << 9 | static_cast<unsigned>(ymd.month()) << 5 |
                               static_cast<unsigned>(ymd.day());
    const std::uint32_t time = static_cast<std::uint32_t>(tod.hours().count()) << 11 |
                               static_cast<std::uint32_t>(tod.minutes().count()) << 5 |
                               static_cast<std::uint32_t>(tod.seconds().count() / 2);
    return date << 16 | time;
}

namespace {

// More names than this in one folder is no game installation.
constexpr std::size_t kMaxNamesPerFolder = 1u << 20;

void ScanInto(core::FileSystem& fs, const std::string& root, const std::string& relative, Scan& scan) {
    using Kind = core::DirectoryEntry::Kind;
    for (const core::DirectoryEntry& e :
         fs.ListDirectory(relative.empty() ? root : root + "/" + relative, kMaxNamesPerFolder)) {
        Item item;
        item.path = relative.empty() ? e.name : relative + "/" + e.name;
        if (e.kind == Kind::Link) {
            scan.skipped.push_back(item.path + " (enlace simbólico)");
            continue;
        }
        if (e.kind == Kind::Other) {
            scan.skipped.push_back(item.path + " (no es un archivo normal)");
            continue;
        }
        item.folder = e.kind == Kind::Folder;
        item.size = item.folder ? 0 : e.size;
        item.dosTime = DosTime(e.modified);
        scan.items.push_back(item);
        if (item.folder) ScanInto(fs, root, item.path, scan);
    }
}

}  // namespace

Scan ScanFolder(core::FileSystem& fs, const std::string& root) {
    if (!fs.DirectoryExists(root)) throw Refusal("no existe la carpeta " + Quoted(root));
    Scan scan;
    try {
        ScanInto(fs, root, "", scan);
    } catch (const core::RuntimeError& e) {
        throw Refusal("no se puede leer la carpeta " + Quoted(root) + " (" + e.what() + ")");
    }
    std::sort(scan.items.begin(), scan.items.end(), [](const Item& a, const Item& b) { return a.path < b.path; });
    return scan;
}

bool IsInside(const std::string& path, const std::string& root) {
    std::error_code ec;
    const fs::path p = fs::weakly_canonical(fs::absolute(PathOf(path), ec), ec);
    const fs::path r = fs::weakly_canonical(fs::absolute(PathOf(root), ec), ec);
    // Windows compares names without regard to case.
    const auto same = [](const fs::path& a, const fs::path& b) {
#ifdef _WIN32
        return unzip::SameName(Utf8Of(a), Utf8Of(b));
#else
        return a == b;
#endif
    };
    auto pi = p.begin();
    for (auto ri = r.begin(); ri != r.end(); ++ri) {
        if (ri->empty()) continue;  // the element of a trailing separator
        if (pi == p.end() || !same(*pi, *ri)) return false;
        ++pi;
    }
    return true;
}

}  // namespace parchear
