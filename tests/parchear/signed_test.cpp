// parchear's signed publications and the operator mistakes it refuses: keys, publicar --clave,
// firmar, comprobar --publica, republished archives, a lost count, interrupted publications.
#include <gtest/gtest.h>

#include <filesystem>

#ifdef _WIN32
#include <windows.h>

#include <aclapi.h>
#endif

#include "core/key_file.h"
#include "tests/parchear/helpers.h"
#include "tests/unzip/zip_builder.h"
#include "tests/update/fakes.h"
#include "updater/update/signed_list.h"

namespace {

using parchtest::Exists;
using testsupport::ReadBytes;
using testsupport::U8Path;
using testsupport::WriteBytes;

#ifdef _WIN32
// The file's access list: protected from inheritance, one entry, granting the current user.
bool OnlyTheOwnerMayOpen(const std::string& path) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    std::wstring wide = U8Path(path).wstring();
    if (::GetNamedSecurityInfoW(wide.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                nullptr, &sd) != ERROR_SUCCESS) {
        return false;
    }
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    const bool isProtected =
        ::GetSecurityDescriptorControl(sd, &control, &revision) && (control & SE_DACL_PROTECTED) != 0;
    const bool oneEntry = dacl != nullptr && dacl->AceCount == 1;
    ::LocalFree(sd);
    return isProtected && oneEntry;
}
#endif

class SignedTest : public ::testing::Test {
protected:
    SignedTest() {
        std::filesystem::create_directories(U8Path(server + "/parches"));
        const char* names[] = {"f0.txt", "f1.txt", "f2.txt"};
        for (int i = 0; i < 3; ++i)
            WriteBytes(U8Path(Zip(i)), ziptest::ZipBuilder().File(names[i], std::string(10 + i, 'x')).Build().bytes);
    }
    std::string Zip(int i) const { return dir.Path() + "/p" + std::to_string(i) + ".zip"; }
    std::string Key(const char* name) const { return dir.Path() + "/" + name; }
    std::string Parches() const { return server + "/parches"; }
    std::string Version() { return ReadBytes(U8Path(Parches() + "/version.txt")); }
    // The public key that clave nueva printed.
    std::string NewKey(const char* name) {
        const auto r = parchtest::Run({"clave", "nueva", Key(name)});
        EXPECT_EQ(r.code, 0) << r.err;
        const std::string marker = "(UPDATER_PUBLIC_KEYS): ";
        const std::size_t at = r.out.find(marker);
        return at == std::string::npos ? "" : r.out.substr(at + marker.size(), 88);
    }
    testsupport::Tree Server() { return testsupport::Snapshot(U8Path(server)); }

    testsupport::TempDir dir{"parchear-firmado"};
    std::string server = dir.Path() + "/www";
    std::string rec = dir.Path() + "/registro";
};

