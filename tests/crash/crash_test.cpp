// Crash consistency of Updater under Wine: a ten-patch update is cut short by TerminateProcess
// at many moments (count request, downloads at several sizes, extractions, the version write),
// Updater is started again each time, and after every kill the installation must hold, for
// every path, its old content or one patch's version, never a part of one, with a valid
// Update.ini; after the last run the tree is exactly the updated one.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/crash/tree.h"
#include "tests/crash/updater_run.h"
#include "updater/unzip/entry_name.h"

namespace {

using crash::AllowedContents;
using crash::KillableUpdater;
using crash::KillPoint;
using crash::Tree;
namespace fs = std::filesystem;
using When = KillPoint::When;

constexpr int kCount = 10;
const std::string kFinalText = " 10 \r\n";
const std::string kZeroText = " 0 \r\n";
constexpr const char* kVersionRel = "Recursos/OUTPUT/Update.ini";
constexpr std::uint64_t kMiB = 1024 * 1024;

fs::path Data() { return fs::path("Z:" CRASH_DATA_DIR); }

std::string VersionText(int v) { return " " + std::to_string(v) + " \r\n"; }

// Patch n's files, as the generator wrote them beside the archives.
const Tree& Patch(int n) {
    static const std::vector<Tree> patches = [] {
        std::vector<Tree> all;
        for (int i = 1; i <= kCount; ++i) all.push_back(crash::LoadTree(Data() / "contents" / std::to_string(i)));
        return all;
    }();
    return patches.at(static_cast<std::size_t>(n - 1));
}

std::uint64_t ServedSize(const std::string& name) {
    const fs::path plain = Data() / "served" / "parches" / name;
    return fs::file_size(fs::exists(plain) ? plain : fs::path(plain.wstring() + L".slow"));
}

// The patch server's folder, filled once for every test.
class Publish : public ::testing::Environment {
public:
    void SetUp() override {
        const fs::path to = harness::FromUnix("VANDREL_TEST_ROOT") / "parches";
        fs::remove_all(to);
        fs::copy(Data() / "served" / "parches", to, fs::copy_options::recursive);
    }
};

// One row per kill point, printed at the end for the record.
struct Ledger {
    struct Row {
        std::string chain, point, outcome, version, leftovers;
        double seconds = 0;
    };
    std::vector<Row> rows;
    std::map<std::string, int> leftoverKinds;
    int runs = 0;
};
Ledger& TheLedger() {
    static Ledger ledger;
    return ledger;
}

class Summary : public ::testing::Environment {
public:
    void TearDown() override {
        const Ledger& l = TheLedger();
        int tried = 0, seen = 0, missed = 0, skipped = 0;
        std::printf("\n[crash] %-8s %-46s %-8s %6s  %-10s %s\n", "chain", "kill point", "outcome", "s", "version",
                    "temporaries left");
        for (const auto& r : l.rows) {
            std::printf("[crash] %-8s %-46s %-8s %6.2f  %-10s %s\n", r.chain.c_str(), r.point.c_str(),
                        r.outcome.c_str(), r.seconds, r.version.c_str(), r.leftovers.c_str());
            if (r.outcome == "skipped") {
                ++skipped;
                continue;
            }
            ++tried;
            (r.outcome == "seen" ? seen : missed)++;
        }
        std::printf(
            "[crash] kill points tried: %d (condition seen before the kill: %d, run ended first: %d), "
            "skipped: %d, Updater runs: %d\n",
            tried, seen, missed, skipped, l.runs);
        for (const auto& [kind, n] : l.leftoverKinds) {
            std::printf("[crash] temporaries found after kills: %s x%d\n", kind.c_str(), n);
        }
    }
};

[[maybe_unused]] const auto* const kPublish = ::testing::AddGlobalTestEnvironment(new Publish);
[[maybe_unused]] const auto* const kSummary = ::testing::AddGlobalTestEnvironment(new Summary);

std::string Shown(const std::string& versionText) {
    std::string out;
    for (char c : versionText)
        out += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
    return "\"" + out + "\"";
}

// One installation, cut short at each of its points in turn, then left to finish.
struct Chain {
    std::string name;
    int from = 0;  // Update.ini at the start; above kCount the server's count makes it a reset
    std::vector<KillPoint> points;
    // Temporaries of an earlier crash already there at the start: relative path -> content.
    std::map<std::string, std::string> planted;
};

class ChainRun {
public:
    explicit ChainRun(const Chain& chain)
        : m_chain(chain),
          m_base(chain.from > kCount ? 0 : chain.from),
          m_before(Before(chain.from)),
          m_allowed(m_before, PatchesAfter(m_base)),
          m_inst(chain.name, kFinalText) {
        crash::Materialize(m_before, m_inst.Folder());
        crash::WriteBytes(m_inst.Path(kVersionRel), VersionText(chain.from));
        for (const auto& [rel, content] : chain.planted) crash::WriteBytes(m_inst.Path(rel), content);
        m_expected = m_before;
        for (int n = m_base + 1; n <= kCount; ++n) m_expected = crash::Overlay(m_expected, Patch(n));
    }

