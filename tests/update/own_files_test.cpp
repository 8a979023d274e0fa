// The running program's own file in a patch: moved aside and replaced, moved back after a later
// failure, and what the next start finds and repairs at every step of the swap. The file seam
// here behaves as Windows does with a running executable: it can be renamed, not replaced or
// deleted.
#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <vector>

#include "core/runtime_error.h"
#include "tests/support/faulty_fs.h"
#include "tests/support/memory_fs.h"
#include "tests/unzip/zip_builder.h"
#include "updater/unzip/entry_name.h"
#include "updater/unzip/zip_extract.h"
#include "updater/update/own_files.h"

namespace {

using core::ErrorKind;
using testsupport::FaultyFileSystem;
using testsupport::MemoryFileSystem;
using ziptest::ZipBuilder;

const std::string kOwn = "/juego/Updater.exe";
const std::string kAside1 = "/juego/Updater.anterior-1.exe";

// MemoryFileSystem with running files: known by their content object, whatever name they have.
// Calls go on to below (the memory itself, or faults over it).
class RunningFileSystem final : public core::ForwardingFileSystem {
public:
    RunningFileSystem(MemoryFileSystem& m, core::FileSystem& below) : ForwardingFileSystem(below), m_m(m) {}
    explicit RunningFileSystem(MemoryFileSystem& m) : RunningFileSystem(m, m) {}
    bool IsRunning(const std::string& path) const {
        std::lock_guard<std::mutex> lock(m_m.guard);  // the lanes create files at once
        const auto it = m_m.files.find(MemoryFileSystem::Key(path));
        return it != m_m.files.end() && running.count(it->second.get()) != 0;
    }

    std::unique_ptr<core::FileWriter> CreateFile(const std::string& p) override {
        if (IsRunning(p)) core::Raise(ErrorKind::PermissionDenied, p);
        return Inner().CreateFile(p);
    }
    void Replace(const std::string& from, const std::string& to) override {
        if (IsRunning(to) || failInto.erase(MemoryFileSystem::Key(to)) != 0) core::Raise(ErrorKind::PathFileAccess, to);
        Inner().Replace(from, to);
    }
    void ReplaceUnflushed(const std::string& from, const std::string& to) override { Replace(from, to); }
    void DeleteFile(const std::string& p) override {
        if (IsRunning(p)) core::Raise(ErrorKind::PathFileAccess, p);
        Inner().DeleteFile(p);
    }
    void RemoveIfExists(const std::string& p) noexcept override {
        if (!IsRunning(p)) Inner().RemoveIfExists(p);
    }

    std::set<const std::string*> running;
    // Faults: the next move onto one of these fails.
    std::set<std::string> failInto;

private:
    MemoryFileSystem& m_m;
};

// The program's own files are the running ones; every step is recorded with the folder then.
class RunningOwnFiles final : public update::OwnFiles {
public:
    explicit RunningOwnFiles(RunningFileSystem& fs, const MemoryFileSystem& m) : m_fs(fs), m_m(m) {}
    bool Holds(const std::string& path) override { return m_fs.IsRunning(path); }
    void Reached(update::OwnFileStep step) override { steps.push_back({step, m_m.files}); }

    struct Moment {
        update::OwnFileStep step;
        std::map<std::string, std::shared_ptr<std::string>> files;
    };
    std::vector<Moment> steps;

private:
    RunningFileSystem& m_fs;
    const MemoryFileSystem& m_m;
};

class OwnFile : public ::testing::Test {
protected:
    OwnFile() {
        m.folders = {"/juego"};
        Put(kOwn, "MZ viejo");
        Put("/juego/a.txt", "viejo a");
        fs.running.insert(m.files[kOwn].get());
    }
    void Put(const std::string& path, const std::string& content) {
        m.files[path] = std::make_shared<std::string>(content);
    }
    std::string Get(const std::string& path) { return m.files.count(path) ? *m.files[path] : "<ninguno>"; }
    core::Outcome Run(const std::string& bytes, bool withOwn = true) {
        Put("/juego/7.zip", bytes);
        return unzip::ExtractArchive("/juego/7.zip", "/juego\\", fs, decoder, {}, withOwn ? &own : nullptr);
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> out;
        for (const auto& [path, content] : m.files) {
            if (path != "/juego/7.zip") out.push_back(path);
        }
        return out;
    }

