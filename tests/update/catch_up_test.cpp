// A keyed Updater with a signed state: each changed file fetched once, deletions, self-repair, the
// journal finished after a cut at any step, and the usual path without a usable state.
#include "updater/update/catch_up.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "core/crypto.h"
#include "core/runtime_error.h"
#include "fakes.h"
#include "tests/support/faulty_fs.h"
#include "tests/unzip/zip_builder.h"
#include "updater/update/disk_room.h"
#include "updater/update/mensajes.h"
#include "updater/update/version_file.h"

namespace {

using fakes::kBase;
const core::crypto::KeyPair kKey = core::crypto::GenerateP256();

std::string Sign(const std::string& body) {
    return body + update::FormatSignatureLine(kKey.point, core::crypto::SignP256(kKey, body));
}
std::string Hash(const std::string& s) { return core::crypto::HexOf(core::crypto::Sha256Of(s)); }

// Bytes that do not compress, so that an entry's compressed size is about its size.
std::string Noise(std::size_t size, unsigned seed) {
    std::string s(size, '\0');
    for (char& c : s) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
    return s;
}

struct Patch {
    std::map<std::string, std::string> files;
    std::vector<std::string> folders, deleted;
};

// patch 1: big.bin superseded by 3, keep.txt, a.txt superseded by 2, old.txt deleted by 2, a folder.
const std::vector<Patch> kPatches = {
    {{{"big.bin", Noise(200000, 1)}, {"keep.txt", Noise(3000, 2)}, {"a.txt", "uno"}, {"old.txt", "viejo"}},
     {"vacia"},
     {}},
    {{{"a.txt", "dos"}, {"sub/huge.bin", Noise(100000, 3)}}, {}, {"old.txt"}},
    {{{"big.bin", Noise(200000, 4)}, {"b.txt", Noise(1000, 5)}}, {}, {}},
};

// The server's side: archives, list and state of patches 1..n, and the files after each.
struct Publication {
    std::vector<std::string> archives;
    std::map<std::string, std::string> lines;  // the state's, by path
    std::vector<std::map<std::string, std::string>> after = {{}};
    std::string list, state;
    std::map<std::string, std::string> requests;  // per archive number: 'p' a part, 'g' a whole GET
    std::map<std::string, std::size_t> sent;      // per archive number: body bytes served