    void Run() {
        Inspect("at the start", false);
        for (const KillPoint& point : m_chain.points) {
            Ledger::Row row{m_chain.name, point.name, "skipped", "", ""};
            if (m_inst.VersionText() == kFinalText) {
                row.version = "final";
                TheLedger().rows.push_back(row);
                continue;
            }
            const crash::KillResult r = m_inst.RunAndKill(point);
            ++TheLedger().runs;
            ASSERT_EQ(r.failure, "") << m_chain.name << ", " << point.name;
            if (!r.seen && !point.fleeting) {
                ADD_FAILURE() << m_chain.name << ", " << point.name << ": the run ended before the condition held";
            }
            row.outcome = r.seen ? "seen" : "ran out";
            row.seconds = r.seconds;
            row.leftovers = Inspect(point.name);
            const std::string v = m_inst.VersionText();
            row.version = v == kFinalText                       ? "final"
                          : v == kZeroText && m_chain.from != 0 ? "0 (reset)"
                          : v == VersionText(m_chain.from)      ? "old"
                          : v.size() > 3                        ? v.substr(1, v.size() - 4)
                                                                : v;
            TheLedger().rows.push_back(row);
        }
        const auto lines = m_inst.RunToEnd();
        ++TheLedger().runs;
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), "Juego actualizado correctamente.") << m_chain.name << ": last run";
        Inspect("after the last run", false);
        EXPECT_EQ(m_inst.VersionText(), kFinalText);
        ExpectFinalTree();
    }

