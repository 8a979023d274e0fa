#include "tools/parchear/folder_scan.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#include "tools/parchear/refusal.h"
#include "updater/unzip/entry_name.h"

namespace parchear {

namespace fs = std::filesystem;

fs::path PathOf(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

std::string Utf8Of(const fs::path& path) {
    const std::u8string u = path.generic_u8string();
    return std::string(u.begin(), u.end());
}

std::uint32_t DosTime(fs::file_time_type when) {
    using namespace std::chrono;
    const auto sys = floor<seconds>(file_clock::to_sys(when));
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

Scan ScanFolder(const std::string& root) {
    const fs::path base = PathOf(root);
    std::error_code ec;
    if (!fs::is_directory(base, ec)) throw Refusal("no existe la carpeta " + Quoted(root));
    Scan scan;
    fs::recursive_directory_iterator it(base, fs::directory_options::none, ec);
    if (ec) throw Refusal("no se puede leer la carpeta " + Quoted(root) + " (" + ec.message() + ")");
    for (const fs::recursive_directory_iterator end; it != end; it.increment(ec)) {
        if (ec) break;
        const fs::directory_entry& entry = *it;
        Item item;
        item.path = Utf8Of(entry.path().lexically_relative(base));
        const fs::file_status status = entry.symlink_status(ec);
        if (ec) break;
        if (fs::is_symlink(status)) {
            scan.skipped.push_back(item.path + " (enlace simbólico)");
            continue;
        }
        if (fs::is_directory(status)) {
            item.folder = true;
        } else if (fs::is_regular_file(status)) {
            item.size = entry.file_size(ec);
            if (ec) break;
        } else {
            scan.skipped.push_back(item.path + " (no es un archivo normal)");
            continue;
        }
        const auto when = entry.last_write_time(ec);
        if (ec) break;
        item.dosTime = DosTime(when);
        scan.items.push_back(std::move(item));
    }
    if (ec) throw Refusal("no se puede leer la carpeta " + Quoted(root) + " (" + ec.message() + ")");
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
        return unzip::FoldCase(Utf8Of(a)) == unzip::FoldCase(Utf8Of(b));
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