TEST_F(SignedTest, KeysAreMadeOnceAndReadBack) {
    const std::string pub = NewKey("k.pem");
    ASSERT_TRUE(update::ParsePublicKey(pub)) << pub;
#ifndef _WIN32
    const auto perms = std::filesystem::status(U8Path(Key("k.pem"))).permissions();
    EXPECT_EQ(perms & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
#else
    // Wine accepts the access list but neither keeps nor reports it: only Windows can show it.
    if (!::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) {
        EXPECT_TRUE(OnlyTheOwnerMayOpen(Key("k.pem")));
    }
#endif
    const std::string pem = ReadBytes(U8Path(Key("k.pem")));
    const auto again = parchtest::Run({"clave", "publica", Key("k.pem")});
    EXPECT_NE(again.out.find(pub), std::string::npos) << again.out;
    const auto overwrite = parchtest::Run({"clave", "nueva", Key("k.pem")});
    EXPECT_EQ(overwrite.code, 2);
    EXPECT_EQ(ReadBytes(U8Path(Key("k.pem"))), pem) << "una clave no se sobrescribe";

    // A file whose public half belongs to another key, a damaged one, none at all.
    auto mixed = core::crypto::ReadPrivateKeyPem(pem);
    ASSERT_TRUE(mixed);
    mixed->point = core::crypto::GenerateP256().point;
    WriteBytes(U8Path(Key("mezcla.pem")), core::crypto::PrivateKeyPem(*mixed));
    WriteBytes(U8Path(Key("rota.pem")), pem.substr(0, 60));
    for (const char* bad : {"mezcla.pem", "rota.pem", "falta.pem"}) {
        const auto r = parchtest::Run({"publicar", Zip(0), server, "--registro", rec, "--clave", Key(bad)});
        EXPECT_EQ(r.code, 2) << bad;
        EXPECT_NE(r.err.find(bad), std::string::npos) << r.err;
    }
    EXPECT_FALSE(Exists(Parches() + "/1.zip"));
}

TEST_F(SignedTest, SignedPublicationsCheckAndChangeKeys) {
    const std::string oldKey = NewKey("vieja.pem"), newKey = NewKey("nueva.pem");
    ASSERT_EQ(parchtest::Run({"publicar", Zip(0), server, "--registro", rec}).code, 0);  // an unsigned server...
    ASSERT_EQ(parchtest::Run({"firmar", server, "--registro", rec, "--clave", Key("vieja.pem")}).code, 0);  // ...signed
    ASSERT_EQ(parchtest::Run({"publicar", Zip(1), server, "--registro", rec, "--clave", Key("vieja.pem")}).code, 0);
    const auto list = update::ParseSignedList(Version());
    ASSERT_TRUE(list) << Version();
    EXPECT_EQ(list->count, 2);
    EXPECT_EQ(list->patches[1].size, static_cast<std::int64_t>(ReadBytes(U8Path(Zip(1))).size()));
    EXPECT_EQ(parchtest::Run({"comprobar", server, "--publica", oldKey}).code, 0);
    EXPECT_EQ(parchtest::Run({"comprobar", server, "--publica", newKey}).code, 4);

    // A key change: both sign, each is accepted on its own, the serie grows.
    ASSERT_EQ(
        parchtest::Run({"firmar", server, "--registro", rec, "--clave", Key("vieja.pem"), "--clave", Key("nueva.pem")})
            .code,
        0);
    const auto both = update::ParseSignedList(Version());
    ASSERT_TRUE(both);
    EXPECT_EQ(both->signatures.size(), 2u);
    EXPECT_GT(both->serie, list->serie);
    EXPECT_EQ(parchtest::Run({"comprobar", server, "--publica", newKey}).code, 0);

    // Publishing without a key would leave keyed Updaters without updates.
    const testsupport::Tree before = Server();
    const auto unsignedRun = parchtest::Run({"publicar", Zip(2), server, "--registro", rec});
    EXPECT_EQ(unsignedRun.code, 2);
    EXPECT_NE(unsignedRun.err.find("--clave"), std::string::npos) << unsignedRun.err;
    EXPECT_EQ(Server(), before);
}

TEST_F(SignedTest, ComprobarFindsWhatDoesNotMatchTheList) {
    const std::string pub = NewKey("k.pem");
    ASSERT_EQ(parchtest::Run({"publicar", Zip(0), server, "--registro", rec, "--clave", Key("k.pem")}).code, 0);
    ASSERT_EQ(parchtest::Run({"publicar", Zip(1), server, "--registro", rec, "--clave", Key("k.pem")}).code, 0);
    const std::string signedList = Version();
    const std::string one = ReadBytes(U8Path(Parches() + "/1.zip"));
    std::string tampered = one;
    tampered[tampered.size() / 2] ^= 1;
    const struct {
        const char* label;
        testsupport::Tree files;  // written over the good publication
        std::vector<std::string> args;
        std::string expected;
    } cases[] = {
        {"archivo cambiado", {{"1.zip", tampered}}, {}, "1.zip no coincide"},
        {"archivos cambiados de número",
         {{"1.zip", ReadBytes(U8Path(Zip(1)))}, {"2.zip", one}},
         {},
         "1.zip no coincide"},
        {"lista sin firma", {{"version.txt", "2"}}, {"--publica", pub}, "no está firmado"},
        {"lista dañada", {{"version.txt", signedList + "x"}}, {}, "no sigue el formato"},
        {"firma de otra clave",
         {},
         {"--publica", update::PublicKeyText(core::crypto::GenerateP256().point)},
         "ninguna firma"},
        {"parche más allá de la cuenta",
         {{"7.zip", one}},
         {},
         "7.zip está en el servidor pero version.txt no lo anuncia"},
    };
    const testsupport::Tree good = testsupport::Snapshot(U8Path(Parches()));
    for (const auto& c : cases) {
        std::filesystem::remove_all(U8Path(Parches()));
        std::filesystem::create_directories(U8Path(Parches()));
        testsupport::WriteTree(U8Path(Parches()), good);
        testsupport::WriteTree(U8Path(Parches()), c.files);
        std::vector<std::string> args = {"comprobar", server};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto r = parchtest::Run(args);
        EXPECT_EQ(r.code, 4) << c.label << "\n" << r.out << r.err;
        EXPECT_NE(r.err.find(c.expected), std::string::npos) << c.label << "\n" << r.err;
    }
}

TEST_F(SignedTest, RefusesWhatWouldHarmAServer) {
    // The same archive twice, under another name too.
    ASSERT_EQ(parchtest::Run({"publicar", Zip(0), server, "--registro", rec}).code, 0);
    std::filesystem::copy_file(U8Path(Zip(0)), U8Path(dir.Path() + "/copia.zip"));
    const testsupport::Tree one = Server();
    const auto twice = parchtest::Run({"publicar", dir.Path() + "/copia.zip", server, "--registro", rec});
    EXPECT_EQ(twice.code, 2);
    EXPECT_NE(twice.err.find("idéntico al parche 1"), std::string::npos) << twice.err;
    EXPECT_EQ(Server(), one);

    // version.txt lost or edited: refused with the way back, which is byte for byte what was published.
    ASSERT_EQ(parchtest::Run({"publicar", Zip(1), server, "--registro", rec}).code, 0);
    const testsupport::Tree published = Server();
    for (const char* version : {"", "2 "}) {
        std::filesystem::remove(U8Path(Parches() + "/version.txt"));
        if (*version) WriteBytes(U8Path(Parches() + "/version.txt"), version);
        const testsupport::Tree before = Server();
        const auto lost = parchtest::Run({"publicar", Zip(2), server, "--registro", rec});
        EXPECT_EQ(lost.code, 2) << version;
        EXPECT_NE(lost.err.find(*version ? "tiene 2 bytes y se publicó con 1" : "falta " + Parches() + "/version.txt"),
                  std::string::npos)
            << lost.err;
        EXPECT_NE(lost.err.find("«parchear restaurar " + server + " --registro " + rec + "»"), std::string::npos)
            << lost.err;
        EXPECT_EQ(lost.err.find("--nueva-serie"), std::string::npos) << lost.err;
        EXPECT_EQ(Server(), before);
        ASSERT_EQ(parchtest::Run({"restaurar", server, "--registro", rec}).code, 0);
        EXPECT_EQ(Server(), published);
    }
    const auto fresh = parchtest::Run({"publicar", Zip(2), server, "--registro", rec, "--nueva-serie"});
    ASSERT_EQ(fresh.code, 0) << fresh.err;
    EXPECT_EQ(Version(), "1");
    EXPECT_EQ(ReadBytes(U8Path(Parches() + "/1.zip")), ReadBytes(U8Path(Zip(2))));
    EXPECT_FALSE(Exists(Parches() + "/2.zip"));
    EXPECT_EQ(parchtest::Run({"comprobar", server}).code, 0);

    // An interrupted write's temporary: comprobar reports it, publicar refuses, restaurar clears it.
    WriteBytes(U8Path(Parches() + "/2.zip.nuevo"), "mitad");
    const auto noted = parchtest::Run({"comprobar", server});
    EXPECT_NE(noted.err.find("2.zip.nuevo"), std::string::npos) << noted.err;
    const auto refused = parchtest::Run({"publicar", Zip(0), server, "--registro", rec});
    EXPECT_EQ(refused.code, 2);
    EXPECT_NE(refused.err.find("queda " + Parches() + "/2.zip.nuevo"), std::string::npos) << refused.err;
    ASSERT_EQ(parchtest::Run({"restaurar", server, "--registro", rec}).code, 0);
    ASSERT_EQ(parchtest::Run({"publicar", Zip(0), server, "--registro", rec}).code, 0);
    EXPECT_FALSE(Exists(Parches() + "/2.zip.nuevo"));
    EXPECT_EQ(Version(), "2");
}

// A host broken into swaps a published archive: parchear refuses to sign it over.
TEST_F(SignedTest, NeverSignsAnArchiveTheListDoesNotDescribe) {
    NewKey("k.pem");
    ASSERT_EQ(parchtest::Run({"publicar", Zip(0), server, "--registro", rec, "--clave", Key("k.pem")}).code, 0);
    WriteBytes(U8Path(Parches() + "/1.zip"), ReadBytes(U8Path(Zip(1))));
    const testsupport::Tree before = Server();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"publicar", Zip(2), server, "--registro", rec, "--clave", Key("k.pem")},
          std::vector<std::string>{"firmar", server, "--registro", rec, "--clave", Key("k.pem")}}) {
        const auto r = parchtest::Run(args);
        EXPECT_EQ(r.code, 2) << args[0];
        EXPECT_NE(r.err.find(Parches() + "/1.zip tiene "), std::string::npos) << r.err;
        EXPECT_EQ(Server(), before) << args[0];
    }
}

