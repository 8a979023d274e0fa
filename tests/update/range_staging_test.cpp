#include "updater/update/range_staging.h"

#include <gtest/gtest.h>

#include "core/crypto.h"
#include "fakes.h"
#include "tests/support/memory_fs.h"
#include "tests/unzip/zip_builder.h"
#include "updater/unzip/name_decoder.h"

namespace {

const std::string kUrl = "https://localhost:8443/parches/3.zip";
const std::string kRoot = "C:\\Juego";

std::string Text(std::size_t size, char seed) {
    std::string s;
    for (std::size_t i = 0; i < size; ++i) s += static_cast<char>(seed + (i * 7 + i / 13) % 23);
    return s;
}

update::StateLine Line(const std::string& path, const std::string& content) {
    return {update::StateLineKind::File, 3, content.size(), core::crypto::HexOf(core::crypto::Sha256Of(content)), path};
}

// A patch archive with a large entry nobody needs, so that what is needed goes by ranges, and a
// server that answers each part request from it (or 200 to all).
struct Patch {
    std::string bytes;
    unzip::Directory dir;
    bool servesRanges = true;
    std::uint64_t received = 0;  // as the progress last said

    explicit Patch(const std::vector<ziptest::EntryPlan>& needed) {
        ziptest::ZipBuilder b;
        for (const ziptest::EntryPlan& e : needed) b.Add(e);
        b.File("relleno.bin", Text(200000, '!'), 0);
        bytes = b.Build().bytes;
        update::ArchiveSuffix all(bytes.size());
        all.Prepend(bytes);
        const unzip::DirectoryRead read = unzip::ReadCentralDirectory(all, unzip::Cp437Decoder(), {});
        EXPECT_TRUE(read.result.ok) << read.result.reason;
        dir = read.dir;
    }

    void Serve(fakes::Http& http) const {
        http.servers[kUrl] = [this, &http](const update::RangeRequest&) {
            if (!servesRanges) return fakes::Body(bytes);
            const auto [first, last] = http.parts.back();
            fakes::Script s = fakes::Body(bytes.substr(first, last - first + 1));
            s.status = 206;
            s.headers[update::Header::ContentRange] =
                "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" + std::to_string(bytes.size());
            return s;
        };
    }

