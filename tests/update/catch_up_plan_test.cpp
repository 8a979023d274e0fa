#include "updater/update/catch_up_plan.h"

#include <gtest/gtest.h>

#include <set>

#include "tests/support/memory_fs.h"
#include "tests/unzip/zip_builder.h"

namespace {

const std::string kHash(64, 'e');

// The state every case starts from: three patches, one file superseded in 1.zip by 2.zip.
update::InstallState State() {
    std::string body = "estado-vandrel 1\r\nserie 7\r\nversion 3\r\n";
    for (const char* line : {"archivo 1 100 a.txt", "archivo 1 50 big/b.bin", "archivo 2 1000 c.txt",
                             "archivo 3 5 d.txt", "borrado 2 old.txt", "carpeta 2 save", "archivo 1 7 z.txt"}) {
        std::string l = line;
        if (l.starts_with("archivo")) l.insert(l.rfind(' '), " " + kHash);
        body += l + "\r\n";
    }
    body += "firma " + std::string(16, '0') + " " + std::string(86, 'A') + "==\r\n";
    const update::StateRead read = update::ParseState(body);
    EXPECT_TRUE(read.ok) << read.reason;
    return read.value;
}

struct Zip {
    std::uint64_t size = 0;
    unzip::Directory dir;
};

struct E {
    std::string name;  // a folder ends in '/'
    std::uint64_t at, compressed, size;
};

Zip MakeZip(std::uint64_t size, std::uint64_t directoryOffset, const std::vector<E>& entries) {
    Zip z{size, {}};
    z.dir.directoryOffset = directoryOffset;
    for (const E& e : entries) {
        unzip::Entry entry;
        entry.headerOffset = e.at;
        entry.compressedSize = e.compressed;
        entry.size = e.size;
        entry.folder = e.name.ends_with('/');
        entry.rawNameLength = static_cast<std::uint16_t>(e.name.size());
        entry.nameOffset = static_cast<std::uint32_t>(z.dir.names.size());
        entry.nameLength = static_cast<std::uint32_t>(e.name.size() - (entry.folder ? 1 : 0));
        z.dir.names += e.name.substr(0, entry.nameLength);
        z.dir.entries.push_back(entry);
    }
    return z;
}

// Which patches, which entries and which requests: "n:whole*" for an archive fetched whole
// without its directory, "n:whole(entries)", "n:entries@offset+length,...", "n:damaged".
std::string Describe(const update::InstallState& state, std::int16_t installed, const update::CatchUpNeed& need,
                     const std::map<int, Zip>& zips) {
    std::string out;
    const auto join = [](const std::vector<std::string>& items) {
        std::string s;
        for (const std::string& i : items) {
            if (!s.empty()) s += ',';
            s += i;
        }
        return s;
    };
    for (const auto& [n, files] : need.files) {
        out += ' ';
        out += std::to_string(n);
        out += ':';
        if (update::WholeWithoutDirectory(state, installed, n)) {
            out += "whole*";
            continue;
        }
        const Zip& z = zips.at(n);
        const auto fetch = update::PlanPatchFetch(files, z.dir, z.size);
        std::vector<std::string> names, ranges;
        for (const std::size_t i : fetch.value.entries) names.emplace_back(z.dir.Name(z.dir.entries[i]));
        for (const auto& r : fetch.value.requests)
            ranges.push_back(std::to_string(r.offset) + "+" + std::to_string(r.length));
        if (!fetch.ok) {
            out += "damaged";
        } else if (fetch.value.whole) {
            out += "whole(";
            out += join(names);
            out += ')';
        } else {
            out += join(names);
            out += '@';
            out += join(ranges);
        }
    }
    if (!need.folders.empty()) out += " mk:" + join(need.folders);
    if (!need.deletions.empty()) out += " rm:" + join(need.deletions);
    return out.empty() ? out : out.substr(1);
}

std::map<int, Zip> Zips(std::uint64_t zAt, std::uint64_t zip2Size, const char* cName, std::uint64_t cSize) {
    return {{1, MakeZip(400000, 399000,
                        {{"a.txt", 0, 60, 100},
                         {"c.txt", 100, 150000, 150000},
                         {"big/b.bin", 150200, 40, 50},
                         {"z.txt", zAt, 7, 7}})},
            {2, MakeZip(zip2Size, 1200, {{cName, 0, 1000, cSize}, {"save/", 1100, 0, 0}})}};
}

TEST(CatchUpPlan, PatchesEntriesAndRequests) {
    struct Case {
        const char* what;
        std::int16_t installed;
        std::set<std::string> present;
        std::string expected;
        std::uint64_t zip2Size = 2001;
        std::uint64_t zAt = 200000;
        const char* cName = "c.txt";
        std::uint64_t cSize = 1000;
    };
    const Case cases[] = {
        {"up to date", 3, {"a.txt"}, ""},
        {"up to date, a deleted file is back", 3, {"old.txt"}, "rm:old.txt"},
        {"one behind: the newest archive whole", 2, {}, "3:whole*"},
        {"two behind: an entry by range up to the next header",
         1,
         {"old.txt"},
         "2:c.txt@0+1100 3:whole* mk:save rm:old.txt"},
        {"half the archive needed: whole", 1, {}, "2:whole(c.txt) 3:whole* mk:save", 2000},
        {"from an empty folder, neighbours merged",
         0,
         {},
         "1:a.txt,big/b.bin,z.txt@0+100,150200+50890 2:c.txt@0+1100 3:whole* mk:save"},
        {"a gap just under 64 KiB is read through",
         0,
         {},
         "1:a.txt,big/b.bin,z.txt@0+100,150200+67752 2:c.txt@0+1100 3:whole* mk:save",
         2001,
         216862},
        {"a gap of 64 KiB opens another request",
         0,
         {},
         "1:a.txt,big/b.bin,z.txt@0+100,150200+1127,216863+1090 2:c.txt@0+1100 3:whole* mk:save",
         2001,
         216863},
        {"an entry of another size: damaged", 1, {}, "2:damaged 3:whole* mk:save", 2001, 200000, "c.txt", 999},
        {"an entry missing: damaged", 1, {}, "2:damaged 3:whole* mk:save", 2001, 200000, "C.txt"},
    };
    const update::InstallState state = State();
    for (const Case& c : cases) {
        const auto need =
            update::NeededSince(state, c.installed, [&](const std::string& p) { return c.present.count(p) > 0; });
        EXPECT_EQ(Describe(state, c.installed, need, Zips(c.zAt, c.zip2Size, c.cName, c.cSize)), c.expected) << c.what;
    }
}

TEST(CatchUpPlan, QuickCheckFindsWhatDiffersByNameAndSize) {
    testsupport::MemoryFileSystem fs;
    for (const auto& [name, size] : std::map<std::string, std::size_t>{
             {"a.txt", 100}, {"big/b.bin", 49}, {"c.txt", 1000}, {"d.txt", 5}, {"old.txt", 0}, {"extra.txt", 3}}) {
        fs.files["C:/Juego/" + name] = std::make_shared<std::string>(size, 'x');
    }
    fs.folders = {"C:/Juego", "C:/Juego/big", "C:/Juego/z.txt"};  // a folder where a file should be
    const update::InstallState state = State();
    const update::CatchUpNeed need = update::QuickCheck(state, fs, "C:\\Juego");
    EXPECT_EQ(Describe(state, 3, need, Zips(200000, 2001, "c.txt", 1000)),
              "1:big/b.bin,z.txt@150200+50890 mk:save rm:old.txt");
    EXPECT_TRUE(fs.changed.empty());
}

// A real archive read as a catch-up reads it: its end, the rest of its directory, then the
// planned ranges, which hold the needed entries from their local header to the next entry.
TEST(CatchUpPlan, RangesOfARealArchiveHoldTheNeededEntries) {
    std::string noise;  // incompressible
    for (std::uint32_t x = 1; noise.size() < 200000;) noise += static_cast<char>((x = x * 1103515245 + 12345) >> 24);
    ziptest::ZipBuilder b;
    b.File("a.bin", noise.substr(0, 100000)).File("b.txt", "bee");
    ziptest::EntryPlan e = ziptest::Plan("e.txt", "eee");
    e.descriptor = true;
    e.localExtra = std::string("\xFE\xCA\x24\x00", 4) + std::string(36, 'x');  // only in the local header
    b.Add(e).File("f.bin", noise.substr(100000));
    for (int i = 0; i < 60; ++i) b.File("n/" + std::to_string(i) + ".txt", "n");
    b.comment = std::string(65000, 'c');  // pushes the directory out of the first request
    const std::string bytes = b.Build().bytes;

    update::ArchiveSuffix suffix(bytes.size());
    const update::ByteRange tail = update::EndRecordsRange(bytes.size());
    suffix.Prepend(std::string_view(bytes).substr(tail.offset, tail.length));
    const unzip::DirectoryPlace place = unzip::LocateCentralDirectory(suffix);
    ASSERT_TRUE(place.result.ok) << place.result.reason;
    const update::ByteRange rest = suffix.Missing(place.offset);
    ASSERT_GT(rest.length, 0u);
    EXPECT_FALSE(unzip::ReadCentralDirectory(suffix, unzip::Cp437Decoder(), {}).result.ok);
    suffix.Prepend(std::string_view(bytes).substr(rest.offset, rest.length));
    const unzip::DirectoryRead cd = unzip::ReadCentralDirectory(suffix, unzip::Cp437Decoder(), {});
    ASSERT_TRUE(cd.result.ok) << cd.result.reason;

    update::ArchiveSuffix whole(bytes.size());
    whole.Prepend(bytes);
    const unzip::DirectoryRead full = unzip::ReadArchiveDirectory(whole, unzip::Cp437Decoder(), {});
    ASSERT_TRUE(full.result.ok) << full.result.reason;
    ASSERT_EQ(cd.dir.names, full.dir.names);
    ASSERT_EQ(cd.dir.directoryOffset, full.dir.directoryOffset);

    const auto F = [](const char* path, std::uint64_t size) {
        return update::StateLine{update::StateLineKind::File, 1, size, kHash, path};
    };
    const auto fetch = update::PlanPatchFetch({F("b.txt", 3), F("e.txt", 3), F("n/7.txt", 1)}, cd.dir, bytes.size());
    ASSERT_TRUE(fetch.ok) << fetch.reason;
    ASSERT_FALSE(fetch.value.whole);
    ASSERT_EQ(fetch.value.requests.size(), 2u);  // b and e lie 100 KB apart from n/7
    const auto& entries = full.dir.entries;
    for (const std::size_t i : fetch.value.entries) {
        const std::uint64_t end = i + 1 < entries.size() ? entries[i + 1].headerOffset : full.dir.directoryOffset;
        EXPECT_TRUE(std::any_of(fetch.value.requests.begin(), fetch.value.requests.end(), [&](const auto& r) {
            return r.offset <= entries[i].headerOffset && end <= r.offset + r.length;
        })) << full.dir.Name(entries[i]);
    }
    const auto& r = fetch.value.requests;
    EXPECT_LT(r[0].length + r[1].length, 300u);  // no more than the three entries and what lies between
}

}  // namespace
