// Retries and resumption of a patch download against scripted servers: what each fault
// costs in requests and waits, what the player is told, and that the archive is always
// exactly the served file, never pieces of two versions.
#include <gtest/gtest.h>

#include <functional>

#include "fakes.h"
#include "updater/update/dir_image.h"
#include "updater/update/download.h"
#include "updater/update/mod_unzip.h"
#include "updater/update/resume_headers.h"
#include "updater/update/resume_record.h"

namespace {

using update::Header;
using update::RangeRequest;
using update::ReadStatus;

const std::string kEtag = "\"v1\"";

std::string Archive(std::size_t size, unsigned seed = 1) {
    std::string s(size, '\0');
    for (auto& c : s) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return s;
}

// A static host: the whole file with 200, or with a fitting If-Range the rest of it with 206.
fakes::Script Host(const std::string& body, const RangeRequest& r, const std::string& etag = kEtag,
                   bool honourRange = true) {
    fakes::Script s;
    if (!etag.empty()) s.headers[Header::ETag] = etag;
    std::size_t from = 0;
    if (r.from > 0 && honourRange && r.ifRange == etag) {
        from = static_cast<std::size_t>(r.from);
        s.status = 206;
        s.headers[Header::ContentRange] =
            "bytes " + std::to_string(from) + "-" + std::to_string(body.size() - 1) + "/" + std::to_string(body.size());
    }
    const fakes::Script whole = fakes::Body(body.substr(from), 1024);
    s.contentLength = whole.contentLength;
    s.chunks = whole.chunks;
    return s;
}

// The response cut after `keep` bytes of its body, the connection then lost.
fakes::Script Cut(fakes::Script s, std::size_t keep) {
    std::string body;
    for (const auto& c : s.chunks) body += c;
    s.chunks = fakes::Body(body.substr(0, std::min(keep, body.size())), 1024).chunks;
    s.ending = ReadStatus::Failed;
    return s;
}

fakes::Script Status(int status, const char* retryAfter = nullptr) {
    fakes::Script s = fakes::Body("ocupado");
    s.status = status;
    if (retryAfter) s.headers[Header::RetryAfter] = retryAfter;
    return s;
}

// Request n (from 0) of a download, answered by the row.
using Server = std::function<fakes::Script(int n, const RangeRequest&)>;

struct Outcome {
    update::DownloadResult result;
    std::string file;
};

Outcome Fetch(fakes::FakePlatform& inst, const Server& server, std::optional<std::int64_t> listed = std::nullopt) {
    int n = 0;
    inst.http.servers["u"] = [&](const RangeRequest& r) { return server(n++, r); };
    update::DownloadServices services = inst.Services();
    Outcome o{update::DownloadPatch(services, "u", inst.root + "\\6.zip", listed), {}};
    if (inst.Exists("6.zip")) o.file = inst.ReadFile("6.zip");
    return o;
}

const std::string kBody = Archive(10000);

TEST(DownloadRetry, FaultsWithinOneRun) {
    const struct {
        const char* name;
        Server server;
        bool ok;
        std::vector<std::uint64_t> froms;  // the Range start of every request (0: none)
        unsigned waitedMs;
        const char* lastRetry;  // the last retry line, when there is one
    } cases[] = {
        {"dropped once, continued",
         [](int n, const RangeRequest& r) { return n == 0 ? Cut(Host(kBody, r), 3000) : Host(kBody, r); },
         true,
         {0, 3000},
         1000,
         "La conexión se cortó durante la descarga; la descarga continuará donde quedó en 1 s (intento 1 de 5)."},
        {"dropped twice, continued twice",
         [](int n, const RangeRequest& r) { return n < 2 ? Cut(Host(kBody, r), 3000) : Host(kBody, r); },
         true,
         {0, 3000, 6000},
         2000,
         nullptr},
        {"Range ignored: whole again",
         [](int n, const RangeRequest& r) { return n == 0 ? Cut(Host(kBody, r), 3000) : Host(kBody, r, kEtag, false); },
         true,
         {0, 3000},
         1000,
         nullptr},
        {"503 twice, then the archive",
         [](int n, const RangeRequest& r) { return n < 2 ? Status(503) : Host(kBody, r); },
         true,
         {0, 0, 0},
         3000,
         "El servidor respondió 503; se volverá a intentar en 2 s (intento 3 de 5)."},
        {"429 with Retry-After 5",
         [](int n, const RangeRequest& r) { return n == 0 ? Status(429, "5") : Host(kBody, r); },
         true,
         {0, 0},
         5000,
         nullptr},
        {"Retry-After beyond 30 s waits 30",
         [](int n, const RangeRequest& r) { return n == 0 ? Status(503, "3600") : Host(kBody, r); },
         true,
         {0, 0},
         30000,
         nullptr},
        {"408, 500, 502, 504 are retried",
         [](int n, const RangeRequest& r) {
             const int codes[] = {408, 500, 502, 504};
             return n < 4 ? Status(codes[n]) : Host(kBody, r);
         },
         true,
         {0, 0, 0, 0, 0},
         15000,
         nullptr},
        {"416 starts over",
         [](int n, const RangeRequest& r) {
             return n == 0 ? Cut(Host(kBody, r), 3000) : n == 1 ? Status(416) : Host(kBody, r);
         },
         true,
         {0, 3000, 0},
         2000,
         nullptr},
        {"a part from elsewhere starts over",
         [](int n, const RangeRequest& r) {
             if (n != 1) return n == 0 ? Cut(Host(kBody, r), 3000) : Host(kBody, r);
             fakes::Script s = Host(kBody, RangeRequest{2000, kEtag});
             return s;
         },
         true,
         {0, 3000, 0},
         2000,
         nullptr},
        {"a part of another size starts over",
         [](int n, const RangeRequest& r) {
             fakes::Script s = Host(kBody, r);
             if (n == 1) s.headers[Header::ContentRange] = "bytes 3000-9999/20000";
             return n == 0 ? Cut(s, 3000) : s;
         },
         true,
         {0, 3000, 0},
         2000,
         nullptr},
        {"weak ETag: never continued",
         [](int n, const RangeRequest& r) {
             return n == 0 ? Cut(Host(kBody, r, "W/\"v1\""), 3000) : Host(kBody, r, "W/\"v1\"");
         },
         true,
         {0, 0},
         1000,
         "La conexión se cortó durante la descarga; se volverá a intentar en 1 s (intento 1 de 5)."},
        {"no connection, then the archive",
         [](int n, const RangeRequest& r) {
             fakes::Script s = Host(kBody, r);
             s.openFails = n < 3;
             s.openTransient = true;
             return s;
         },
         true,
         {0, 0, 0, 0},
         7000,
         nullptr},
        {"endless drops at the same byte: five attempts without progress",
         [](int, const RangeRequest& r) { return Cut(Host(kBody, r), r.from == 0 ? 3000 : 0); },
         false,
         {0, 3000, 3000, 3000, 3000, 3000},
         16000,
         "La conexión se cortó durante la descarga; la descarga continuará donde quedó en 8 s (intento 5 de 5)."},
        {"never a connection: five attempts",
         [](int, const RangeRequest& r) {
             fakes::Script s = Host(kBody, r);
             s.openFails = s.openTransient = true;
             return s;
         },
         false,
         {0, 0, 0, 0, 0},
         15000,
         nullptr},
        {"stalled every time",
         [](int, const RangeRequest& r) {
             fakes::Script s = Cut(Host(kBody, r), 0);
             s.ending = ReadStatus::TimedOut;
             return s;
         },
         false,
         {0, 0, 0, 0, 0},
         15000,
         nullptr},
        {"404 is not retried", [](int, const RangeRequest&) { return Status(404); }, false, {0}, 0, nullptr},
        {"an untrusted certificate is not retried",
         [](int, const RangeRequest& r) {
             fakes::Script s = Host(kBody, r);
             s.openFails = true;
             return s;
         },
         false,
         {0},
         0,
         nullptr},
        {"more bytes than announced are not retried",
         [](int, const RangeRequest& r) {
             fakes::Script s = Host(kBody, r);
             s.contentLength = "5000";
             return s;
         },
         false,
         {0},
         0,
         nullptr},
        {"a 404 on continuing is not retried",
         [](int n, const RangeRequest& r) { return n == 0 ? Cut(Host(kBody, r), 3000) : Status(404); },
         false,
         {0, 3000},
         1000,
         nullptr},
    };
    for (const auto& c : cases) {
        fakes::FakePlatform inst;
        const Outcome o = Fetch(inst, c.server);
        EXPECT_EQ(o.result.ok, c.ok) << c.name << ": " << o.result.reason;
        std::vector<std::uint64_t> froms;
        for (const auto& r : inst.http.ranges) {
            froms.push_back(r.from);
            EXPECT_TRUE(r.from == 0 || !r.ifRange.empty()) << c.name;
        }
        EXPECT_EQ(froms, c.froms) << c.name;
        EXPECT_EQ(inst.sleeper.total, c.waitedMs) << c.name;
        EXPECT_EQ(inst.retries.size(), c.froms.size() - 1) << c.name;
        if (c.lastRetry && !inst.retries.empty()) {
            EXPECT_EQ(inst.retries.back(), c.lastRetry) << c.name;
        }
        EXPECT_TRUE(!c.ok || o.file == kBody) << c.name;
        EXPECT_FALSE(inst.Exists("6.zip.reanudar") && o.result.ok) << c.name;
        EXPECT_EQ(inst.progress.Widths().back(), 0.0f) << c.name;
        EXPECT_EQ(inst.http.liveResponses, 0) << c.name;
        // The waits let the window breathe: the pump runs in every slice of them.
        EXPECT_GE(static_cast<unsigned>(inst.pump.calls), c.waitedMs / 50) << c.name;
    }
}

TEST(DownloadRetry, TheProgressCountsTheWholeArchiveAcrossAttempts) {
    fakes::FakePlatform inst;
    const Outcome o =
        Fetch(inst, [](int n, const RangeRequest& r) { return n == 0 ? Cut(Host(kBody, r), 5000) : Host(kBody, r); });
    ASSERT_TRUE(o.result.ok);
    const auto captions = inst.progress.Captions();
    ASSERT_EQ(captions.size(), 10u);  // 10 %, 20 %, ... once each: no step back to 0 after the drop
    EXPECT_EQ(captions[4], "[50% Completado.]");
    EXPECT_EQ(captions[5], "[60% Completado.]");
}

TEST(DownloadRetry, EachRetryIsOneLightGreyBoldConsoleLine) {
    fakes::FakePlatform inst;
    update::cDirImage dir(*inst.platform);
    modUnzip::RutaParche = inst.root + "\\6.zip";
    int n = 0;
    inst.http.servers["u"] = [&](const RangeRequest& r) { return n++ == 0 ? Status(503, "0") : Host(kBody, r); };
    ASSERT_TRUE(dir.JuegoActualizacion("u").ok);
    const auto lines = inst.console.All();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(inst.console.Texts()[0], "El servidor respondió 503; se volverá a intentar en 0 s (intento 2 de 5).");
    EXPECT_EQ(lines[0].format.color, update::ConsoleColor(200, 200, 200));
    EXPECT_TRUE(lines[0].format.bold);
    EXPECT_FALSE(lines[0].format.italic);
    EXPECT_EQ(inst.console.Texts()[1], "Listo.");
}

// What a start that gave up leaves, and what the next start makes of it.
TEST(DownloadResume, AcrossStarts) {
    const std::string v2 = Archive(12000, 2);
    const struct {
        const char* name;
        std::function<void(fakes::FakePlatform&)> between;  // after the failed start
        Server next;
        std::uint64_t from;  // of the next start's first request
        std::string expected;
        std::optional<std::int64_t> listed = std::nullopt;  // the signed list's size, if any
    } cases[] = {
        {"the signed list still names its size: continued",
         {},
         [](int, const RangeRequest& r) { return Host(kBody, r); },
         3000,
         kBody,
         10000},
        {"a new signed list names another size: whole again",
         {},
         [&](int, const RangeRequest& r) { return Host(v2, r, "\"v2\""); },
         0,
         v2,
         12000},
        {"continued where it stopped", {}, [](int, const RangeRequest& r) { return Host(kBody, r); }, 3000, kBody},
        {"the file changed on the server: whole again, never spliced",
         {},
         [&](int, const RangeRequest& r) { return Host(v2, r, "\"v2\""); },
         3000,
         v2},
        {"a server that now ignores Range",
         {},
         [](int, const RangeRequest& r) { return Host(kBody, r, kEtag, false); },
         3000,
         kBody},
        {"record of another URL",
         [](fakes::FakePlatform& i) {
             i.WriteFile("6.zip.reanudar", update::FormatResumeRecord({"otra", kEtag, 10000}));
         },
         [](int, const RangeRequest& r) { return Host(kBody, r); }, 0, kBody},
        {"damaged record", [](fakes::FakePlatform& i) { i.WriteFile("6.zip.reanudar", "basura"); },
         [](int, const RangeRequest& r) { return Host(kBody, r); }, 0, kBody},
        {"no record", [](fakes::FakePlatform& i) { std::remove(i.Path("6.zip.reanudar").c_str()); },
         [](int, const RangeRequest& r) { return Host(kBody, r); }, 0, kBody},
        {"archive longer than the record says",
         [](fakes::FakePlatform& i) { i.WriteFile("6.zip", std::string(10000, 'x')); },
         [](int, const RangeRequest& r) { return Host(kBody, r); }, 0, kBody},
    };
    for (const auto& c : cases) {
        fakes::FakePlatform inst;
        const Outcome first =
            Fetch(inst, [](int, const RangeRequest& r) { return Cut(Host(kBody, r), r.from == 0 ? 3000 : 0); });
        ASSERT_FALSE(first.result.ok) << c.name;
        ASSERT_EQ(first.file, kBody.substr(0, 3000)) << c.name;
        ASSERT_EQ(inst.ReadFile("6.zip.reanudar"), update::FormatResumeRecord({"u", kEtag, 10000})) << c.name;
        if (c.between) c.between(inst);
        inst.http.ranges.clear();
        const Outcome next = Fetch(inst, c.next, c.listed);
        EXPECT_TRUE(next.result.ok) << c.name << ": " << next.result.reason;
        ASSERT_FALSE(inst.http.ranges.empty());
        EXPECT_EQ(inst.http.ranges[0].from, c.from) << c.name;
        EXPECT_TRUE(next.file == c.expected) << c.name;
        EXPECT_FALSE(inst.Exists("6.zip.reanudar")) << c.name;
    }
}

TEST(DownloadResume, APartThatVanishedBetweenAttemptsIsNotContinued) {
    fakes::FakePlatform inst;
    bool cut = false;
    inst.pump.onPump = [&] {
        if (cut) std::remove(inst.Path("6.zip").c_str());
    };
    const Outcome o = Fetch(inst, [&](int n, const RangeRequest& r) {
        cut = n == 0;
        return n == 0 ? Cut(Host(kBody, r), 3000) : Host(kBody, r);
    });
    ASSERT_TRUE(o.result.ok) << o.result.reason;
    EXPECT_TRUE(o.file == kBody);
    ASSERT_EQ(inst.http.ranges.size(), 2u);
    EXPECT_EQ(inst.http.ranges[1].from, 0u);
}

TEST(DownloadResume, NothingToContinueLeavesNothingBehind) {
    const struct {
        const char* name;
        Server server;
    } cases[] = {
        {"no validator", [](int, const RangeRequest& r) { return Cut(Host(kBody, r, ""), 3000); }},
        {"weak validator", [](int, const RangeRequest& r) { return Cut(Host(kBody, r, "W/\"x\""), 3000); }},
        {"404 after a part",
         [](int n, const RangeRequest& r) { return n == 0 ? Cut(Host(kBody, r), 3000) : Status(404); }},
        {"too many bytes",
         [](int, const RangeRequest& r) {
             fakes::Script s = Host(kBody, r);
             s.contentLength = "4000";
             return s;
         }},
    };
    for (const auto& c : cases) {
        fakes::FakePlatform inst;
        EXPECT_FALSE(Fetch(inst, c.server).result.ok) << c.name;
        EXPECT_FALSE(inst.Exists("6.zip")) << c.name;
        EXPECT_FALSE(inst.Exists("6.zip.reanudar")) << c.name;
    }
}

TEST(ResumeRecord, OnlyWhatWasWrittenIsTrusted) {
    const update::ResumeRecord good{"https://x/parches/6.zip", "\"abc\"", 123456};
    const std::string text = update::FormatResumeRecord(good);
    const auto back = update::ParseResumeRecord(text);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->url, good.url);
    EXPECT_EQ(back->validator, good.validator);
    EXPECT_EQ(back->total, good.total);
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string t = text;
        t.replace(t.find(from), from.size(), to);
        return t;
    };
    for (const std::string& bad : {
             std::string(),
             text.substr(0, text.size() - 2),
             text + "x",
             replaced("total=123456", "total=-1"),
             replaced("total=123456", "total=2147483648"),
             replaced("total=123456", "total="),
             replaced("total=123456", "total=12a"),
             replaced("validador=\"abc\"", "validador="),
             replaced("url=", "uri="),
             replaced("v1", "v2"),
             replaced("\"abc\"", "\"a\tb\""),
             replaced("\"abc\"", std::string(300, 'e')),
         }) {
        EXPECT_FALSE(update::ParseResumeRecord(bad).has_value()) << bad;
    }
}