// The operator's whole road: a new key, a patch, a signed publication, a check, and the update
// engine of an Updater built with that key installing it.
TEST_F(SignedTest, NewKeyToInstalledPatch) {
    const std::string pub = NewKey("k.pem");
    testsupport::WriteTree(U8Path(dir.Path() + "/v0"), {{"a.txt", "viejo"}});
    testsupport::WriteTree(U8Path(dir.Path() + "/v1"), {{"a.txt", "nuevo"}, {"b.txt", "b"}});
    const std::string zip = dir.Path() + "/p.zip";
    ASSERT_EQ(parchtest::Run({"crear", dir.Path() + "/v0", dir.Path() + "/v1", zip}).code, 0);
    ASSERT_EQ(parchtest::Run({"publicar", zip, server, "--registro", rec, "--clave", Key("k.pem")}).code, 0);
    ASSERT_EQ(parchtest::Run({"comprobar", server, "--publica", pub}).code, 0);

    fakes::FakePlatform inst;
    inst.WriteFile("Recursos/OUTPUT/Update.ini", " 0 \r\n");
    for (const char* name : {"version.txt", "1.zip"})
        inst.http.scripts[std::string(fakes::kBase) + "parches/" + name] =
            fakes::Body(ReadBytes(U8Path(Parches() + "/" + name)));
    update::cDirImage image(*inst.platform);
    fakes::Extractor extractor(core::RealFileSystem());
    update::BuscarActualizaciones(image, extractor, fakes::kBase, update::ParseTrustedKeys({pub}));
    ASSERT_EQ(extractor.calls.size(), 1u) << inst.console.Texts().back();
    EXPECT_EQ(extractor.calls[0].content, ReadBytes(U8Path(zip)));
    EXPECT_EQ(inst.ReadFile("Recursos/OUTPUT/Update.ini"), " 1 \r\n");
}

TEST_F(SignedTest, UsageOfTheNewCommands) {
    const struct {
        std::vector<std::string> args;
    } cases[] = {{{"firmar", "x"}},
                 {{"firmar", "x", "--clave"}},
                 {{"clave", "vieja", "k"}},
                 {{"clave", "nueva"}},
                 {{"publicar", "a", "b", "--otra"}},
                 {{"comprobar", "x", "--clave", "k"}},
                 {{"crear", "a", "b", "c", "--nueva-serie"}}};
    for (const auto& c : cases) EXPECT_EQ(parchtest::Run(c.args).code, 1) << c.args[0];
    EXPECT_EQ(parchtest::Run({"comprobar", server, "--publica", "AAAA"}).code, 2);
}

}  // namespace
