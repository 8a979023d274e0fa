// The WinINet side against real local HTTPS servers: the count fetch, the short text and
// the patch download, including every transfer fault.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "core/runtime_error.h"
#include "core/text_win32.h"
#include "tests/update/fakes.h"
#include "updater/update/dir_image.h"
#include "updater/update/download.h"
#include "updater/update/http_client_win32.h"
#include "updater/update/remote_text.h"

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string Base(const char* portVariable = "VANDREL_TEST_PORT") {
    return "https://localhost:" + Env(portVariable) + "/";
}

// The served folder, as Windows sees it.
std::string ServedPath(const std::string& name) { return "Z:" + Env("VANDREL_TEST_ROOT") + "/" + name; }

// Writes a served file, its folders too; the name is UTF-8 (written through the wide calls).
void Serve(const std::string& name, const std::string& content) {
    const std::filesystem::path path(core::Utf8ToWide(ServedPath(name)));
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

std::string Pseudorandom(std::size_t size) {
    std::string s(size, '\0');
    unsigned x = 12345;
    for (auto& c : s) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 16);
    }
    return s;
}

class WinInetTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(Env("VANDREL_TEST_PORT").empty()) << "run through run-with-servers"; }
    fakes::FakePlatform m_local;
    // Short time-outs keep the stall case quick; deadlines are told in the fakes' time.
    update::WinInetClient m_http{2000, nullptr, &m_local.clock};
};

TEST_F(WinInetTest, CountBodies) {
    const struct {
        const char* path;
        std::int16_t count;
        bool fetched;
    } cases[] = {
        {"fault/text/12%0D%0A", 12, true},   {"fault/text/1000", 100, true}, {"fault/text/%207", 7, true},
        {"fault/text/1%202", 12, true},      {"fault/text/1.5", 2, true},    {"fault/text/2.5", 2, true},
        {"fault/text/-5", -5, true},         {"fault/text/0", 0, true},      {"fault/text/abc", 0, false},
        {"fault/text/%3Chtml%3E", 0, false}, {"fault/text/", 0, false},      {"fault/status/404/7", 0, false},
        {"fault/status/500/7", 0, false},
    };
    for (const auto& c : cases) {
        const update::CountFetch r = update::FetchCount(m_http, Base() + c.path);
        EXPECT_EQ(r.value, c.count) << c.path;
        EXPECT_EQ(r.ok, c.fetched) << c.path << ": " << r.reason;
    }
}

TEST_F(WinInetTest, CountOverflowAndUnreachableServers) {
    try {
        static_cast<void>(update::FetchCount(m_http, Base() + "fault/text/4E4"));  // raises
        ADD_FAILURE() << "no overflow";
    } catch (const core::RuntimeError& e) {
        EXPECT_EQ(e.Kind(), core::ErrorKind::Overflow);
    }
    const update::CountFetch down = update::FetchCount(m_http, "https://localhost:1/parches/version.txt");
    EXPECT_FALSE(down.ok);
    EXPECT_EQ(down.value, 0);
    const update::CountFetch rogue = update::FetchCount(m_http, Base("VANDREL_ROGUE_PORT") + "fault/text/7");
    EXPECT_FALSE(rogue.ok) << "a certificate from an untrusted authority was accepted";
    EXPECT_EQ(rogue.reason, "el certificado del servidor no es válido");
}

TEST_F(WinInetTest, ShortTextIsOneReadOfAtMost255Bytes) {
    const std::string body(1000, 'x');
    Serve("mil.txt", body);
    const update::Platform& f = *m_local.platform;
    update::Platform real{f.fs,      m_http,  f.console,  f.progress,      f.pump, f.sound,
                          f.sleeper, f.clock, f.launcher, f.installFolder, '.'};
    update::cDirImage dir(real);
    const std::string text = dir.GetStringJuego(Base() + "mil.txt");
    EXPECT_FALSE(text.empty());
    EXPECT_LE(text.size(), 255u);
    EXPECT_EQ(text, body.substr(0, text.size()));
    EXPECT_EQ(dir.GetStringJuego("https://localhost:1/x"), "");
}

class WinInetDownloadTest : public WinInetTest {
protected:
    // The fakes' services, with the real WinINet client in place of the scripted one.
    update::DownloadResult Download(const std::string& url) {
        update::DownloadServices services = m_local.Services();
        update::DownloadServices real{services.fs,    m_http, services.progress, services.pump, services.sleeper,
                                      services.clock, '.',    services.announce};
        return update::DownloadPatch(real, url, Target());
    }
    std::string Target() const { return m_local.root + "\\6.zip"; }
};