TEST(ResumeHeaders, ContentRangeAndValidators) {
    const struct {
        const char* text;
        bool ok;
        std::uint64_t first, last, total;
    } ranges[] = {
        {"bytes 0-9/10", true, 0, 9, 10},
        {" bytes 3000-9999/10000 ", true, 3000, 9999, 10000},
        {"bytes */10000", false, 0, 0, 0},
        {"bytes 5-4/10", false, 0, 0, 0},
        {"bytes 0-10/10", false, 0, 0, 0},
        {"items 0-9/10", false, 0, 0, 0},
        {"bytes 0-9/", false, 0, 0, 0},
        {"bytes -9/10", false, 0, 0, 0},
        {"bytes 1-2/99999999999999999", false, 0, 0, 0},
        {"bytes 0-9/10/11", false, 0, 0, 0},
    };
    for (const auto& c : ranges) {
        const auto r = update::ParseContentRange(c.text);
        EXPECT_EQ(r.has_value(), c.ok) << c.text;
        EXPECT_TRUE(!r || (r->first == c.first && r->last == c.last && r->total == c.total)) << c.text;
    }
    const struct {
        std::optional<std::string> etag, date;
        std::optional<std::string> validator;
    } validators[] = {
        {"\"abc\"", "Tue, 01 Dec 2026 10:00:00 GMT", "\"abc\""},
        {"W/\"abc\"", "Tue, 01 Dec 2026 10:00:00 GMT", std::nullopt},
        {std::nullopt, "Tue, 01 Dec 2026 10:00:00 GMT", "Tue, 01 Dec 2026 10:00:00 GMT"},
        {"abc", std::nullopt, std::nullopt},
        {std::nullopt, std::nullopt, std::nullopt},
    };
    for (const auto& c : validators) {
        fakes::Script s;
        if (c.etag) s.headers[Header::ETag] = *c.etag;
        if (c.date) s.headers[Header::LastModified] = *c.date;
        fakes::Http http;
        http.scripts["u"] = s;
        auto opened = http.Open("u");
        EXPECT_EQ(update::StrongValidator(*opened.value), c.validator) << c.etag.value_or("-");
    }
}

}  // namespace