private:
    static Tree Before(int from) {
        Tree t = crash::LoadTree(Data() / "initial");
        for (int n = 1; n <= std::min(from, kCount); ++n) t = crash::Overlay(t, Patch(n));
        // A version the server withdrew left a file of its own.
        if (from > kCount) t["Recursos/Textos/doce.txt"] = std::make_shared<const std::string>("doce\r\n");
        return t;
    }
    static std::vector<Tree> PatchesAfter(int base) {
        std::vector<Tree> out;
        for (int n = base + 1; n <= kCount; ++n) out.push_back(Patch(n));
        return out;
    }

    // Planted temporaries no later patch writes again: they stay, and must do no harm.
    bool Harmless(const std::string& rel) const {
        if (m_chain.planted.count(rel) == 0 || crash::TemporaryKind(rel) != "extraction temp") return false;
        const std::string target = rel.substr(0, rel.size() - unzip::kTemporarySuffix.size());
        for (int n = m_base + 1; n <= kCount; ++n) {
            if (Patch(n).count(target) != 0) return false;
        }
        return true;
    }

    // Checks the folder against what any moment of the update may leave; returns the update's
    // temporaries found there.
    std::string Inspect(const std::string& when, bool afterKill = true) {
        const std::string v = m_inst.VersionText();
        const int stage = Stage(v);
        EXPECT_GE(stage, -1) << m_chain.name << ", " << when << ": Update.ini holds " << Shown(v);
        EXPECT_GE(stage, m_stage) << m_chain.name << ", " << when << ": Update.ini went back to " << Shown(v);
        m_stage = std::max(m_stage, stage);

        std::string leftovers;
        std::set<std::string> present;
        for (const std::string& rel : crash::FilesBelow(m_inst.Folder())) {
            if (rel == "Updater.exe" || rel == kVersionRel) continue;
            if (const auto kind = crash::TemporaryKind(rel)) {
                if (!leftovers.empty()) leftovers += ", ";
                leftovers += rel;
                if (afterKill) ++TheLedger().leftoverKinds[*kind + (m_chain.planted.count(rel) ? " (planted)" : "")];
                continue;
            }
            present.insert(rel);
            const std::string problem = m_allowed.Judge(rel, crash::ReadBytes(m_inst.Path(rel)));
            EXPECT_EQ(problem, "") << m_chain.name << ", " << when << ": " << rel;
        }
        for (const std::string& rel : m_allowed.Paths()) {
            if (!present.count(rel) && !m_allowed.MayBeAbsent(rel)) {
                ADD_FAILURE() << m_chain.name << ", " << when << ": " << rel << " is gone";
            }
        }
        // A version is recorded only once its patch and every one before it are in place.
        if (stage == kCount) ExpectFinalTree(when);
        if (stage > m_base && stage < kCount) ExpectInstalledUpTo(stage, when);
        return leftovers;
    }

    // How far Update.ini says the chain got: -1 for the value a reset replaces, then the
    // version; -2 for anything no run of this chain writes.
    int Stage(const std::string& v) const {
        if (m_chain.from > kCount && v == VersionText(m_chain.from)) return -1;
        for (int k = m_base; k <= kCount; ++k) {
            if (v == VersionText(k)) return k;
        }
        return -2;
    }

    // Version v promises patches up to v: every file they wrote holds the latest of their
    // versions, or a later patch's (that patch being under way).
    void ExpectInstalledUpTo(int v, const std::string& when) {
        Tree promised;
        for (int n = m_base + 1; n <= v; ++n) promised = crash::Overlay(promised, Patch(n));
        for (const auto& [rel, blob] : promised) {
            if (!fs::exists(m_inst.Path(rel))) {
                ADD_FAILURE() << m_chain.name << ", " << when << " at version " << v << ": " << rel << " missing";
                continue;
            }
            const std::string content = crash::ReadBytes(m_inst.Path(rel));
            bool fits = content == *blob;
            for (int n = v + 1; n <= kCount && !fits; ++n) {
                const auto later = Patch(n).find(rel);
                fits = later != Patch(n).end() && *later->second == content;
            }
            EXPECT_TRUE(fits) << m_chain.name << ", " << when << " at version " << v << ": " << rel
                              << " is older than the version says";
        }
    }

    void ExpectFinalTree(const std::string& when = "after the last run") {
        std::set<std::string> seen;
        for (const std::string& rel : crash::FilesBelow(m_inst.Folder())) {
            if (rel == "Updater.exe" || rel == kVersionRel) continue;
            if (Harmless(rel)) continue;
            // The last patch's version is written twice (for the patch, then as the server's
            // count): a kill in the second write leaves its temporary beside the final version.
            if (when != "after the last run" &&
                crash::TemporaryKind(rel) == std::optional<std::string>("version temp")) {
                continue;
            }
            seen.insert(rel);
            const auto it = m_expected.find(rel);
            if (it == m_expected.end()) {
                ADD_FAILURE() << m_chain.name << ", " << when << " with the final version: " << rel
                              << " should not be there";
            } else if (crash::ReadBytes(m_inst.Path(rel)) != *it->second) {
                ADD_FAILURE() << m_chain.name << ", " << when << " with the final version: " << rel
                              << " is not the last patch's version";
            }
        }
        for (const auto& entry : m_expected) {
            EXPECT_TRUE(seen.count(entry.first)) << m_chain.name << ", " << when << ": " << entry.first << " missing";
        }
    }

    const Chain& m_chain;
    int m_base;
    Tree m_before;
    AllowedContents m_allowed;
    KillableUpdater m_inst;
    Tree m_expected;
    int m_stage = -1;
};

