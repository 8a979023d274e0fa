// parches/estado.txt: built across a chain of patches made by crear (deletions carried in the
// archive's comment), written before version.txt, kept by the record, restored, published for
// an older record by «parchear estado», and checked by comprobar.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/crypto.h"
#include "tests/parchear/helpers.h"
#include "updater/unzip/name_decoder.h"
#include "updater/unzip/zip_extract.h"
#include "updater/update/state_file.h"

namespace {

using parchtest::Exists;
using testsupport::ReadBytes;
using testsupport::Tree;
using testsupport::U8Path;
using testsupport::WriteBytes;

class StateTest : public ::testing::Test {
protected:
    StateTest() { std::filesystem::create_directories(U8Path(server + "/parches")); }
    std::string Parches() const { return server + "/parches"; }
    std::string Key() {
        const std::string key = dir.Path() + "/k.pem";
        if (!Exists(key)) {
            EXPECT_EQ(parchtest::Run({"clave", "nueva", key}).code, 0);
        }
        return key;
    }
    // crear from old to now, then publicar; the archive is left at zip.
    parchtest::RunResult CrearYPublicar(const Tree& old, const Tree& now, const std::string& zip, bool signedList) {
        std::filesystem::remove_all(U8Path(dir.Path() + "/a"));
        std::filesystem::remove_all(U8Path(dir.Path() + "/b"));
        std::filesystem::create_directories(U8Path(dir.Path() + "/a"));
        std::filesystem::create_directories(U8Path(dir.Path() + "/b"));
        testsupport::WriteTree(U8Path(dir.Path() + "/a"), old);
        testsupport::WriteTree(U8Path(dir.Path() + "/b"), now);
        const auto made = parchtest::Run({"crear", dir.Path() + "/a", dir.Path() + "/b", zip});
        if (made.code != 0) return made;
        std::vector<std::string> args = {"publicar", zip, server, "--registro", rec};
        if (signedList) args.insert(args.end(), {"--clave", Key()});
        return parchtest::Run(args);
    }
    // The state's lines as "<kind> <n> <path>", the file's size after a file's path.
    std::vector<std::string> Lines() {
        const update::StateRead read = update::ParseState(ReadBytes(U8Path(Parches() + "/estado.txt")));
        EXPECT_TRUE(read.ok) << read.reason;
        std::vector<std::string> lines;
        for (const update::StateLine& l : read.value.lines) {
            const char* kind = l.kind == update::StateLineKind::File     ? "archivo "
                               : l.kind == update::StateLineKind::Folder ? "carpeta "
                                                                         : "borrado ";
            lines.push_back(kind + std::to_string(l.patch) + " " + l.path +
                            (l.kind == update::StateLineKind::File ? " " + std::to_string(l.size) : ""));
        }
        return lines;
    }

