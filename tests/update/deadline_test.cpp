// Deadlines in fake time: a server that stalls or drips is given up within the budget (attempts
// of 30 s, 1 s and 2 s apart, the third cut at 90 s), one at the pace is waited for.
#include <gtest/gtest.h>

#include "fakes.h"
#include "updater/update/dir_image.h"

namespace {

constexpr std::uint64_t kNever = 10'000'000;

// size bytes in chunks delaysMs apart (the last delay repeats); no bytes: no headers either.
fakes::Script Paced(std::size_t size, std::vector<std::uint64_t> delaysMs, std::size_t chunk = 1024) {
    fakes::Script s = fakes::Body(std::string(size, 'z'), chunk);
    s.delaysMs = std::move(delaysMs);
    s.openDelayMs = size == 0 ? kNever : 0;
    return s;
}

TEST(NetworkDeadlines, StalledAndDrippingServersAreGivenUpSteadyOnesWaitedFor) {
    std::vector<std::uint64_t> stallAt64(64, 0);
    stallAt64.push_back(kNever);
    enum Fetch { Patch, Count, List };
    const struct {
        const char* name;
        Fetch fetch;
        fakes::Script script;
        bool ok;
        std::uint64_t tookMs;  // of fake time
        std::size_t requests;
        std::string firstRetry;
    } cases[] = {
        {"headers never sent", Patch, Paced(0, {}), false, 90000, 3, "El servidor no respondió a tiempo;"},
        {"64 KiB, then silence", Patch, Paced(128 * 1024, stallAt64), false, 90000, 3, "El servidor dejó de responder"},
        {"a byte every 20 s", Patch, Paced(1000, {20000}, 1), false, 90000, 2, "El servidor envía los datos demasiado"},
        {"a KiB every 1.1 s", Patch, Paced(200 * 1024, {1100}), false, 90000, 2,
         "El servidor envía los datos demasiado"},
        {"2 KiB a second for 150 s", Patch, Paced(300 * 1024, {500}), true, 150000, 1, ""},
        {"count, headers never sent", Count, Paced(0, {}), false, 90000, 1, ""},
        {"count, body never sent", Count, Paced(3, {kNever}), false, 90000, 1, ""},
        {"list, a KiB every 29 s", List, Paced(4096, {29000}), false, 90000, 1, ""},
        {"list, a KiB every 20 s", List, Paced(4096, {20000}), true, 80000, 1, ""},
    };
    for (const auto& c : cases) {
        fakes::FakePlatform inst;
        const std::string url = update::CountUrl(fakes::kBase);
        inst.http.scripts[url] = c.script;
        update::DownloadServices services = inst.Services();
        update::cDirImage dir(*inst.platform);
        const std::uint64_t start = inst.clock.now;
        const bool ok = c.fetch == Patch   ? update::DownloadPatch(services, url, inst.root + "\\6.zip").ok
                        : c.fetch == Count ? dir.DameCantParcherh(url).ok
                                           : dir.FetchSignedCount(url, {}).code != update::ListRefusal::NotRead;
        EXPECT_EQ(ok, c.ok) << c.name;
        EXPECT_EQ(inst.clock.now - start, c.tookMs) << c.name;
        EXPECT_EQ(inst.http.opened.size(), c.requests) << c.name;
        EXPECT_EQ(inst.http.deadline, 0u) << c.name << ": the limit outlived the fetch";
        EXPECT_EQ((inst.retries.empty() ? "" : inst.retries[0]).substr(0, c.firstRetry.size()), c.firstRetry) << c.name;
    }
}

}  // namespace