    MemoryFileSystem m;
    FaultyFileSystem faulty{m};
    RunningFileSystem fs{m, faulty};
    RunningOwnFiles own{fs, m};
    unzip::Cp437Decoder decoder;
};

TEST(AsideNames, MadeAndRecognised) {
    const struct {
        std::string path;
        int slot;
        std::string aside;
    } rows[] = {
        {"C:\\Juego\\Updater.exe", 1, "C:\\Juego\\Updater.anterior-1.exe"},
        {"C:\\Juego\\updater.EXE", 8, "C:\\Juego\\updater.anterior-8.EXE"},
        {"C:\\Juego.v2\\LEEME", 3, "C:\\Juego.v2\\LEEME.anterior-3"},
        {"/juego/zlib.1.dll", 2, "/juego/zlib.1.anterior-2.dll"},
        {"C:\\Juego\\.exe", 1, "C:\\Juego\\.exe.anterior-1"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(update::AsideName(r.path, r.slot), r.aside);
        EXPECT_EQ(update::AsideOrigin(r.aside).value_or("<ninguno>"), r.path) << r.aside;
    }
    for (const char* plain :
         {"C:\\Juego\\Updater.exe", "C:\\Juego\\Updater.anterior-0.exe", "C:\\Juego\\Updater.anterior-9.exe",
          "C:\\Juego\\Updater.anterior-12.exe", "C:\\Juego\\Updater.anterior-.exe",
          "C:\\Juego\\Updater.anterior-1x.exe", "C:\\Juego\\Updater.anterior-1.exe.txt", "C:\\Juego\\.anterior-1.exe",
          "C:\\Juego.anterior-1\\Updater.exe", "C:\\Juego\\Updater.anterior-1.ex.e", ""}) {
        EXPECT_FALSE(update::AsideOrigin(plain).has_value()) << plain;
    }
}

TEST_F(OwnFile, ReplacedByMovingTheRunningFileAside) {
    const auto zip = ZipBuilder().File("a.txt", "nuevo a").File("Updater.exe", "MZ nuevo").Build().bytes;
    ASSERT_FALSE(Run(zip, false).ok);  // without knowing its own files: in use, as before
    EXPECT_EQ(Get(kOwn), "MZ viejo");

    const core::Outcome o = Run(zip);
    ASSERT_TRUE(o.ok) << o.reason;
    EXPECT_EQ(Get(kOwn), "MZ nuevo");
    EXPECT_EQ(Get(kAside1), "MZ viejo");
    EXPECT_TRUE(fs.IsRunning(kAside1));
    EXPECT_EQ(Names(),
              (std::vector<std::string>{"/juego/Updater.anterior-1.exe", "/juego/Updater.exe", "/juego/a.txt"}));

    // A second patch in the same run finds a file that no longer runs: a plain replacement.
    const core::Outcome again = Run(ZipBuilder().File("Updater.exe", "MZ otro").Build().bytes);
    ASSERT_TRUE(again.ok) << again.reason;
    EXPECT_EQ(Get(kOwn), "MZ otro");
    EXPECT_EQ(Get(kAside1), "MZ viejo");
    EXPECT_EQ(Names().size(), 3u);
}

TEST_F(OwnFile, LaterFailureMovesTheRunningFileBack) {
    Put("/juego/Vandrel.exe", "MZ juego");
    faulty.failReplace = "/juego/Vandrel.exe";  // the game is running
    const auto zip = ZipBuilder().File("Updater.exe", "MZ nuevo").File("Vandrel.exe", "MZ juego nuevo").Build().bytes;
    const core::Outcome o = Run(zip);
    ASSERT_FALSE(o.ok);
    EXPECT_EQ(o.reason,
              "no se pudo reemplazar «Vandrel.exe»: está en uso o protegido (cierre el juego y vuelva a intentarlo)");
    EXPECT_EQ(Get(kOwn), "MZ viejo");
    EXPECT_TRUE(fs.IsRunning(kOwn));
    EXPECT_EQ(Names(), (std::vector<std::string>{"/juego/Updater.exe", "/juego/Vandrel.exe", "/juego/a.txt"}));
    ASSERT_FALSE(own.steps.empty());
    EXPECT_EQ(own.steps.back().step, update::OwnFileStep::Restored);
}

TEST_F(OwnFile, FailedMoveOfTheNewFileIsUndoneAtOnce) {
    fs.failInto = {"/juego/Updater.exe"};
    const core::Outcome o = Run(ZipBuilder().File("Updater.exe", "MZ nuevo").Build().bytes);
    ASSERT_FALSE(o.ok);
    EXPECT_NE(o.reason.find("no se pudo reemplazar «Updater.exe»"), std::string::npos) << o.reason;
    EXPECT_TRUE(fs.IsRunning(kOwn));
    EXPECT_EQ(Names(), (std::vector<std::string>{"/juego/Updater.exe", "/juego/a.txt"}));
}

TEST_F(OwnFile, AsideSlotsStillInUseAreSkippedAndStaleOnesReused) {
    const auto zip = ZipBuilder().File("Updater.exe", "MZ nuevo").Build().bytes;
    // Slot 1 holds a stale copy (removed and reused); with 1 and 2 in use, slot 3.
    Put(kAside1, "MZ muy viejo");
    ASSERT_TRUE(Run(zip).ok);
    EXPECT_EQ(Get(kAside1), "MZ viejo");

    for (int slot = 1; slot <= update::kAsideSlots; ++slot) {
        const std::string name = update::AsideName(kOwn, slot);
        std::string content = "MZ en uso ";
        content += std::to_string(slot);
        if (!m.files.count(name)) Put(name, content);
        fs.running.insert(m.files[name].get());
    }
    fs.running.insert(m.files[kOwn].get());
    fs.running.erase(m.files["/juego/Updater.anterior-3.exe"].get());
    ASSERT_TRUE(Run(ZipBuilder().File("Updater.exe", "MZ otro").Build().bytes).ok);
    EXPECT_EQ(Get("/juego/Updater.anterior-3.exe"), "MZ nuevo");
    EXPECT_EQ(Get(kOwn), "MZ otro");

    // Every slot in use: the file counts as in use, nothing moves.
    fs.running.insert(m.files[kOwn].get());
    fs.running.insert(m.files["/juego/Updater.anterior-3.exe"].get());
    const core::Outcome o = Run(ZipBuilder().File("Updater.exe", "MZ último").Build().bytes);
    ASSERT_FALSE(o.ok);
    EXPECT_NE(o.reason.find("está en uso o protegido"), std::string::npos) << o.reason;
    EXPECT_EQ(Get(kOwn), "MZ otro");
    EXPECT_FALSE(m.files.count(kOwn + std::string(unzip::kTemporarySuffix)));
}

TEST_F(OwnFile, NextStartRepairs) {
    // From its own name: the aside copies go, except one still in use.
    Put(kAside1, "MZ viejo 1");
    Put("/juego/Updater.anterior-2.exe", "MZ viejo 2");
    Put("/juego/Updater.anterior-8.exe", "MZ viejo 8");
    fs.running.insert(m.files["/juego/Updater.anterior-2.exe"].get());
    EXPECT_EQ(update::RepairOwnFile(fs, "/juego\\Updater.exe"), "/juego\\Updater.exe");
    EXPECT_EQ(Names(),
              (std::vector<std::string>{"/juego/Updater.anterior-2.exe", "/juego/Updater.exe", "/juego/a.txt"}));

    // From an aside copy while the own name is there: nothing moves.
    EXPECT_EQ(update::RepairOwnFile(fs, "/juego/Updater.anterior-2.exe"), "/juego/Updater.anterior-2.exe");
    EXPECT_EQ(Names().size(), 3u);

    // From an aside copy with no file at the own name: it moves back, and runs from there.
    m.files.erase(kOwn);
    EXPECT_EQ(update::RepairOwnFile(fs, "/juego/Updater.anterior-2.exe"), "/juego/Updater.exe");
    EXPECT_EQ(Get(kOwn), "MZ viejo 2");
    EXPECT_TRUE(fs.IsRunning(kOwn));
    EXPECT_EQ(Names(), (std::vector<std::string>{"/juego/Updater.exe", "/juego/a.txt"}));
}

// A kill at any step of the swap: the folder then holds a program to start (the own name, or
// else an aside copy), and that start leaves the old or the new program at the own name.
TEST_F(OwnFile, EveryStepLeavesAStartableProgramThatRepairs) {
    ASSERT_TRUE(Run(ZipBuilder().File("a.txt", "nuevo a").File("Updater.exe", "MZ nuevo").Build().bytes).ok);
    std::vector<update::OwnFileStep> seen;
    for (const auto& moment : own.steps) seen.push_back(moment.step);
    ASSERT_EQ(seen, (std::vector<update::OwnFileStep>{update::OwnFileStep::Ready, update::OwnFileStep::Aside,
                                                      update::OwnFileStep::Replaced}));
    for (const auto& moment : own.steps) {
        SCOPED_TRACE(static_cast<int>(moment.step));
        MemoryFileSystem after;  // the folder as the kill left it; nothing runs any more
        after.folders = m.folders;
        after.files = moment.files;
        RunningFileSystem afterFs(after);
        std::string start = kOwn;
        if (!after.files.count(kOwn)) {
            start.clear();
            for (int slot = 1; slot <= update::kAsideSlots && start.empty(); ++slot) {
                if (after.files.count(update::AsideName(kOwn, slot))) start = update::AsideName(kOwn, slot);
            }
        }
        ASSERT_FALSE(start.empty()) << "nothing to start";
        afterFs.running.insert(after.files[start].get());
        EXPECT_EQ(update::RepairOwnFile(afterFs, start), kOwn);
        const std::string shown = after.files.count(kOwn) ? *after.files[kOwn] : "<ninguno>";
        EXPECT_TRUE(shown == "MZ viejo" || shown == "MZ nuevo") << shown;
        // The one start then extracts the patch again over what it found.
        unzip::Cp437Decoder cp;
        RunningOwnFiles afterOwn(afterFs, after);
        after.files["/juego/7.zip"] = m.files["/juego/7.zip"];
        ASSERT_TRUE(unzip::ExtractArchive("/juego/7.zip", "/juego", afterFs, cp, {}, &afterOwn).ok);
        EXPECT_EQ(*after.files[kOwn], "MZ nuevo");
    }
}

}  // namespace
