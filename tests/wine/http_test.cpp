// The WinINet side against real local HTTPS servers: the count fetch, the short text and
// the patch download, including every transfer fault.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/runtime_error.h"
#include "tests/update/fakes.h"
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

void Serve(const std::string& name, const std::string& content) {
    std::ofstream(ServedPath(name), std::ios::binary) << content;
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
    update::WinInetClient m_http{2000};  // short time-outs keep the stall case quick
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
        EXPECT_EQ(r.count, c.count) << c.path;
        EXPECT_EQ(r.fetched, c.fetched) << c.path << ": " << r.failure;
    }
}

TEST_F(WinInetTest, CountOverflowAndUnreachableServers) {
    try {
        update::FetchCount(m_http, Base() + "fault/text/4E4");
        ADD_FAILURE() << "no overflow";
    } catch (const core::RuntimeError& e) {
        EXPECT_EQ(e.Kind(), core::ErrorKind::Overflow);
    }
    const update::CountFetch down = update::FetchCount(m_http, "https://localhost:1/parches/version.txt");
    EXPECT_FALSE(down.fetched);
    EXPECT_EQ(down.count, 0);
    const update::CountFetch rogue = update::FetchCount(m_http, Base("VANDREL_ROGUE_PORT") + "fault/text/7");
    EXPECT_FALSE(rogue.fetched) << "a certificate from an untrusted authority was accepted";
    EXPECT_EQ(rogue.failure, "el certificado del servidor no es válido");
}

TEST_F(WinInetTest, ShortTextIsOneReadOfAtMost255Bytes) {
    const std::string body(1000, 'x');
    Serve("mil.txt", body);
    const std::string text = update::FetchShortText(m_http, Base() + "mil.txt");
    EXPECT_FALSE(text.empty());
    EXPECT_LE(text.size(), 255u);
    EXPECT_EQ(text, body.substr(0, text.size()));
    EXPECT_EQ(update::FetchShortText(m_http, "https://localhost:1/x"), "");
}

class WinInetDownloadTest : public WinInetTest {
protected:
    // The fakes' services, with the real WinINet client in place of the scripted one.
    update::DownloadResult Download(const std::string& url) {
        update::DownloadServices services = m_local.Services();
        update::DownloadServices real{services.fs,      m_http, services.progress, services.pump,
                                      services.sleeper, '.',    services.announce};
        return update::DownloadPatch(real, url, Target());
    }
    std::string Target() const { return m_local.root + "\\6.zip"; }
    fakes::Installation m_local;
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
        // The stalled server must not keep the player waiting much longer than the time-out.
        EXPECT_LT(GetTickCount64() - started, 10000u) << c.path;
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
    ASSERT_TRUE(r.end.has_value());
    EXPECT_EQ(r.end->message, "Error en HttpQueryInfo al extraer el tamaño comunicaselo a un administrador.");
    EXPECT_EQ(r.end->exitCode, 1);
    EXPECT_TRUE(m_local.dialogs.boxes.empty());  // the window's edge shows it
    EXPECT_FALSE(m_local.Exists("6.zip"));
}

TEST_F(WinInetDownloadTest, AnUntrustedCertificateIsRefused) {
    const core::Outcome o = Download(Base("VANDREL_ROGUE_PORT") + "7.zip");
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.reason, "el certificado del servidor no es válido");
    EXPECT_FALSE(m_local.Exists("6.zip"));
}

}  // namespace