    testsupport::TempDir dir{"parchear-estado"};
    std::string server = dir.Path() + "/www";
    std::string rec = dir.Path() + "/registro";
};

// Each patch made by crear from the previous version of the game (patch 1 from an empty folder),
// and the state after it.
TEST_F(StateTest, FollowsAChainOfPatches) {
    const Tree v1 = {{"a.txt", "a1"},     {"B.txt", "b"}, {"d/x.txt", "x"},
                     {"e", std::nullopt}, {"z.txt", "z"}, {"ñ.txt", "ñ"}};
    Tree v2 = v1;
    v2["a.txt"] = "a22";
    v2["c.txt"] = "c";
    v2.erase("z.txt");
    v2.erase("d/x.txt");
    v2.erase("d");
    Tree v3 = v2;
    v3["z.txt"] = "z3!";
    Tree installer = v2;  // a file only the installer put there, which the state never knew
    installer["viejo.dat"] = "v";
    const struct Step {
        Tree old, now;
        std::vector<std::string> state;
    } steps[] = {
        {{},
         v1,
         {"archivo 1 B.txt 1", "archivo 1 a.txt 2", "carpeta 1 d", "archivo 1 d/x.txt 1", "carpeta 1 e",
          "archivo 1 z.txt 1", "archivo 1 ñ.txt 2"}},
        {v1,
         v2,
         {"archivo 1 B.txt 1", "archivo 2 a.txt 3", "archivo 2 c.txt 1", "borrado 2 d/x.txt", "carpeta 1 e",
          "borrado 2 z.txt", "archivo 1 ñ.txt 2"}},
        {installer,
         v3,
         {"archivo 1 B.txt 1", "archivo 2 a.txt 3", "archivo 2 c.txt 1", "borrado 2 d/x.txt", "carpeta 1 e",
          "borrado 3 viejo.dat", "archivo 3 z.txt 3", "archivo 1 ñ.txt 2"}},
    };
    int n = 0;
    for (const Step& s : steps) {
        const std::string zip = dir.Path() + "/" + std::to_string(++n) + ".zip";
        const auto r = CrearYPublicar(s.old, s.now, zip, true);
        ASSERT_EQ(r.code, 0) << n << ": " << r.out << r.err;
        EXPECT_EQ(Lines(), s.state) << n;
    }
    const std::string text = ReadBytes(U8Path(Parches() + "/estado.txt"));
    EXPECT_NE(text.find("archivo 3 3 " + core::crypto::HexOf(core::crypto::Sha256Of("z3!")) + " z.txt\r\n"),
              std::string::npos)
        << text;
    const auto list = update::ParseSignedList(ReadBytes(U8Path(Parches() + "/version.txt")));
    ASSERT_TRUE(list);
    const auto pub = parchtest::Run({"clave", "publica", Key()});
    const auto key = update::ParsePublicKey(pub.out.substr(pub.out.find("(UPDATER_PUBLIC_KEYS): ") + 23, 88));
    ASSERT_TRUE(key);
    EXPECT_TRUE(update::VerifyState(text, *list, {*key}).ok);
    EXPECT_EQ(ReadBytes(U8Path(rec + "/estado.txt")), text);
    EXPECT_EQ(parchtest::Run({"comprobar", server}).code, 0);
}

// The deletions' comment stays within 65535 bytes: Updater extracts an archive carrying a
// comment near that size, and crear refuses (writing nothing) a change whose list is larger.
TEST_F(StateTest, DeletionsFitTheArchiveCommentOrAreRefused) {
    for (const int files : {540, 600}) {
        Tree old = {{"queda.txt", "1"}};
        for (int i = 0; i < files; ++i) old[std::to_string(1000 + i) + std::string(100, 'n')] = "b";
        const std::string zip = dir.Path() + "/" + std::to_string(files) + ".zip";
        const auto r = CrearYPublicar(old, {{"queda.txt", "2"}}, zip, false);
        if (files == 600) {
            EXPECT_EQ(r.code, 2);
            EXPECT_NE(r.err.find("reparta el cambio en dos parches"), std::string::npos) << r.err;
            EXPECT_FALSE(Exists(zip));
            continue;
        }
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_GT(std::filesystem::file_size(U8Path(zip)), 60000u);
        const std::string target = dir.Path() + "/instalado";
        std::filesystem::create_directories(U8Path(target));
        const unzip::Result x = unzip::ExtractArchive(zip, target, core::RealFileSystem(), unzip::Cp437Decoder());
        ASSERT_TRUE(x.ok) << x.reason;
        EXPECT_EQ(ReadBytes(U8Path(target + "/queda.txt")), "2");
        EXPECT_TRUE(unzip::LocateCentralDirectory(*core::RealFileSystem().OpenRead(zip)).result.ok);
    }
}

// estado.txt goes to the server before version.txt; a publication stopped between them is undone
// with the state it had, an edited state is a difference from the record, and restaurar
// brings it back.
TEST_F(StateTest, IsWrittenFirstKeptByTheRecordAndRestored) {
    ASSERT_EQ(CrearYPublicar({}, {{"a", "1"}}, dir.Path() + "/1.zip", true).code, 0);
    const std::string before = ReadBytes(U8Path(Parches() + "/estado.txt"));
    parchtest::FaultyFileSystem faulty;
    faulty.failReplace = "www/parches/version.txt";
    WriteBytes(U8Path(dir.Path() + "/b/a"), "2");
    ASSERT_EQ(parchtest::Run({"crear", dir.Path() + "/a", dir.Path() + "/b", dir.Path() + "/2.zip"}).code, 0);
    EXPECT_EQ(
        parchtest::Run({"publicar", dir.Path() + "/2.zip", server, "--registro", rec, "--clave", Key()}, faulty).code,
        3);
    EXPECT_NE(ReadBytes(U8Path(Parches() + "/estado.txt")), before) << "estado.txt antes que version.txt";
    const auto undone = parchtest::Run({"restaurar", server, "--registro", rec});
    ASSERT_EQ(undone.code, 0) << undone.err;
    EXPECT_EQ(ReadBytes(U8Path(Parches() + "/estado.txt")), before);

    WriteBytes(U8Path(Parches() + "/estado.txt"), before + "x");
    const auto refused =
        parchtest::Run({"publicar", dir.Path() + "/2.zip", server, "--registro", rec, "--clave", Key()});
    EXPECT_EQ(refused.code, 2);
    EXPECT_NE(refused.err.find("estado.txt tiene"), std::string::npos) << refused.err;
    std::filesystem::remove(U8Path(Parches() + "/estado.txt"));
    const auto restored = parchtest::Run({"restaurar", server, "--registro", rec});
    EXPECT_NE(restored.out.find("Restaurado " + Parches() + "/estado.txt, que faltaba."), std::string::npos)
        << restored.out << restored.err;
    EXPECT_EQ(ReadBytes(U8Path(Parches() + "/estado.txt")), before);
    ASSERT_EQ(parchtest::Run({"publicar", dir.Path() + "/2.zip", server, "--registro", rec, "--clave", Key()}).code, 0);
    EXPECT_EQ(Lines(), std::vector<std::string>{"archivo 2 a 1"});
    // A record made again by importar keeps the server's state.
    std::filesystem::remove_all(U8Path(rec));
    ASSERT_EQ(parchtest::Run({"importar", server, "--registro", rec}).code, 0);
    EXPECT_EQ(ReadBytes(U8Path(rec + "/estado.txt")), ReadBytes(U8Path(Parches() + "/estado.txt")));
    EXPECT_NE(parchtest::Run({"restaurar", server, "--registro", rec}).out.find("El servidor ya servía"),
              std::string::npos);
}

// A record that publishes no state (unsigned so far) gets one from its archives with
// «parchear estado», once.
TEST_F(StateTest, EstadoPublishesTheStateOfAnOlderRecord) {
    ASSERT_EQ(CrearYPublicar({}, {{"a", "1"}, {"b", "1"}}, dir.Path() + "/1.zip", false).code, 0);
    ASSERT_EQ(CrearYPublicar({{"a", "1"}, {"b", "1"}}, {{"a", "22"}}, dir.Path() + "/2.zip", false).code, 0);
    EXPECT_FALSE(Exists(Parches() + "/estado.txt"));
    const std::vector<std::string> estado = {"estado", server, "--registro", rec, "--clave", Key()};
    const auto r = parchtest::Run(estado);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Lines(), (std::vector<std::string>{"archivo 2 a 2", "borrado 2 b"}));
    const auto list = update::ParseSignedList(ReadBytes(U8Path(Parches() + "/version.txt")));
    ASSERT_TRUE(list);
    EXPECT_EQ(list->count, 2);
    const auto again = parchtest::Run(estado);
    EXPECT_EQ(again.code, 2);
    EXPECT_NE(again.err.find("ya se publica"), std::string::npos) << again.err;
}

