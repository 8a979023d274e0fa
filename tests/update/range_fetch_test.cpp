#include "updater/update/range_fetch.h"

#include <gtest/gtest.h>

#include "fakes.h"
#include "updater/update/mensajes.h"

namespace {

// Keeps what it is given, in memory.
class Collected final : public core::FileWriter {
public:
    void Write(const void* data, std::size_t size) override { bytes.append(static_cast<const char*>(data), size); }
    void Commit() override {}
    std::string bytes;
};

const std::string kUrl = "https://localhost:8443/parches/4.zip";

std::string Archive() {
    std::string a;
    for (int i = 0; i < 1000; ++i) a += static_cast<char>('a' + i % 26);
    return a;
}

// A 206 with the given Content-Range and body.
fakes::Script Part(const std::string& contentRange, const std::string& body) {
    fakes::Script s = fakes::Body(body, 16);
    s.status = 206;
    s.headers[update::Header::ContentRange] = contentRange;
    return s;
}

TEST(RangeFetch, TakesOnlyExactlyThePartAsked) {
    const std::string archive = Archive();
    const std::string part = archive.substr(100, 50);
    struct Case {
        const char* name;
        fakes::Script answer;
        bool ok;
        update::RangeFault fault;
        std::string reason;
    };
    fakes::Script whole = fakes::Body(archive);
    fakes::Script noLength = Part("bytes 100-149/1000", part);
    noLength.contentLength.reset();
    fakes::Script otherLength = Part("bytes 100-149/1000", part);
    otherLength.contentLength = "51";
    fakes::Script shortBody = Part("bytes 100-149/1000", part.substr(0, 40));
    shortBody.contentLength = "50";
    fakes::Script longBody = Part("bytes 100-149/1000", part + "xyz");
    longBody.contentLength.reset();
    fakes::Script broken = Part("bytes 100-149/1000", part.substr(0, 20));
    broken.contentLength = "50";
    broken.ending = update::ReadStatus::Failed;
    fakes::Script stalled = broken;
    stalled.ending = update::ReadStatus::TimedOut;
    fakes::Script unsatisfiable = fakes::Body("");
    unsatisfiable.status = 416;
    fakes::Script busy = fakes::Body("");
    busy.status = 503;
    fakes::Script missing = fakes::Body("");
    missing.status = 404;
    fakes::Script reset;
    reset.openFails = reset.openTransient = true;
    fakes::Script refusedOpen;
    refusedOpen.openFails = true;
    using F = update::RangeFault;
    const std::vector<Case> cases = {
        {"exact", Part("bytes 100-149/1000", part), true, F::Whole, ""},
        {"exact, no Content-Length", noLength, true, F::Whole, ""},
        {"other start", Part("bytes 101-150/1000", archive.substr(101, 50)), false, F::Refused,
         update::mensajes::kParteEquivocada},
        {"other end", Part("bytes 100-999/1000", archive.substr(100)), false, F::Refused,
         update::mensajes::kParteEquivocada},
        {"other archive size", Part("bytes 100-149/1001", part), false, F::Refused, update::mensajes::kParteEquivocada},
        {"no Content-Range", Part("", part), false, F::Refused, update::mensajes::kParteEquivocada},
        {"other Content-Length", otherLength, false, F::Refused, update::mensajes::kParteEquivocada},
        {"200: no ranges", whole, false, F::Whole, update::mensajes::Respondio("200")},
        {"short body", shortBody, false, F::Network, update::mensajes::kIncompleta},
        {"body longer than the part", longBody, false, F::Refused, update::mensajes::kDatosDeMas},
        {"connection cut", broken, false, F::Network, update::mensajes::kConexionCortada},
        {"server stopped", stalled, false, F::Network, update::mensajes::kSinRespuesta},
        {"416", unsatisfiable, false, F::Refused, update::mensajes::Respondio("416")},
        {"503", busy, false, F::Network, update::mensajes::Respondio("503")},
        {"404", missing, false, F::Refused, update::mensajes::Respondio("404")},
        {"no connection", reset, false, F::Network, reset.openFailure},
        {"refused connection", refusedOpen, false, F::Refused, refusedOpen.openFailure},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fakes::Http http;
        http.scripts[kUrl] = c.answer;
        Collected out;
        std::uint64_t seen = 0;
        const update::RangeFetch got =
            update::FetchRange(http, kUrl, {100, 50}, archive.size(), out, [&](std::uint64_t n) { seen = n; });
        ASSERT_EQ(http.parts.size(), 1u);
        EXPECT_EQ(http.parts[0], std::make_pair(std::uint64_t{100}, std::uint64_t{149}));
        EXPECT_EQ(got.ok, c.ok) << got.reason;
        EXPECT_LE(out.bytes.size(), 50u);
        EXPECT_EQ(seen, out.bytes.size());
        if (c.ok) {
            EXPECT_EQ(out.bytes, part);
        } else {
            EXPECT_EQ(got.code, c.fault);
            EXPECT_EQ(got.reason, c.reason);
            // No byte of another answer, nor of a part other than the one asked, is taken.
            if (c.answer.status != 206 || c.reason == update::mensajes::kParteEquivocada) {
                EXPECT_EQ(out.bytes, "");
            }
        }
    }
    // Ranges that no archive of that size has are not asked for.
    for (const update::ByteRange r :
         {update::ByteRange{0, 0}, update::ByteRange{1000, 1}, update::ByteRange{990, 11}}) {
        fakes::Http http;
        Collected out;
        EXPECT_EQ(update::FetchRange(http, kUrl, r, archive.size(), out).code, update::RangeFault::Refused);
        EXPECT_TRUE(http.parts.empty());
    }
}

}  // namespace
