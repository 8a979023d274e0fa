#include "updater/update/remote_text.h"

#include <gtest/gtest.h>

#include "core/runtime_error.h"
#include "fakes.h"
#include "updater/update/dir_image.h"

namespace {

TEST(FetchCount, BodiesAndStatuses) {
    const struct {
        std::string body;
        int status;
        std::int16_t count;
        bool fetched;
    } cases[] = {
        {"12\r\n", 200, 12, true}, {"1000", 200, 100, true}, {" 7", 200, 7, true},      {"1 2", 200, 12, true},
        {"1.5", 200, 2, true},     {"2.5", 200, 2, true},    {"0.5", 200, 0, true},     {"-5", 200, -5, true},
        {"0", 200, 0, true},       {"abc", 200, 0, false},   {"<html>", 200, 0, false}, {"", 200, 0, false},
        {"   ", 200, 0, false},    {"7", 404, 0, false},     {"7", 500, 0, false},      {"7", 0, 0, false},
    };
    for (const auto& c : cases) {
        fakes::Http http;
        fakes::Script s = fakes::Body(c.body);
        s.status = c.status;
        http.scripts["u"] = s;
        const update::CountFetch r = update::FetchCount(http, "u");
        EXPECT_EQ(r.value, c.count) << '"' << c.body << "\" " << c.status;
        EXPECT_EQ(r.ok, c.fetched) << '"' << c.body << "\" " << c.status;
        EXPECT_EQ(r.ok, r.reason.empty());
        EXPECT_EQ(http.readSizes.size(), c.status == 200 ? 1u : 0u);  // one read only
        if (!http.readSizes.empty()) {
            EXPECT_EQ(http.readSizes[0], 3u);
        }
        EXPECT_EQ(http.liveResponses, 0);  // handles closed
    }
}

TEST(FetchCount, ServerDownAndOverflow) {
    fakes::Http http;
    const update::CountFetch down = update::FetchCount(http, "u");
    EXPECT_FALSE(down.ok);
    EXPECT_EQ(down.value, 0);
    http.scripts["u"] = fakes::Body("4E4");
    try {
        static_cast<void>(update::FetchCount(http, "u"));  // raises
        ADD_FAILURE() << "no overflow";
    } catch (const core::RuntimeError& e) {
        EXPECT_EQ(e.Kind(), core::ErrorKind::Overflow);
    }
    EXPECT_EQ(http.liveResponses, 0);
}

TEST(GetStringJuego, OneReadOfAtMost255Bytes) {
    fakes::FakePlatform inst;
    update::cDirImage dir(*inst.platform);
    fakes::Http& http = inst.http;
    http.scripts["u"] = fakes::Body(std::string(1000, 'a'), 1000);
    EXPECT_EQ(dir.GetStringJuego("u"), std::string(255, 'a'));
    http.scripts["u"] = fakes::Body("hola");
    EXPECT_EQ(dir.GetStringJuego("u"), "hola");
    EXPECT_EQ(dir.GetStringJuego("otra"), "");
    http.scripts["u"] = fakes::Body("");
    EXPECT_EQ(dir.GetStringJuego("u"), "");
}

}  // namespace