KillPoint AfterWindow(std::string name, unsigned ms) {
    KillPoint p;
    p.name = std::move(name);
    p.when = When::AfterWindow;
    p.delay = ms;
    return p;
}

KillPoint Written(std::string name, std::string path, std::uint64_t minSize = 0, bool fleeting = false) {
    KillPoint p;
    p.name = std::move(name);
    p.when = When::Written;
    p.path = std::move(path);
    p.minSize = minSize;
    p.fleeting = fleeting;
    return p;
}

KillPoint Gone(std::string name, std::string path, std::uint64_t minSize, bool fleeting = true) {
    KillPoint p = Written(std::move(name), std::move(path), minSize, fleeting);
    p.when = When::Gone;
    return p;
}

const std::string kBigTemp = "Recursos/Graficos/grande.grh.vandrel-tmp";
const std::string kVersionTemp = "Recursos/OUTPUT/Update.ini.nuevo";

// The runner tells the end of a run by Update.ini's size, without opening it: " 10 " is one
// byte longer than every value a chain starts from or resets to, except " 12 ", which a reset
// replaces by " 0 " before anything else.

TEST(UpdaterCrash, FullUpdateFromZeroCutEverywhere) {
    Chain c{"cero", 0, {}, {}};
    c.points = {
        AfterWindow("window shown, before the first tick", 0),
        AfterWindow("tick + 50 ms: asking for the count", 550),
        AfterWindow("tick + 200 ms: count request or reply", 700),
        Written("1.zip downloaded", "1.zip", ServedSize("1.zip")),
        Written("patch 1 extracted (aldea.map)", "Recursos/Mapas/aldea.map"),
        Written("3.zip created, 0 bytes on disk", "3.zip"),
        Written("3.zip >= 64 KiB (slow)", "3.zip", 1),
        Written("3.zip >= 128 KiB", "3.zip", 100 * 1024),
        Written("3.zip >= 256 KiB", "3.zip", 200 * 1024),
        Written("3.zip complete", "3.zip", ServedSize("3.zip")),
        Written("patch 4: 61st of 300 files", "Recursos/Muchos/f0060.txt"),
        Written("patch 4: 151st of 300 files", "Recursos/Muchos/f0150.txt"),
        Written("patch 4: last of 300 files", "Recursos/Muchos/f0299.txt"),
        Written("Update.ini replaced", kVersionRel),
    };
    ChainRun(c).Run();
}

TEST(UpdaterCrash, ResetToZeroCut) {
    Chain c{"reinicio", 12, {}, {}};
    c.points = {
        AfterWindow("window shown, local 12 above the server's 10", 0),
        Written("writing 0 (Update.ini.nuevo there)", kVersionTemp, 0, true),
        Written("0 written", kVersionRel),
        Written("3.zip >= 128 KiB (slow)", "3.zip", 100 * 1024),
    };
    ChainRun(c).Run();
}