    explicit Publication(const std::vector<Patch>& patches) {
        std::vector<update::ListedPatch> listed;
        for (std::size_t n = 1; n <= patches.size(); ++n) {
            const Patch& p = patches[n - 1];
            ziptest::ZipBuilder b;
            std::map<std::string, std::string> files = after.back();
            const std::string number = std::to_string(n);
            for (const auto& [path, content] : p.files) {
                b.File(path, content);
                files[path] = content;
                lines[path] = "archivo " + number + " " + std::to_string(content.size()) + " " + Hash(content);
            }
            for (const std::string& f : p.folders) b.Folder(f + "/"), lines[f] = "carpeta " + number;
            for (const std::string& d : p.deleted) files.erase(d), lines[d] = "borrado " + number;
            after.push_back(files);
            archives.push_back(b.Build().bytes);
            listed.push_back({static_cast<std::int64_t>(archives.back().size()), Hash(archives.back())});
        }
        list = Sign(update::FormatListBody(100, listed));
        Seal();
    }
    void Seal() {
        std::string body = "estado-vandrel 1\r\nserie 100\r\nversion " + std::to_string(archives.size()) + "\r\n";
        for (const auto& [path, line] : lines) body += line + " " + path + "\r\n";
        state = Sign(body);
    }
    void Serve(fakes::Http& http) {
        seenParts = http.parts.size();
        http.scripts[update::CountUrl(kBase)] = fakes::Body(list);
        http.scripts[update::StateUrl(kBase)] = fakes::Body(state);
        for (std::size_t n = 1; n <= archives.size(); ++n) {
            const std::string bytes = archives[n - 1], number = std::to_string(n);
            http.servers[update::PatchUrl(kBase, number)] = [this, &http, bytes, number](const update::RangeRequest&) {
                const bool part = http.parts.size() > seenParts;
                seenParts = http.parts.size();
                requests[number] += part ? 'p' : 'g';
                if (!part || !ranges) return sent[number] += bytes.size(), fakes::Body(bytes);
                const auto [first, last] = http.parts.back();
                const std::string body = failedParts > 0 && failedParts-- ? "" : bytes.substr(first, last - first + 1);
                sent[number] += body.size();
                fakes::Script s = fakes::Body(body);
                s.status = s.chunks.empty() ? 503 : update::kHttpPartial;
                s.headers[update::Header::ContentRange] =
                    "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" + std::to_string(bytes.size());
                return s;
            };
        }
    }
    bool ranges = true;
    std::size_t seenParts = 0;  // part requests answered so far
    int failedParts = 0;        // the next ones answered 503
};

// An installation at version v holding the files of patches 1..v (and mine.txt, which no state names).
struct Installation : fakes::FakePlatform {
    Installation(const Publication& pub, std::int16_t v) {
        for (const auto& [path, content] : pub.after[v]) {
            std::filesystem::create_directories(std::filesystem::path(Path(path)).parent_path());
            WriteFile(path, content);
        }
        if (v >= 1) std::filesystem::create_directories(Path("vacia"));  // patch 1's folder
        WriteFile("mine.txt", "mío");
        WriteFile("Recursos/OUTPUT/Update.ini", update::FormatVersionFile(v));
    }
    std::optional<update::ProgramEnd> Run(core::FileSystem& fs = core::RealFileSystem()) {
        update::Platform p{fs,       http, console, progress,        pump, sound, sleeper, clock,
                           launcher, root, '.',     update::NoLog(), {},   held};
        update::cDirImage dir(p);
        fakes::Extractor x(fs);
        return update::BuscarActualizaciones(dir, x, kBase, {kKey.point});
    }
    // Every path of files has its content, and the named files nothing else has are absent.
    bool Holds(const std::map<std::string, std::string>& files, const Publication& pub) const {
        for (const auto& [path, line] : pub.lines) {
            const auto it = files.find(path);
            if (line.starts_with("archivo") && (it == files.end() ? Exists(path) : ReadFile(path) != it->second))
                return false;
        }
        return ReadFile("mine.txt") == "mío";
    }
    std::string Last() const { return console.Texts().back(); }
    unzip::HeldFiles* held = nullptr;
};

// The running program's own file, which only its own replacement may touch.
struct OwnUpdater final : unzip::HeldFiles {
    bool Holds(const std::string& path) override { return path.ends_with("Updater.exe"); }
    std::string Replace(core::FileSystem& fs, const std::string& t, const std::string& p) override {
        return fs.Replace(t, p), std::string();
    }
    void Undo(core::FileSystem&, const std::string&, const std::string&) override {}
};

TEST(CatchUp, FetchesEachFileOnceWholeOrByRanges) {
    struct Case {
        const char* name;
        std::int16_t installed;
        bool ranges;
        std::map<std::string, std::string> requests;
        int failedParts = 0;
    };
    const std::vector<Case> cases = {
        // 1: keep.txt alone is a small part (directory, then one range); 2: most of it; 3: the newest.
        // 2 goes whole once its directory is read: the bytes before the end already fetched.
        {"desde cero", 0, true, {{"1", "pp"}, {"2", "pp"}, {"3", "g"}}},
        {"desde la 1", 1, true, {{"2", "pp"}, {"3", "g"}}},
        {"servidor sin Range", 0, false, {{"1", "pg"}, {"2", "pg"}, {"3", "g"}}},
        {"dos partes fallidas, otro intento", 1, true, {{"2", "pppp"}, {"3", "g"}}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Publication pub(kPatches);
        pub.ranges = c.ranges;
        pub.failedParts = c.failedParts;
        Installation inst(pub, c.installed);
        pub.Serve(inst.http);
        EXPECT_FALSE(inst.Run());
        EXPECT_EQ(pub.requests, c.requests);
        for (const auto& [number, bytes] : pub.sent) {  // never more than the patch fetched whole
            EXPECT_TRUE(!c.ranges || bytes <= pub.archives[std::stoul(number) - 1].size()) << number << ": " << bytes;
        }
        EXPECT_TRUE(inst.Holds(pub.after[3], pub));
        EXPECT_FALSE(inst.Exists("old.txt"));
        EXPECT_TRUE(std::filesystem::is_directory(inst.Path("vacia")));
        EXPECT_EQ(inst.ReadFile("Recursos/OUTPUT/Update.ini"), update::FormatVersionFile(3));
        EXPECT_EQ(inst.ReadFile("Recursos/OUTPUT/Estado.txt"), pub.state);
        EXPECT_FALSE(inst.Exists("Recursos/OUTPUT/Estado.parcial"));
        EXPECT_EQ(inst.Last(), update::mensajes::kActualizado);
    }
}

TEST(CatchUp, DamagedPatchReplacesNothingAndStagedFilesStay) {
    Publication pub(kPatches);
    pub.lines["b.txt"] = "archivo 3 1000 " + Hash(Noise(1000, 6));
    pub.Seal();
    Installation inst(pub, 0);
    pub.Serve(inst.http);
    EXPECT_FALSE(inst.Run());
    EXPECT_EQ(inst.Last(), update::mensajes::NoInstalada("3", update::mensajes::ContenidoDistinto("b.txt")));
    EXPECT_TRUE(inst.Holds(pub.after[0], pub));
    EXPECT_EQ(inst.ReadFile("Recursos/OUTPUT/Update.ini"), update::FormatVersionFile(0));
    // What passed is not fetched again: only patch 3 is asked for.
    pub.lines["b.txt"] = "archivo 3 1000 " + Hash(Noise(1000, 5));
    pub.Seal();
    pub.requests.clear();
    inst.WriteFile("Recursos/OUTPUT/Estado.txt", "");
    pub.Serve(inst.http);
    EXPECT_FALSE(inst.Run());
    EXPECT_EQ(pub.requests, (std::map<std::string, std::string>{{"3", "g"}}));
    EXPECT_TRUE(inst.Holds(pub.after[3], pub));
    // A disk without room for the files of patch 1 (keep.txt): nothing fetched.
    testsupport::FaultyFileSystem small;
    small.freeBytes = 1000;
    Installation full(pub, 0);
    pub.Serve(full.http);
    EXPECT_FALSE(full.Run(small));
    EXPECT_EQ(full.Last(), update::NoRoomLine(update::kExtractionMargin + 4096 + 1024 - 1000, "1"));
    // A server that keeps failing: the attempts of a download, then the patch's red line.
    Installation offline(pub, 1);
    pub.failedParts = 99;
    pub.Serve(offline.http);
    EXPECT_FALSE(offline.Run());
    EXPECT_EQ(offline.Last(), update::mensajes::NoInstalada("2", update::mensajes::Respondio("503")));
    EXPECT_EQ(offline.ReadFile("Recursos/OUTPUT/Update.ini"), update::FormatVersionFile(1));
}

TEST(CatchUp, DeletesOnlyNamedFilesThatAreNotUpdaters) {
    Publication pub(kPatches);
    for (const char* kept : {"Recursos/OUTPUT/Serie.ini", "Recursos/OUTPUT/Update.ini", "vacia", "Updater.exe"})
        pub.lines[kept] = "borrado 2";
    pub.Seal();
    Installation inst(pub, 1);
    std::filesystem::create_directories(inst.Path("vacia"));
    inst.WriteFile("Updater.exe", "MZ");
    OwnUpdater own;
    inst.held = &own;
    pub.Serve(inst.http);
    EXPECT_FALSE(inst.Run());
    EXPECT_FALSE(inst.Exists("old.txt"));
    EXPECT_TRUE(std::filesystem::is_directory(inst.Path("vacia")));
    EXPECT_TRUE(inst.Exists("Recursos/OUTPUT/Serie.ini"));
    EXPECT_EQ(inst.ReadFile("Updater.exe"), "MZ");
    EXPECT_EQ(inst.ReadFile("Recursos/OUTPUT/Update.ini"), update::FormatVersionFile(3));
    EXPECT_EQ(inst.ReadFile("mine.txt"), "mío");
}

TEST(CatchUp, UpToDateInstallationRepairsItselfWithoutNetworkWhenWhole) {
    struct Case {
        const char* name;
        std::function<void(Installation&)> damage;
        std::string line;  // before "Listo."; empty: nothing to repair
        std::map<std::string, std::string> requests;
        std::int16_t installed = 3;
    };
    const std::vector<Case> cases = {
        {"intacta", [](Installation&) {}, "", {}},
        // Behind: what the catch-up does not fetch is checked once it is in place.
        {"atrasada y sin un archivo anterior",
         [](Installation& i) { std::filesystem::remove(i.Path("keep.txt")); },
         "Reparando 1 archivo...",
         {{"1", "pp"}, {"3", "g"}},
         2},
        {"falta un archivo",
         [](Installation& i) { std::filesystem::remove(i.Path("keep.txt")); },
         "Reparando 1 archivo...",
         {{"1", "pp"}}},
        {"otro tamaño y un borrado presente",
         [](Installation& i) { i.WriteFile("b.txt", "x"), i.WriteFile("old.txt", "y"); },
         "Reparando 2 archivos...",
         {{"3", "pp"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Publication pub(kPatches);
        Installation inst(pub, c.installed);
        inst.WriteFile("Recursos/OUTPUT/Estado.txt", pub.state);
        pub.Serve(inst.http);
        c.damage(inst);
        EXPECT_FALSE(inst.Run());
        EXPECT_EQ(pub.requests, c.requests);
        EXPECT_TRUE(inst.Holds(pub.after[3], pub));
        EXPECT_FALSE(inst.Exists("old.txt"));
        const std::vector<std::string> texts = inst.console.Texts();
        const auto repair = std::find_if(texts.begin(), texts.end(), [](auto& t) { return t.starts_with("Repar"); });
        EXPECT_EQ(repair == texts.end() ? "" : *repair, c.line);
        EXPECT_EQ(inst.Last(), update::mensajes::kActualizado);
    }
}

// Every change past the first budget ones fails, as when the machine stops there.
class CutFileSystem final : public core::ForwardingFileSystem {
public:
    explicit CutFileSystem(long budget) : ForwardingFileSystem(core::RealFileSystem()), left(budget) {}
    std::unique_ptr<core::FileWriter> CreateFile(const std::string& p) override {
        return Spend(), Inner().CreateFile(p);
    }
    void Replace(const std::string& a, const std::string& b) override { Spend(), Inner().Replace(a, b); }
    void ReplaceUnflushed(const std::string& a, const std::string& b) override { Spend(), Inner().Replace(a, b); }
    void DeleteFile(const std::string& p) override { Spend(), Inner().DeleteFile(p); }
    void CreateDirectory(const std::string& p) override { Spend(), Inner().CreateDirectory(p); }
    void RemoveIfExists(const std::string& p) noexcept override { left-- > 0 ? Inner().RemoveIfExists(p) : void(); }
    void Spend() { left-- > 0 ? void() : core::Raise(core::ErrorKind::PathFileAccess, "corte"); }
    long left;
};

TEST(CatchUp, CutAtAnyStepLeavesTheOldOrTheNewVersionWithWholeFiles) {
    Publication pub(kPatches);
    long steps = 0;
    {
        Installation inst(pub, 1);
        pub.Serve(inst.http);
        CutFileSystem count(1L << 30);
        inst.Run(count);
        steps = (1L << 30) - count.left;
    }
    std::set<std::string> ends;  // versions after the offline start: both must occur
    for (long k = 0; k <= steps; ++k) {
        SCOPED_TRACE(k);
        Installation inst(pub, 1);
        pub.Serve(inst.http);
        CutFileSystem cut(k);
        EXPECT_NO_THROW(try { inst.Run(cut); } catch (const core::RuntimeError&){});
        inst.http.scripts.clear(), inst.http.servers.clear();  // offline: only the journal moves it on
        EXPECT_FALSE(inst.Run());
        const std::string version = inst.ReadFile("Recursos/OUTPUT/Update.ini");
        ends.insert(version);
        if (version == update::FormatVersionFile(3)) {
            EXPECT_TRUE(inst.Holds(pub.after[3], pub));
        } else {
            EXPECT_EQ(version, update::FormatVersionFile(1));
            for (const auto& [path, content] : pub.after[3]) {
                const auto old = pub.after[1].find(path);
                const std::string now = inst.Exists(path) ? inst.ReadFile(path) : content;
                EXPECT_TRUE(now == content || (old != pub.after[1].end() && old->second == now)) << path;
            }
        }
        pub.Serve(inst.http);
        EXPECT_FALSE(inst.Run());
        EXPECT_TRUE(inst.Holds(pub.after[3], pub));
        EXPECT_EQ(inst.ReadFile("Recursos/OUTPUT/Update.ini"), update::FormatVersionFile(3));
        EXPECT_FALSE(inst.Exists("Recursos/OUTPUT/Estado.parcial"));  // nothing staged is left behind
    }
    EXPECT_EQ(ends.size(), 2u);
}

TEST(CatchUp, WithoutAUsableStateTheRunInstallsPatchAfterPatch) {
    const std::vector<std::function<void(Publication&)>> bend = {
        [](Publication& p) { p.state = "estado-vandrel 1\r\n"; },
        [](Publication& p) { p.state.back() = 'X'; },
        [](Publication& p) { p.state = Sign("estado-vandrel 1\r\nserie 100\r\nversion 2\r\n"); },
    };
    for (std::size_t i = 0; i < bend.size(); ++i) {
        SCOPED_TRACE(i);
        Publication pub(kPatches);
        bend[i](pub);
        Installation inst(pub, 1);
        pub.Serve(inst.http);
        EXPECT_FALSE(inst.Run());
        EXPECT_EQ(pub.requests, (std::map<std::string, std::string>{{"2", "g"}, {"3", "g"}}));
        EXPECT_TRUE(inst.Exists("old.txt"));  // no deletions
        EXPECT_FALSE(inst.Exists("Recursos/OUTPUT/Estado.txt"));
        EXPECT_EQ(inst.Last(), update::mensajes::kActualizado);
    }
}

TEST(CatchUp, JournalFormAndProtectedFiles) {
    const std::string text = update::FormatApplyJournal({3, {"d/e"}, {{7, "a b.txt"}}, {"x/y.txt"}});
    EXPECT_EQ(update::FormatApplyJournal(update::ParseApplyJournal(text).value()), text);
    for (const char* bad : {"aplicar-vandrel 2\r\n", "aplicar-vandrel 1\r\nborrar ../x\r\n",
                            "aplicar-vandrel 1\r\nmover 0 a\r\n", "aplicar-vandrel 1\r\nborrar a\n",
                            "aplicar-vandrel 1\r\ncarpeta d\r\nversion 3\r\n", "aplicar-vandrel 1\r\nmover 1\r\n"})
        EXPECT_FALSE(update::ParseApplyJournal(bad)) << bad;
    for (const char* kept : {"Recursos/OUTPUT/Update.ini", "recursos/output/SERIE.INI", "Recursos/OUTPUT/Estado.txt",
                             "Recursos/OUTPUT/Updater.log", "Recursos/OUTPUT/Estado.parcial/1.dat"})
        EXPECT_TRUE(update::NeverDeleted(kept)) << kept;
    for (const char* gone : {"Recursos/OUTPUT/Estado.parcial.txt", "Update.ini", "old.txt"})
        EXPECT_FALSE(update::NeverDeleted(gone)) << gone;
}

}  // namespace
