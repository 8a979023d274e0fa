// The full check (/reparar): what it finds for each way an installed file can differ, the bar's
// bytes, and the window's side of it.
#include "updater/update/full_check.h"

#include <gtest/gtest.h>

#include "core/crypto.h"
#include "core/runtime_error.h"
#include "tests/support/memory_fs.h"
#include "tests/update/fakes.h"
#include "updater/update/dir_image.h"
#include "updater/update/update_run.h"

namespace {

const std::string kRoot = "C:/Juego";
const std::vector<std::pair<std::string, std::string>> kFiles = {
    {"a.txt", "alfa"}, {"b/c.bin", std::string(5u << 20, 'c')}, {"b/d.txt", "delta"}, {"e.txt", ""}};

// Patches 2, 3, 1, 2 for kFiles; viejo.txt deleted, z a folder.
update::InstallState State() {
    std::string body = "estado-vandrel 1\r\nserie 7\r\nversion 3\r\n";
    for (std::size_t i = 0; i < kFiles.size(); ++i) {
        const auto& [path, content] = kFiles[i];
        body += "archivo " + std::to_string((i + 1) % 3 + 1) + " " + std::to_string(content.size()) + " " +
                core::crypto::HexOf(core::crypto::Sha256Of(content)) + " " + path + "\r\n";
    }
    body +=
        "borrado 2 viejo.txt\r\ncarpeta 3 z\r\nfirma " + std::string(16, '0') + " " + std::string(86, 'A') + "==\r\n";
    return update::ParseState(body).value;
}

// Opening a file whose path holds `locked` raises, as for a file another program holds.
struct LockedFiles final : core::ForwardingFileSystem {
    using ForwardingFileSystem::ForwardingFileSystem;
    std::unique_ptr<core::FileReader> OpenRead(const std::string& path) override {
        if (!locked.empty() && path.find(locked) != std::string::npos) core::Raise(core::ErrorKind::PermissionDenied);
        return Inner().OpenRead(path);
    }
    std::string locked;
};

std::string Describe(const update::CatchUpNeed& need) {
    std::string out;
    for (const auto& [patch, lines] : need.files) {
        for (const auto& line : lines) ((out += ' ') += std::to_string(patch) + ":") += line.path;
    }
    for (const auto& f : need.folders) (out += " +") += f;
    for (const auto& d : need.deletions) (out += " -") += d;
    return out;
}

TEST(FullCheck, FindsEveryWayAFileDiffersAndTouchesNothing) {
    const std::uint64_t all = 4 + (5u << 20) + 5;
    std::string lastByte(5u << 20, 'c');
    lastByte.back() = 'x';
    // A path and its new content (empty path: none), a folder or file to remove, a locked file.
    struct Case {
        std::vector<std::pair<std::string, std::string>> put;
        std::string remove, folder, locked, needed;
        std::uint64_t hashed;  // the bytes the bar counts: files of the right size
    } cases[] = {
        {{}, "", "", "", "", all},
        {{{"b/d.txt", "DELTA"}}, "", "", "", " 1:b/d.txt", all},
        {{{"b/c.bin", lastByte}}, "", "", "", " 3:b/c.bin", all},
        {{}, "a.txt", "", "", " 2:a.txt", all - 4},
        {{{"a.txt", "ALFA"}, {"e.txt", "x"}}, "", "", "", " 2:a.txt 2:e.txt", all},  // by content and by size
        {{}, "b/d.txt", "b/d.txt", "", " 1:b/d.txt", all - 5},                       // a folder in its place
        {{}, "", "", "d.txt", " 1:b/d.txt", all},
        {{{"viejo.txt", "v"}, {"ajeno.txt", "mío"}}, "z", "", "", " +z -viejo.txt", all},
    };
    for (const Case& c : cases) {
        testsupport::MemoryFileSystem memory;
        memory.folders = {kRoot, kRoot + "/b", kRoot + "/z"};
        for (const auto& [path, content] : kFiles)
            memory.files[kRoot + "/" + path] = std::make_shared<std::string>(content);
        for (const auto& [path, content] : c.put)
            memory.files[kRoot + "/" + path] = std::make_shared<std::string>(content);
        memory.files.erase(kRoot + "/" + c.remove);
        memory.folders.erase(kRoot + "/" + c.remove);
        if (!c.folder.empty()) memory.folders.insert(kRoot + "/" + c.folder);
        LockedFiles fs(memory);
        fs.locked = c.locked;
        memory.changed.clear();
        std::vector<std::pair<std::uint64_t, std::uint64_t>> seen;
        const auto need = update::FullCheck(State(), fs, kRoot, [&](auto done, auto total) {
            seen.push_back({done, total});
        });
        EXPECT_EQ(Describe(need), c.needed) << c.needed;
        EXPECT_TRUE(memory.changed.empty() && memory.openReaders == 0) << c.needed;
        // From 0 to all the bytes, never back, the large file in several pieces.
        ASSERT_GE(seen.size(), 4u) << c.needed;
        EXPECT_EQ(seen.front(), std::make_pair(std::uint64_t{0}, c.hashed)) << c.needed;
        EXPECT_EQ(seen.back(), std::make_pair(c.hashed, c.hashed)) << c.needed;
        for (std::size_t i = 1; i < seen.size(); ++i) EXPECT_LE(seen[i - 1].first, seen[i].first) << c.needed;
    }
}

TEST(FullCheck, TheConsoleTheBarAndTheLabel) {
    fakes::FakePlatform p;
    update::cDirImage dir(*p.platform);
    std::filesystem::create_directories(p.Path("b"));
    std::filesystem::create_directories(p.Path("z"));
    for (const auto& [path, content] : kFiles) p.WriteFile(path, content);
    p.WriteFile("b/d.txt", "DELTA");
    const int pumped = p.pump.calls;
    EXPECT_EQ(Describe(dir.CheckInstalled(State(), {true})), " 1:b/d.txt");
    EXPECT_EQ(p.console.Texts(), std::vector<std::string>{"Comprobando los archivos del juego..."});
    const auto captions = p.progress.Captions();
    ASSERT_GE(captions.size(), 2u);
    EXPECT_EQ(captions.front(), "[0% Completado.]");
    EXPECT_EQ(captions.back(), "[100% Completado.]");
    EXPECT_GT(p.pump.calls, pumped + 2);
    // The quick check says nothing and reads no content.
    p.WriteFile("a.txt", "ALF");
    EXPECT_EQ(Describe(dir.CheckInstalled(State(), {false})), " 2:a.txt");
    EXPECT_EQ(p.console.Texts().size(), 1u);
}

}  // namespace
