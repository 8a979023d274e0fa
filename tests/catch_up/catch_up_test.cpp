// The signed state under Wine (the six patches of bench/download/make_chain.py): catch-up, a
// server without Range, kills, the empty folder, self-repair and /reparar, the unkeyed Updater.
// One Updater run per row; what the server sent is read from its request log.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <sstream>

#include "tests/crash/tree.h"
#include "tests/crash/updater_run.h"

namespace {

namespace fs = std::filesystem;
using crash::Tree;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

constexpr int kCount = 6;
constexpr int kUpToDate = kCount + 1;  // a row's `from`: the last version, as the run before left it
const std::string kFinal = " 6 \r\n";
const std::string kStray = "Partidas/mía.sav";

fs::path Data() { return fs::path("Z:" CATCH_UP_DATA_DIR); }
fs::path Served() { return harness::FromUnix("VANDREL_TEST_ROOT"); }
std::string VersionText(int v) {
    std::string text = " ";
    text += std::to_string(v);
    return text += " \r\n";
}
std::uint64_t ArchiveSize(int n) { return fs::file_size(Data() / "served/parches" / (std::to_string(n) + ".zip")); }

// The folder an older Updater leaves at version v (nothing deleted), or the state's last one.
Tree Installed(int v) {
    if (v == kUpToDate) return crash::LoadTree(Data() / "final");
    Tree t;
    for (int n = 1; n <= v; ++n) t = crash::Overlay(t, crash::LoadTree(Data() / "contents" / std::to_string(n)));
    return t;
}

// Every file but Updater's own, against want: "" when they agree.
std::string Differences(const fs::path& folder, const Tree& want) {
    Tree got = crash::LoadTree(folder);
    std::erase_if(got,
                  [](const auto& f) { return f.first == "Updater.exe" || f.first.starts_with("Recursos/OUTPUT/"); });
    std::string out;
    for (const auto& [path, blob] : want)
        out += !got.count(path) ? " missing " + path : *got[path] != *blob ? " other " + path : "";
    for (const auto& [path, blob] : got) out += want.count(path) ? "" : " unexpected " + path;
    return out;
}

// The request log's lines from `from` on: per archive the byte ranges sent (a request without
// Range is the whole archive) and their total; per archive and path, whether its entry was sent.
struct Fetched {
    std::map<int, std::vector<std::pair<std::uint64_t, std::uint64_t>>> ranges;  // [first, last]
    std::uint64_t bytes = 0;
    std::map<std::pair<int, std::string>, int> copies;
    int states = 0;  // requests for estado.txt
};
Fetched Requests(std::size_t from, std::size_t* count = nullptr) {
    std::istringstream log(testsupport::TryReadBytes(Served() / ".peticiones").value_or(""));
    Fetched f;
    std::size_t index = 0;
    for (std::string line; std::getline(log, line); ++index) {
        int n = 0;
        unsigned long long a = 0, b = ~0ull;
        if (index < from) continue;
        f.states += line.starts_with("/parches/estado.txt ");
        if (std::sscanf(line.c_str(), "/parches/%d.zip range=bytes=%llu-%llu", &n, &a, &b) < 1) continue;
        b = std::min<std::uint64_t>(b, ArchiveSize(n) - 1);
        f.ranges[n].push_back({a, b});
        f.bytes += b - a + 1;
    }
    if (count) *count = index;
    std::istringstream entries(ReadBytes(Data() / "entries.txt"));  // "<n> <start> <length> <path>"
    int n = 0;
    std::uint64_t start = 0, length = 0;
    for (std::string path; entries >> n >> start >> length && std::getline(entries >> std::ws, path);) {
        const auto& r = f.ranges.count(n) ? f.ranges.at(n) : decltype(f.ranges)::mapped_type{};
        f.copies[{n, path}] =
            std::any_of(r.begin(), r.end(), [&](auto x) { return x.first <= start && start + length <= x.second + 1; });
    }
    return f;
}

// The server's folder as published, every archive served with fault (none when empty).
void Publish(const std::string& fault) {
    fs::remove_all(Served() / "parches");
    fs::copy(Data() / "served/parches", Served() / "parches", fs::copy_options::recursive);
    for (int n = 1; n <= kCount && !fault.empty(); ++n)
        WriteBytes(Served() / "parches" / (std::to_string(n) + ".zip.fault"), fault);
}

struct Case {
    std::string name;
    int from = 0;
    std::function<void(const harness::UpdaterFolder&)> prepare;  // after version from's files are in place
    std::string arguments, fault;
    bool keyed = true;
    Tree want;          // the folder after the run
    std::string shown;  // a console line the run shows
};
class CatchUp : public ::testing::TestWithParam<Case> {};

TEST_P(CatchUp, EndsWithTheStatesFiles) {
    const Case& c = GetParam();
    Publish(c.fault);
    crash::KillableUpdater inst("catchup-" + c.name, kFinal);
    if (!c.keyed) fs::copy_file(UPDATER_PLAIN_EXE, inst.Path("Updater.exe"), fs::copy_options::overwrite_existing);
    crash::Materialize(Installed(c.from), inst.Folder());
    inst.Version(VersionText(std::min(c.from, kCount)));
    if (c.from == kUpToDate) fs::create_directories(inst.Path("Partidas"));
    if (c.prepare) c.prepare(inst);
    std::size_t logged = 0;
    Requests(0, &logged);

    ASSERT_TRUE(inst.Start({}, c.arguments)) << c.name;
    const harness::RunEnd end = inst.WaitForEnd(60000, [&] {
        const auto box = inst.WaitForBox(0);
        return box ? "a box: " + box->text : std::string();
    });
    inst.Exit();
    ASSERT_EQ(end.failure, "") << c.name;
    EXPECT_EQ(end.lines.back(), harness::kDone) << c.name;
    if (!c.shown.empty()) {
        EXPECT_EQ(std::count(end.lines.begin(), end.lines.end(), c.shown), 1) << c.name << ": " << end.lines[1];
    }
    EXPECT_EQ(inst.Version(), kFinal) << c.name;
    EXPECT_EQ(Differences(inst.Folder(), c.want), "") << c.name;
    const Fetched f = Requests(logged);
    EXPECT_EQ(f.states, c.keyed ? 1 : 0) << c.name;  // none kept yet: fetched once
    if (!c.keyed) return;
    EXPECT_TRUE(fs::is_directory(inst.Path("Partidas"))) << c.name << ": the state's folder";
    if (!c.fault.empty() || c.from == kUpToDate) return;

    // Each file newer than the installed version came from its newest archive, the large one
    // rewritten by every patch from there alone; archives with nothing needed are not asked for;
    // the others cost their end records and needed entries (with their headers), the last its size.
    std::uint64_t budget = 0;
    for (const auto& [path, blob] : Installed(kUpToDate)) {
        int newest = kCount;
        while (!fs::exists(Data() / "contents" / std::to_string(newest) / testsupport::U8Path(path))) --newest;
        EXPECT_EQ(f.copies.at({newest, path}), newest > c.from ? 1 : 0) << c.name << ": " << path;
        budget += newest > c.from && newest < kCount ? blob->size() + 2048 : 0;
    }
    for (int n = 1; n < kCount; ++n) EXPECT_EQ(f.copies.at({n, "Datos/grande.bin"}), 0) << c.name << ": " << n;
    for (const auto& [n, ranges] : f.ranges) budget += n == kCount ? ArchiveSize(n) : 22 + 0xFFFF;
    EXPECT_LE(f.bytes, budget) << c.name;
    EXPECT_EQ(f.ranges.count(2), 0u) << c.name << ": 2.zip holds only superseded and deleted files";
}

const std::string kNoKeys =
    "Este Updater no puede reparar los archivos: la reparación necesita una publicación "
    "firmada. Se buscarán actualizaciones como siempre.";
const auto kStrayFile = [](const harness::UpdaterFolder& i) { WriteBytes(i.Path(kStray), "mía"); };
const Tree kWithStray = [] {
    Tree t = Installed(kUpToDate);
    t[kStray] = std::make_shared<const std::string>("mía");
    return t;
}();
INSTANTIATE_TEST_SUITE_P(
    Runs, CatchUp,
    ::testing::Values(
        // (a) five patches behind: superseded files skipped, deleted ones gone, the player's stays.
        Case{"behind", 1, kStrayFile, "", "", true, kWithStray, ""},
        // (b) a server that answers every Range with the whole archive: the same installation.
        Case{"noRange", 1, kStrayFile, "", "no-range", true, kWithStray, ""},
        // (d) only Updater.exe and Update.ini at 0.
        Case{"empty", 0, {}, "", "", true, Installed(kUpToDate), ""},
        // (e) at start: a deleted file, a truncated one, and a deleted one back.
        Case{"heal", kUpToDate,
             [](const auto& i) {
                 fs::remove(i.Path("Vandrel.exe"));
                 WriteBytes(i.Path("Datos/seis.txt"), "corto");
                 WriteBytes(i.Path("Datos/viejo.txt"), "viejo\r\n");
             },
             "", "", true, Installed(kUpToDate), "Reparando 3 archivos..."},
        // (e) /reparar: same size, another content.
        Case{"reparar", kUpToDate,
             [](const auto& i) {
                 std::string c = ReadBytes(i.Path("Datos/uno.txt"));
                 c[0] ^= 1;
                 WriteBytes(i.Path("Datos/uno.txt"), c);
             },
             "/REPARAR", "", true, Installed(kUpToDate), "Comprobando los archivos del juego..."},
        // (f) an Updater without keys: as before, the state never asked for, nothing deleted.
        Case{"unkeyed", 1, {}, "/reparar", "", false, Installed(kCount), kNoKeys}),
    [](const auto& row) { return row.param.name; });

// (c) Killed once a patch is staged, then once the first file is in place: each time the version
// is 1 or 6 and every file holds its old or its final content; staged files are not fetched again.
TEST(CatchUpKilled, StagingAndApplyingCutShort) {
    Publish("");
    crash::KillableUpdater inst("catchup-killed", kFinal);
    const Tree before = Installed(1), after = Installed(kUpToDate);
    crash::Materialize(before, inst.Folder());
    inst.Version(VersionText(1));
    const auto check = [&](const std::string& when) {
        const std::string v = inst.VersionText();
        EXPECT_TRUE(v == VersionText(1) || v == kFinal) << when << ": Update.ini " << v;
        for (const auto& [path, blob] : crash::LoadTree(inst.Folder())) {
            const auto old = before.find(path), now = after.find(path);
            if (old != before.end() || now != after.end()) {
                EXPECT_TRUE((old != before.end() && *old->second == *blob) ||
                            (now != after.end() && *now->second == *blob))
                    << when << ": " << path << " holds neither its old nor its final content";
            }
        }
        if (v == kFinal) {
            EXPECT_EQ(Differences(inst.Folder(), after), "") << when;
        }
    };
    const std::string record = "Recursos/OUTPUT/Estado.parcial/registro.txt";
    ASSERT_EQ(inst.RunAndKill({"a patch staged", crash::KillPoint::When::Written, record, 0, 0, false}).failure, "");
    check("killed while staging");
    std::vector<std::string> staged;  // "<number> <size> <sha256> <path>" after the header
    for (const std::string& line : harness::Lines(testsupport::TryReadBytes(inst.Path(record)).value_or(""))) {
        std::istringstream in(line);
        std::string number, size, hash, path;
        if (in >> number >> size >> hash && std::getline(in >> std::ws, path) && number != "parcial-vandrel")
            staged.push_back(path);
    }
    EXPECT_FALSE(staged.empty()) << "no file was staged before the kill";

    std::size_t logged = 0;
    Requests(0, &logged);
    ASSERT_EQ(
        inst.RunAndKill({"first file in place", crash::KillPoint::When::Written, "Datos/tres.txt", 0, 0, true}).failure,
        "");
    check("killed while applying");
    const Fetched again = Requests(logged);
    for (const auto& [entry, sent] : again.copies) {
        EXPECT_FALSE(sent && std::count(staged.begin(), staged.end(), entry.second))
            << entry.second << " fetched again";
    }

    const auto lines = inst.RunToEnd();
    EXPECT_EQ(lines.back(), harness::kDone);
    check("after the last run");
    EXPECT_EQ(inst.VersionText(), kFinal);
    EXPECT_FALSE(fs::exists(inst.Path("Recursos/OUTPUT/Estado.parcial")));
}

}  // namespace