TEST_F(WinInetDownloadTest, AGoodArchiveArrivesByteForByte) {
    const std::string archive = Pseudorandom(300 * 1024 + 7);
    Serve("6.zip", archive);
    m_local.WriteFile("6.zip", std::string(600 * 1024, 'v'));  // a longer leftover loses its tail
    const core::Outcome o = Download(Base() + "6.zip");
    ASSERT_TRUE(o.ok) << o.reason;
    EXPECT_EQ(m_local.ReadFile("6.zip"), archive);
    const auto captions = m_local.progress.Captions();
    ASSERT_FALSE(captions.empty());
    EXPECT_EQ(captions.back(), "[100% Completado.]");
    EXPECT_LE(captions.size(), 100u);
    EXPECT_EQ(m_local.progress.Widths().back(), 0.0f);
}

TEST_F(WinInetDownloadTest, TransferFaultsAreCleanFailures) {
    Serve("7.zip", Pseudorandom(200 * 1024));
    const struct {
        const char* path;
        const char* reasonPart;
    } cases[] = {
        {"fault/status/404/no%20existe", "404"},
        {"fault/status/500/error", "500"},
        {"fault/short/7.zip", "incompleta"},
        {"fault/stall/7.zip", "durante la descarga"},  // Wine reports the expired time-out as an abort
        {"fault/redirect-http/7.zip", "no segura"},
        {"no-existe.zip", "404"},
    };
    for (const auto& c : cases) {
        const ULONGLONG started = GetTickCount64();
        const core::Outcome o = Download(Base() + c.path);
        // The stalled server must not keep the player waiting much longer than the time-out
        // (2 s here) in each of the attempts.
        EXPECT_LT(GetTickCount64() - started, update::kMaxAttempts * 4000u) << c.path;
        EXPECT_FALSE(o.ok) << c.path;
        EXPECT_NE(o.reason.find(c.reasonPart), std::string::npos) << c.path << ": " << o.reason;
        EXPECT_FALSE(m_local.Exists("6.zip")) << c.path;
        EXPECT_EQ(m_local.progress.Widths().back(), 0.0f) << c.path;
    }
}

TEST_F(WinInetDownloadTest, ABodyLongerThanAnnouncedNeverPassesOneHundred) {
    Serve("8.zip", Pseudorandom(64 * 1024));
    const core::Outcome o = Download(Base() + "fault/long/8.zip");
    // WinINet itself stops at the announced length; either way nothing past it is kept.
    if (o.ok) {
        EXPECT_EQ(m_local.ReadFile("6.zip").size(), 32u * 1024);
    }
    for (const auto& caption : m_local.progress.Captions()) EXPECT_NE(caption, "[101% Completado.]");
    for (float w : m_local.progress.Widths()) EXPECT_LE(w, 8070.0f);
}

TEST_F(WinInetDownloadTest, NoContentLengthAsksForTheBoxAndTheEnd) {
    Serve("9.zip", Pseudorandom(10000));
    const update::DownloadResult r = Download(Base() + "fault/chunked/9.zip");
    ASSERT_EQ(r.code, update::DownloadFailure::Program);
    EXPECT_EQ(r.reason, "Error en HttpQueryInfo al extraer el tamaño comunicaselo a un administrador.");
    EXPECT_TRUE(m_local.dialogs.boxes.empty());  // the window's edge shows it
    EXPECT_FALSE(m_local.Exists("6.zip"));
}

TEST_F(WinInetDownloadTest, AnUntrustedCertificateIsRefused) {
    const core::Outcome o = Download(Base("VANDREL_ROGUE_PORT") + "7.zip");
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.reason, "el certificado del servidor no es válido");
    EXPECT_FALSE(m_local.Exists("6.zip"));
}

// The requests the server saw for a path: the Range each carried ("-" for none).
std::vector<std::string> RangesAsked(const std::string& path) {
    std::ifstream in(ServedPath(".peticiones"), std::ios::binary);
    std::vector<std::string> ranges;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(path + " ", 0) != 0) continue;
        const auto at = line.find(" range=") + 7;
        ranges.push_back(line.substr(at, line.find(' ', at) - at));
    }
    return ranges;
}