// comprobar reads every archivo line against its archive's entry.
TEST_F(StateTest, ComprobarCatchesALineThatLies) {
    ASSERT_EQ(CrearYPublicar({}, {{"a.txt", "hola"}}, dir.Path() + "/1.zip", true).code, 0);
    const std::string good = ReadBytes(U8Path(Parches() + "/estado.txt"));
    const std::string hash = core::crypto::HexOf(core::crypto::Sha256Of("hola"));
    const struct {
        std::string from, to, cause;
    } cases[] = {
        {" 4 " + hash, " 5 " + hash, "dice 5 bytes y " + Parches() + "/1.zip tiene 4"},
        {hash, std::string(64, '0'), "tiene otra huella SHA-256"},
        {" a.txt", " b.txt", "no es un archivo de"},
        {"version 1", "version 2", "con 2 parches y version.txt de la serie"},
        {"estado-vandrel 1", "estado-vandrel 2", "Updater no lo acepta"},
    };
    for (const auto& c : cases) {
        std::string text = good;
        text.replace(text.find(c.from), c.from.size(), c.to);
        WriteBytes(U8Path(Parches() + "/estado.txt"), text);
        const auto r = parchtest::Run({"comprobar", server});
        EXPECT_EQ(r.code, 4) << c.cause;
        EXPECT_NE(r.err.find(c.cause), std::string::npos) << r.err;
    }
}

}  // namespace