// From 5, over the temporaries an earlier crash left; the later patches' downloads and the
// large file's extraction.
TEST(UpdaterCrash, LeftoversOfAnEarlierCrashDoNoHarm) {
    Chain c{"restos", 5, {}, {}};
    c.planted = {
        {"6.zip", "PK\x03\x04 cortado"},
        {kVersionTemp, " 9"},
        {kBigTemp, std::string(100 * 1024, 'x')},
        {"Recursos/Muchos/f0020.txt.vandrel-tmp", "f0020 a medias"},
        {"Recursos/Textos/leeme.txt.vandrel-tmp", "Léeme a medias"},
    };
    c.points = {
        AfterWindow("tick + 150 ms: asking for the count", 650),
        Written("6.zip >= 1 MiB (of 4.6 MiB)", "6.zip", kMiB),
        Written("patch 6: 8 MiB file, temp >= 1 MiB", kBigTemp, kMiB, true),
        Written("patch 6: 8 MiB file, temp >= 4 MiB", kBigTemp, 4 * kMiB, true),
        Written("patch 6: 8 MiB file, temp >= 7 MiB", kBigTemp, 7 * kMiB, true),
        Written("patch 6: 8 MiB file in place", "Recursos/Graficos/grande.grh"),
        Written("7.zip downloaded", "7.zip", ServedSize("7.zip")),
        Written("8.zip >= 64 KiB (slow)", "8.zip", 1),
        Written("patch 9: 50th file", "Recursos/Muchos/f0049.txt"),
        Gone("10.zip deleted, version not yet written", "10.zip", ServedSize("10.zip")),
    };
    ChainRun(c).Run();
}

// The last patch and the version write, from 9, where every run is short. The fleeting
// moments come twice; once a kill lands after the version write, the rest are skipped.
TEST(UpdaterCrash, LastPatchAndVersionWrite) {
    Chain c{"nueve", 9, {}, {}};
    c.points = {
        Written("10.zip downloaded", "10.zip", ServedSize("10.zip")),
        Written("patch 10: second file in place", "Recursos/Textos/diez.txt"),
        Written("Update.ini.nuevo there", kVersionTemp, 0, true),
        Gone("10.zip deleted, version not yet written", "10.zip", ServedSize("10.zip")),
        Written("Update.ini.nuevo there", kVersionTemp, 0, true),
        Gone("10.zip deleted, version not yet written", "10.zip", ServedSize("10.zip")),
        Written("Update.ini replaced", kVersionRel),
    };
    ChainRun(c).Run();
}

// The lines of the server's request log.
std::vector<std::string> RequestLog() {
    std::ifstream in(harness::FromUnix("VANDREL_TEST_ROOT") / ".peticiones", std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The requests for path from line `from` of the log on that continued a download (bytes=k-, k > 0).
int ContinuedRequests(const std::string& path, std::size_t from) {
    const std::vector<std::string> log = RequestLog();
    int continued = 0;
    for (std::size_t n = from; n < log.size(); ++n) {
        const std::string& line = log[n];
        if (line.rfind(path + " range=bytes=", 0) == 0 && line.find("range=bytes=0-") == std::string::npos) ++continued;
    }
    return continued;
}

// Slow downloads cut while their record is written, once it is there, and again after the
// next start continued them: each next start asks only for the rest, and whatever the kill,
// the folder and the version stay within the rule.
TEST(UpdaterCrash, InterruptedDownloadsAreContinued) {
    const std::size_t logged = RequestLog().size();
    Chain c{"reanudar", 2, {}, {}};
    c.points = {
        Written("3.zip.reanudar.nuevo there (record being written)", "3.zip.reanudar.nuevo", 0, true),
        Written("3.zip.reanudar there", "3.zip.reanudar"),
        Written("3.zip >= 128 KiB (slow)", "3.zip", 128 * 1024),
        Written("3.zip >= 256 KiB, continued", "3.zip", 256 * 1024),
        Written("3.zip complete", "3.zip", ServedSize("3.zip")),
        Written("8.zip >= 32 KiB (slow)", "8.zip", 32 * 1024),
        Written("8.zip >= 100 KiB, continued", "8.zip", 100 * 1024),
    };
    ChainRun(c).Run();
    EXPECT_GE(ContinuedRequests("/parches/3.zip", logged), 1);
    EXPECT_GE(ContinuedRequests("/parches/8.zip", logged), 1);
}

}  // namespace
