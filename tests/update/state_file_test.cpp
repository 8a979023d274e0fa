#include "updater/update/state_file.h"

#include <gtest/gtest.h>

#include "core/file_system.h"
#include "tests/support/memory_fs.h"

namespace {

using update::StateRefusal;

const core::crypto::KeyPair kKey = core::crypto::GenerateP256();
const std::string kHash(64, 'e');

std::string Signed(const std::string& body, const core::crypto::KeyPair& key = kKey) {
    return body + update::FormatSignatureLine(key.point, core::crypto::SignP256(key, body));
}
std::string Head(const char* serie = "7", const char* version = "3") {
    return std::string("estado-vandrel 1\r\nserie ") + serie + "\r\nversion " + version + "\r\n";
}
std::string File(const char* n, const std::string& path, const char* size = "10") {
    return std::string("archivo ") + n + " " + size + " " + kHash + " " + path + "\r\n";
}

update::SignedList List() {
    update::SignedList list;
    list.serie = 7;
    list.count = 3;
    return list;
}

TEST(StateFile, ReadsWhatItSays) {
    const std::string body = Head() + File("1", "Datos/mapa 1.dat", "4294967296") + "borrado 3 Datos/viejo.dat\r\n" +
                             "carpeta 2 Partidas\r\n" + File("3", "leéme.txt", "0");
    const update::StateRead read = update::VerifyState(Signed(body), List(), {kKey.point});
    ASSERT_TRUE(read.ok) << read.reason;
    const update::InstallState& s = read.value;
    EXPECT_EQ(s.serie, 7);
    EXPECT_EQ(s.version, 3);
    ASSERT_EQ(s.lines.size(), 4u);
    EXPECT_EQ(s.lines[0].path, "Datos/mapa 1.dat");
    EXPECT_EQ(s.lines[0].size, 4294967296u);
    EXPECT_EQ(s.lines[0].sha256, kHash);
    EXPECT_EQ(s.lines[1].kind, update::StateLineKind::Deleted);
    EXPECT_EQ(s.lines[2].kind, update::StateLineKind::Folder);
    EXPECT_EQ(s.lines[2].patch, 2);
    EXPECT_EQ(s.signatures.signedPart, body);
}

TEST(StateFile, EveryDeviationIsRefused) {
    const core::crypto::KeyPair other = core::crypto::GenerateP256();
    const std::string a = File("1", "a.txt");
    const std::string big = Head() + a + std::string(update::kMaxStateBytes, 'x');
    struct Case {
        std::string text;
        StateRefusal code;
    };
    const Case cases[] = {
        {"", StateRefusal::Malformed},
        {Signed("estado-vandrel 2\r\nserie 7\r\nversion 3\r\n" + a), StateRefusal::Malformed},
        {Signed(Head("0") + a), StateRefusal::Malformed},
        {Signed(Head("7", "03") + a), StateRefusal::Malformed},
        {Signed("estado-vandrel 1\r\nserie 7\r\n" + a), StateRefusal::Malformed},
        {Signed(Head() + "archivo 1 10 " + kHash + " a.txt\n"), StateRefusal::Malformed},  // bare LF
        {Signed(Head() + "fichero 1 10 " + kHash + " a.txt\r\n"), StateRefusal::Malformed},
        {Signed(Head() + "archivo 1 10 " + std::string(64, 'E') + " a.txt\r\n"), StateRefusal::Malformed},
        {Signed(Head() + "archivo 1 10 " + std::string(63, 'e') + " a.txt\r\n"), StateRefusal::Malformed},
        {Signed(Head() + File("1", "a.txt", "4294967297")), StateRefusal::Malformed},
        {Signed(Head() + File("1", "a.txt", "010")), StateRefusal::Malformed},
        {Signed(Head() + "carpeta 1\r\n"), StateRefusal::Malformed},
        {Head() + a, StateRefusal::Malformed},              // no firma
        {Signed(Head() + a) + a, StateRefusal::Malformed},  // a line after the firma
        {big, StateRefusal::TooLarge},
        {Signed(Head() + File("4", "a.txt")), StateRefusal::BadPatch},
        {Signed(Head() + File("0", "a.txt")), StateRefusal::BadPatch},
        {Signed(Head() + File("1", "b.txt") + a), StateRefusal::OutOfOrder},
        {Signed(Head() + File("1", "a/b") + File("1", "a b")), StateRefusal::OutOfOrder},  // ' ' before '/'
        {Signed(Head() + a + "borrado 2 a.txt\r\n"), StateRefusal::SameFile},
        {Signed(Head() + File("1", "A.TXT") + a), StateRefusal::SameFile},  // as Windows compares names
        {Signed(Head() + File("1", "Datos") + File("2", "datos/x")), StateRefusal::FileAndFolder},
        {Signed(Head() + File("1", "d") + "carpeta 2 d/e\r\n"), StateRefusal::FileAndFolder},
        {Signed(Head() + File("1", "../a")), StateRefusal::BadName},
        {Signed(Head() + File("1", "x/con.txt")), StateRefusal::BadName},
        {Signed(Head() + File("1", "x\\a")), StateRefusal::BadName},
        {Signed(Head() + File("1", "./a")), StateRefusal::BadName},
        {Signed(Head() + "carpeta 1 x/\r\n"), StateRefusal::BadName},
        {Signed(Head() + File("1",
                              "le\xCC\x81"
                              "eme")),
         StateRefusal::BadName},  // decomposed é
        {Signed(Head() + File("1", "a.txt.vandrel-tmp")), StateRefusal::BadName},
        {Signed(Head() + File("1", "a.txt ")), StateRefusal::BadName},
        {Signed(Head() + a, other), StateRefusal::NotSigned},
        {Signed(Head() + File("1", "a.txz")).replace(0, Head().size() + a.size(), Head() + a), StateRefusal::NotSigned},
        {Signed(Head("8") + a), StateRefusal::OtherList},
        {Signed(Head("7", "2") + a), StateRefusal::OtherList},
    };
    for (const Case& c : cases) {
        const update::StateRead read = update::VerifyState(c.text, List(), {kKey.point});
        EXPECT_FALSE(read.ok) << c.text.substr(0, 200);
        EXPECT_EQ(read.code, c.code) << c.text.substr(0, 200) << "\n" << read.reason;
    }
    // A file deleted where a folder now is, and one deleted inside what is now a file, are consistent.
    const std::string moved = Head() + "borrado 2 d\r\n" + File("3", "d/x") + File("3", "e") + "borrado 2 e/y\r\n";
    EXPECT_TRUE(update::VerifyState(Signed(moved), List(), {kKey.point}).ok);
    EXPECT_EQ(update::VerifyState(Signed(Head() + File("1", "b") + a), List(), {kKey.point}).reason,
              "línea 5: las rutas no están en orden");
}

TEST(StateFile, TheKeptStateIsVerifiedAgainAtEveryUse) {
    testsupport::MemoryFileSystem fs;
    fs.folders = {"C:/Juego", "C:/Juego/Recursos", "C:/Juego/Recursos/OUTPUT"};
    const auto read = [&](const update::SignedList& list) {
        return update::ReadKeptState(fs, "C:\\Juego", list, {kKey.point});
    };
    EXPECT_EQ(read(List()).code, StateRefusal::NotKept);
    const std::string kept = Signed(Head() + File("2", "a.txt"));
    core::WriteFileAtomically(fs, update::KeptStatePath("C:\\Juego"), kept);
    EXPECT_TRUE(read(List()).ok);
    update::SignedList newer = List();
    newer.serie = 8;
    EXPECT_EQ(read(newer).code, StateRefusal::OtherList);  // a new publication: fetch the state again
    std::string& tampered = *fs.files.at("C:/Juego/Recursos/OUTPUT/Estado.txt");
    tampered[tampered.find("a.txt")] = 'b';
    EXPECT_EQ(read(List()).code, StateRefusal::NotSigned);
}

}  // namespace