// Faults a static host and the network produce, against the real server: the archive is the
// served one byte for byte, and the server saw the requests a resumption makes.
TEST_F(WinInetDownloadTest, RetriesAndResumesAgainstARealServer) {
    const std::string archive = Pseudorandom(400 * 1024 + 3);
    const struct {
        const char* file;
        const char* path;                 // under fault/, then the file
        std::vector<std::string> ranges;  // "k" for any bytes=k- with 0 < k <= 200 KiB
        unsigned waitedMs;
    } cases[] = {
        {"r1.zip", "cut-once/204800/", {"-", "k"}, 1000},
        {"r2.zip", "cut-once+no-range/204800/", {"-", "k"}, 1000},
        {"r3.zip", "cut-once+refuse-range/204800/", {"-", "k", "-"}, 2000},
        {"r4.zip", "busy/2/", {"-", "-", "-"}, 3000},
        {"r5.zip", "retry-after/3/", {"-", "-"}, 3000},
    };
    for (const auto& c : cases) {
        Serve(c.file, archive);
        m_local.sleeper.total = 0;
        m_local.retries.clear();
        const std::string path = std::string("/fault/") + c.path + c.file;
        const core::Outcome o = Download(Base() + path.substr(1));
        ASSERT_TRUE(o.ok) << c.file << ": " << o.reason;
        EXPECT_TRUE(m_local.ReadFile("6.zip") == archive) << c.file;
        EXPECT_FALSE(m_local.Exists("6.zip.reanudar")) << c.file;
        std::vector<std::string> seen;
        for (const std::string& r : RangesAsked(path)) {
            const bool part = r.rfind("bytes=", 0) == 0 && r.back() == '-';
            const unsigned long k = part ? std::stoul(r.substr(6)) : 0;
            seen.push_back(part && k > 0 && k <= 204800 ? "k" : r);
        }
        EXPECT_EQ(seen, c.ranges) << c.file;
        EXPECT_EQ(m_local.sleeper.total, c.waitedMs) << c.file;
        EXPECT_EQ(m_local.retries.size(), c.ranges.size() - 1) << c.file;
    }
}

// An operator's folder named with a letter outside ASCII (and outside many players' code pages):
// the count and the archive are asked for by their UTF-8 names, whatever the code page here.
TEST_F(WinInetDownloadTest, AFolderNamedOutsideAsciiIsReached) {
    const std::string folder = "juegos/a\xC3\xB1o/parches/";  // año
    const std::string archive = Pseudorandom(50 * 1024 + 1);
    Serve(folder + "version.txt", "7");
    Serve(folder + "6.zip", archive);
    const update::CountFetch count = update::FetchCount(m_http, Base() + folder + "version.txt");
    EXPECT_TRUE(count.ok) << count.reason << " (ANSI code page " << GetACP() << ")";
    EXPECT_EQ(count.value, 7);
    const core::Outcome o = Download(Base() + folder + "6.zip");
    ASSERT_TRUE(o.ok) << o.reason << " (ANSI code page " << GetACP() << ")";
    EXPECT_TRUE(m_local.ReadFile("6.zip") == archive);
    EXPECT_EQ(RangesAsked("/" + folder + "6.zip"), std::vector<std::string>{"-"});
}

// A start that gives up keeps its part and its record; the next start continues it, or takes
// the whole file when it changed meanwhile.
TEST_F(WinInetDownloadTest, ThePartOfAStartThatGaveUpIsContinuedOrReplaced) {
    for (const bool changed : {false, true}) {
        const std::string name = changed ? "s2.zip" : "s1.zip";
        const std::string before = Pseudorandom(300 * 1024);
        Serve(name, before);
        Serve(name + ".fault", "cut 100000 " + name);
        const core::Outcome first = Download(Base() + name);
        EXPECT_FALSE(first.ok);
        EXPECT_NE(first.reason.find("la descarga quedó incompleta"), std::string::npos) << first.reason;
        ASSERT_TRUE(m_local.Exists("6.zip.reanudar"));
        const std::string part = m_local.ReadFile("6.zip");
        ASSERT_GT(part.size(), 0u);
        ASSERT_LE(part.size(), 100000u);
        EXPECT_TRUE(part == before.substr(0, part.size()));
        EXPECT_GE(RangesAsked("/" + name).size(), 6u);  // the first request and five without progress

        std::remove(ServedPath(name + ".fault").c_str());
        const std::string after = changed ? Pseudorandom(350 * 1024).substr(7) : before;
        if (changed) Serve(name, after);
        const core::Outcome next = Download(Base() + name);
        ASSERT_TRUE(next.ok) << next.reason;
        EXPECT_TRUE(m_local.ReadFile("6.zip") == after) << name;
        EXPECT_EQ(RangesAsked("/" + name).back(), "bytes=" + std::to_string(part.size()) + "-") << name;
        EXPECT_FALSE(m_local.Exists("6.zip.reanudar"));
    }
}

}  // namespace