    update::RangesResult Stage(fakes::Http& http, core::FileSystem& fs, update::Staging& staging,
                               const std::vector<update::StateLine>& lines,
                               const std::vector<update::StateLine>& asked) {
        const auto plan = update::PlanPatchFetch(lines, dir, bytes.size());
        EXPECT_TRUE(plan.ok && !plan.value.whole) << plan.reason;
        Serve(http);
        return update::StageByRanges(http, fs, staging, kUrl, bytes.size(), dir, plan.value, asked,
                                     [this](std::uint64_t n) { received = n; });
    }
};

TEST(RangeStaging, StagesOnlyWhatMatchesTheDirectoryAndTheState) {
    const std::string a = Text(5000, 'a'), b = Text(300, 'b');
    const auto withLocal = [](ziptest::EntryPlan e, auto bend) {
        bend(e);
        return e;
    };
    struct Case {
        const char* name;
        std::vector<ziptest::EntryPlan> entries;
        std::vector<update::StateLine> lines;  // as the state says; the plan is made from the true ones
        bool servesRanges;
        update::RangesFault fault;  // Whole with ok: staged
        bool ok;
        std::size_t parts;  // requests made
    };
    using F = update::RangesFault;
    update::StateLine wrongHash = Line("a.txt", a);
    wrongHash.sha256 = Line("a.txt", b).sha256;
    update::StateLine wrongSize = Line("a.txt", a);
    wrongSize.size = 4999;
    ziptest::EntryPlan longExtra = ziptest::Plan("a.txt", a);
    longExtra.localExtra = std::string(4, '\0') + std::string(3000, 'x');
    longExtra.localExtra[0] = 0x34;
    longExtra.localExtra[2] = static_cast<char>(3000 & 0xFF);
    longExtra.localExtra[3] = static_cast<char>(3000 >> 8);
    const std::vector<Case> cases = {
        {"deflated", {ziptest::Plan("a.txt", a)}, {Line("a.txt", a)}, true, F::Whole, true, 1},
        {"stored", {ziptest::Plan("dir/b.bin", b, 0)}, {Line("dir/b.bin", b)}, true, F::Whole, true, 1},
        {"two neighbours, one request",
         {ziptest::Plan("a.txt", a), ziptest::Plan("b.txt", b)},
         {Line("a.txt", a), Line("b.txt", b)},
         true,
         F::Whole,
         true,
         1},
        {"local extra field past the request", {longExtra}, {Line("a.txt", a)}, true, F::Whole, true, 2},
        {"long local extra field within the request",
         {longExtra, ziptest::Plan("b.txt", b)},
         {Line("a.txt", a), Line("b.txt", b)},
         true,
         F::Whole,
         true,
         1},
        {"wrong SHA-256", {ziptest::Plan("a.txt", a)}, {wrongHash}, true, F::Damaged, false, 1},
        {"wrong size", {ziptest::Plan("a.txt", a)}, {wrongSize}, true, F::Damaged, false, 1},
        {"local name differs",
         {withLocal(ziptest::Plan("a.txt", a), [](auto& e) { e.localName = "x.txt"; })},
         {Line("a.txt", a)},
         true,
         F::Damaged,
         false,
         1},
        {"local method differs",
         {withLocal(ziptest::Plan("a.txt", a), [](auto& e) { e.localMethod = 0; })},
         {Line("a.txt", a)},
         true,
         F::Damaged,
         false,
         1},
        {"data differs from its CRC",
         {withLocal(ziptest::Plan("a.txt", a), [](auto& e) { e.crc = 1234; })},
         {Line("a.txt", a)},
         true,
         F::Damaged,
         false,
         1},
        {"server without ranges", {ziptest::Plan("a.txt", a)}, {Line("a.txt", a)}, false, F::Whole, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::MemoryFileSystem fs;
        fs.folders.insert("C:/Juego/Recursos/OUTPUT");
        fakes::Http http;
        Patch patch(c.entries);
        patch.servesRanges = c.servesRanges;
        std::vector<update::StateLine> truth;
        for (const update::StateLine& l : c.lines) truth.push_back(Line(l.path, l.path == "a.txt" ? a : b));
        update::Staging staging(fs, kRoot);
        const update::RangesResult got = patch.Stage(http, fs, staging, truth, c.lines);
        EXPECT_EQ(got.ok, c.ok) << got.reason;
        if (!got.ok) {
            EXPECT_EQ(got.code, c.fault);
        }
        EXPECT_EQ(http.parts.size(), c.parts);
        std::uint64_t asked = 0;
        for (const auto& [first, last] : http.parts) asked += last - first + 1;
        if (c.ok) {
            EXPECT_EQ(patch.received, asked);  // the progress counts the whole patch
        }
        // Only files that passed are staged, each holding its content; the piece file is gone.
        EXPECT_EQ(staging.Files().size(), c.ok ? c.lines.size() : 0u);
        std::size_t datFiles = 0;
        for (const auto& [path, content] : fs.files) datFiles += path.ends_with(".dat") || path.ends_with(".parte");
        EXPECT_EQ(datFiles, staging.Files().size());
        for (const auto& [path, f] : staging.Files()) {
            EXPECT_EQ(fs.ReadFile(staging.PathOf(f), 1 << 20), f.path == "a.txt" ? a : b);
        }
    }
}

TEST(RangeStaging, NextStartTrustsOnlyStagedFilesStillIntact) {
    const std::string a = Text(5000, 'a'), b = Text(300, 'b');
    const std::vector<update::StateLine> lines = {Line("a.txt", a), Line("b.txt", b)};
    testsupport::MemoryFileSystem fs;
    fs.folders.insert("C:/Juego/Recursos/OUTPUT");
    Patch patch({ziptest::Plan("a.txt", a), ziptest::Plan("b.txt", b)});
    {
        fakes::Http http;
        update::Staging staging(fs, kRoot);
        ASSERT_TRUE(patch.Stage(http, fs, staging, lines, lines).ok);
    }
    ASSERT_TRUE(fs.FileExists(update::StagingFolder(kRoot) + "\\registro.txt"));

    // The next start: b.txt's staged file was altered since, a.txt's is intact.
    update::Staging next(fs, kRoot);
    ASSERT_EQ(next.Files().size(), 2u);
    fs.files.at(testsupport::MemoryFileSystem::Key(next.PathOf(next.Files().at("b.txt"))))->at(7) ^= 1;
    EXPECT_TRUE(next.Trusted(lines[0]).has_value());
    EXPECT_FALSE(next.Trusted(lines[1]).has_value());
    update::StateLine otherContent = lines[0];
    otherContent.sha256 = lines[1].sha256;
    EXPECT_FALSE(next.Trusted(otherContent).has_value());
    ASSERT_EQ(next.Files().size(), 1u);  // the altered one is forgotten and removed

    // Only b.txt is fetched again.
    fakes::Http http;
    ASSERT_TRUE(patch.Stage(http, fs, next, {lines[1]}, {lines[1]}).ok);
    EXPECT_EQ(http.parts.size(), 1u);
    EXPECT_EQ(next.Files().size(), 2u);
    EXPECT_TRUE(update::Staging(fs, kRoot).Trusted(lines[1]).has_value());

    // A record that is not one stages nothing; clearing leaves no trace.
    fs.files[testsupport::MemoryFileSystem::Key(update::StagingFolder(kRoot) + "\\registro.txt")] =
        std::make_shared<std::string>("parcial-vandrel 1\r\n1 12 zz a.txt\r\n");
    EXPECT_TRUE(update::Staging(fs, kRoot).Files().empty());
    next.Clear();
    for (const auto& [path, content] : fs.files) EXPECT_FALSE(path.find("Estado.parcial") != std::string::npos) << path;
    EXPECT_FALSE(fs.DirectoryExists(update::StagingFolder(kRoot)));
}

}  // namespace
