// parchear and the operator's record: whatever the server folder holds that the record did not
// publish is refused with the way back, restaurar brings back exactly what was published,
// importar takes over a server once, keys and series follow the record, and one publisher
// works at a time.
#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <sstream>

#include "tests/parchear/helpers.h"
#include "tests/unzip/zip_builder.h"
#include "tools/parchear/lock.h"
#include "tools/parchear/record.h"
#include "updater/update/signed_list.h"

namespace {

using parchtest::Exists;
using testsupport::ReadBytes;
using testsupport::U8Path;
using testsupport::WriteBytes;

class RecordTest : public ::testing::Test {
protected:
    RecordTest() {
        for (int i = 0; i < 4; ++i)
            WriteBytes(U8Path(Zip(i)), ziptest::ZipBuilder().File("f.txt", std::string(10 + i, 'x')).Build().bytes);
        std::filesystem::create_directories(U8Path(server));
    }
    std::string Zip(int i) const { return dir.Path() + "/p" + std::to_string(i) + ".zip"; }
    std::string Key(const std::string& name) const { return dir.Path() + "/" + name + ".pem"; }
    std::string Parches() const { return server + "/parches"; }
    std::string Version() { return ReadBytes(U8Path(Parches() + "/version.txt")); }
    testsupport::Tree Server() { return testsupport::Snapshot(U8Path(server)); }
    // The public key clave nueva printed.
    std::string NewKey(const std::string& name) {
        const auto r = parchtest::Run({"clave", "nueva", Key(name)});
        const std::size_t at = r.out.find("(UPDATER_PUBLIC_KEYS): ");
        return at == std::string::npos ? "" : r.out.substr(at + 23, 88);
    }
    std::string IdOf(const std::string& pub) { return update::KeyId(*update::ParsePublicKey(pub)); }
    std::vector<std::string> Publish(int i, std::vector<std::string> more = {}) {
        std::vector<std::string> args = {"publicar", Zip(i), server, "--registro", rec};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
    std::int64_t Serie() { return update::ParseSignedList(Version())->serie; }

    testsupport::TempDir dir{"parchear-registro"};
    std::string server = dir.Path() + "/www";
    std::string rec = dir.Path() + "/registro";
};

// What someone with write access to the web folder can do, and what a lost file looks like:
// every publishing command refuses, names it, and restaurar brings back the published bytes.
TEST_F(RecordTest, AServerThatDiffersFromTheRecordIsRefusedAndRestored) {
    const std::string pub = NewKey("k");
    ASSERT_EQ(parchtest::Run(Publish(0, {"--clave", Key("k")})).code, 0);
    ASSERT_EQ(parchtest::Run(Publish(1, {"--clave", Key("k")})).code, 0);
    const testsupport::Tree published = Server();
    const std::string list = Version();
    const auto line = [&](int n) {
        const auto p = update::ParseSignedList(list)->patches[static_cast<std::size_t>(n - 1)];
        return "parche " + std::to_string(n) + " " + std::to_string(p.size) + " " + p.sha256;
    };
    const update::ListedPatch swapped{static_cast<std::int64_t>(ReadBytes(U8Path(Zip(3))).size()),
                                      core::crypto::HexOf(core::crypto::Sha256Of(ReadBytes(U8Path(Zip(3)))))};
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = list;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const std::string serieLine = "serie " + std::to_string(Serie());
    const std::string v = Parches() + "/version.txt";
    const struct {
        const char* label;
        testsupport::Tree write;  // below parches/
        const char* remove;
        std::string expected;
    } cases[] = {
        {"1.zip y su línea cambiados",
         {{"1.zip", ReadBytes(U8Path(Zip(3)))},
          {"version.txt", replaced(line(1), "parche 1 " + std::to_string(swapped.size) + " " + swapped.sha256)}},
         nullptr,
         Parches() + "/1.zip tiene "},
        {"cuenta simple sobre la lista firmada",
         {{"version.txt", "2"}},
         nullptr,
         v + " tiene 1 bytes y se publicó con"},
        {"serie falsificada",
         {{"version.txt", replaced(serieLine, "serie 999999999999999998")}},
         nullptr,
         v + " tiene "},
        {"version.txt perdido", {}, "version.txt", "falta " + v},
        {"version.txt con un espacio", {{"version.txt", list + " "}}, nullptr, v + " tiene "},
        {"1.zip perdido", {}, "1.zip", "falta " + Parches() + "/1.zip\n"},
        {"1.zip cambiado, mismo tamaño",
         {{"1.zip", std::string(ReadBytes(U8Path(Zip(0))).size(), 'z')}},
         nullptr,
         "1.zip tiene el tamaño publicado pero otro contenido"},
        {"3.zip de más", {{"3.zip", ReadBytes(U8Path(Zip(3)))}}, nullptr, "sobra " + Parches() + "/3.zip"},
        {"escritura a medias", {{"3.zip.nuevo", "mitad"}}, nullptr, "queda " + Parches() + "/3.zip.nuevo"},
    };
    for (const auto& c : cases) {
        testsupport::WriteTree(U8Path(Parches()), c.write);
        if (c.remove) std::filesystem::remove(U8Path(Parches() + "/" + c.remove));
        const testsupport::Tree before = Server();
        for (const auto& args : {Publish(2, {"--clave", Key("k")}),
                                 std::vector<std::string>{"firmar", server, "--registro", rec, "--clave", Key("k")}}) {
            const auto r = parchtest::Run(args);
            EXPECT_EQ(r.code, 2) << c.label << " " << args[0];
            EXPECT_NE(r.err.find(c.expected), std::string::npos) << c.label << ": " << r.err;
            EXPECT_NE(r.err.find("«parchear restaurar " + server + " --registro " + rec + "»"), std::string::npos);
            EXPECT_TRUE(!c.remove || r.err.find("lo cambió") == std::string::npos) << "falta no es cambiado: " << r.err;
            EXPECT_EQ(Server(), before) << c.label << " " << args[0];
        }
        const auto restored = parchtest::Run({"restaurar", server, "--registro", rec});
        EXPECT_EQ(restored.code, 0) << c.label << restored.err;
        EXPECT_EQ(Server(), published) << c.label;
        EXPECT_EQ(parchtest::Run({"comprobar", server, "--publica", pub}).code, 0) << c.label;
    }
    const auto again = parchtest::Run({"restaurar", server, "--registro", rec});
    EXPECT_NE(again.out.find("El servidor ya servía lo último que se publicó: 2 parches."), std::string::npos);
    // The record's own copy damaged: restaurar will not serve it.
    WriteBytes(U8Path(rec + "/parches/1.zip"), "otra cosa");
    std::filesystem::remove(U8Path(Parches() + "/1.zip"));
    const auto damaged = parchtest::Run({"restaurar", server, "--registro", rec});
    EXPECT_EQ(damaged.code, 2);
    EXPECT_NE(damaged.err.find("el registro está dañado"), std::string::npos) << damaged.err;
}

TEST_F(RecordTest, RecordAndServerMustBeApartAndKnown) {
    NewKey("k");
    ASSERT_EQ(parchtest::Run(Publish(0)).code, 0);
    const std::string other = dir.Path() + "/otro";
    std::filesystem::create_directories(U8Path(other + "/algo"));
    const struct {
        std::vector<std::string> args;
        std::string expected;
    } cases[] = {
        {{"publicar", Zip(1), server, "--registro", server + "/reg"}, "está dentro de la carpeta del servidor"},
        {{"publicar", Zip(1), server, "--registro", dir.Path()}, "está dentro del registro"},
        {{"publicar", Zip(1), server, "--registro", dir.Path() + "/nuevo"},
         "«parchear importar " + server + " --registro " + dir.Path() + "/nuevo»"},
        {{"publicar", Zip(1), server, "--registro", other}, "no está vacía"},
        {{"firmar", server, "--registro", other, "--clave", Key("k")},
         "no es un registro de parchear (no tiene registro.txt)"},
        {{"restaurar", server, "--registro", dir.Path() + "/nada"}, "no existe el registro"},
        {{"importar", server, "--registro", rec}, "ya es un registro"},
        {{"importar", server, "--registro", other}, "no está vacía"},
    };
    const testsupport::Tree before = Server();
    for (const auto& c : cases) {
        const auto r = parchtest::Run(c.args);
        EXPECT_EQ(r.code, 2) << c.expected;
        EXPECT_NE(r.err.find(c.expected), std::string::npos) << r.err;
        EXPECT_EQ(Server(), before) << c.expected;
    }
    EXPECT_FALSE(Exists(dir.Path() + "/nuevo/registro.txt"));
}

TEST_F(RecordTest, ImportTrustsOnlyAVerifiedListWhenKeysAreGiven) {
    const std::string pub = NewKey("k"), otherPub = NewKey("otra");
    const std::string first = dir.Path() + "/primero";
    ASSERT_EQ(parchtest::Run({"publicar", Zip(0), server, "--registro", first, "--clave", Key("k")}).code, 0);
    ASSERT_EQ(parchtest::Run({"publicar", Zip(1), server, "--registro", first, "--clave", Key("k")}).code, 0);
    const std::string list = Version();
    std::string forged = list;
    const std::string serieLine = "serie " + std::to_string(Serie());
    forged.replace(forged.find(serieLine), serieLine.size(), "serie 999999999999999998");
    const struct {
        const char* label;
        std::string version;
        std::vector<std::string> keys;
        std::string expected;
    } refused[] = {
        {"otra clave", list, {"--publica", otherPub}, "ninguna firma"},
        {"no es una clave", list, {"--publica", "AAAA"}, "no es una clave pública"},
        {"serie falsificada", forged, {"--publica", pub}, "ninguna firma"},
        {"serie falsificada, sin claves", forged, {}, "está en el futuro"},
        {"sin firmar, con claves", "2", {"--publica", pub}, "no está firmado"},
        {"lista dañada", list + "x", {}, "lista firmada dañada"},
    };
    for (const auto& c : refused) {
        WriteBytes(U8Path(Parches() + "/version.txt"), c.version);
        const testsupport::Tree before = Server();
        std::vector<std::string> args = {"importar", server, "--registro", rec};
        args.insert(args.end(), c.keys.begin(), c.keys.end());
        const auto r = parchtest::Run(args);
        EXPECT_EQ(r.code, 2) << c.label;
        EXPECT_NE(r.err.find(c.expected), std::string::npos) << c.label << ": " << r.err;
        EXPECT_EQ(Server(), before) << c.label;
        EXPECT_FALSE(Exists(rec + "/registro.txt")) << c.label;
    }
    WriteBytes(U8Path(Parches() + "/version.txt"), list);
    const auto verified =
        parchtest::Run({"importar", server, "--registro", rec, "--publica", pub, "--publica", otherPub});
    ASSERT_EQ(verified.code, 0) << verified.err;
    EXPECT_NE(verified.err.find("la clave " + IdOf(otherPub) + " no firmó esta lista"), std::string::npos);
    EXPECT_EQ(verified.err.find("se confía en el servidor"), std::string::npos);
    EXPECT_EQ(ReadBytes(U8Path(rec + "/registro.txt")), ReadBytes(U8Path(first + "/registro.txt")));
    ASSERT_EQ(parchtest::Run(Publish(2, {"--clave", Key("k")})).code, 0);
    EXPECT_EQ(parchtest::Run({"comprobar", server, "--publica", pub}).code, 0);

    // Without keys: the signatures found are taken as they are, and the operator is told.
    const std::string plain = dir.Path() + "/sin-claves";
    const auto trusting = parchtest::Run({"importar", server, "--registro", plain});
    ASSERT_EQ(trusting.code, 0) << trusting.err;
    EXPECT_NE(trusting.err.find("se confía en el servidor tal como está"), std::string::npos) << trusting.err;
    EXPECT_NE(ReadBytes(U8Path(plain + "/registro.txt")).find("clave " + IdOf(pub)), std::string::npos);
}

// Signature sets must keep one key the record knows; series only grow, within 18 digits.
TEST_F(RecordTest, KeysAndSeriesFollowTheRecord) {
    const std::string oldKey = NewKey("vieja"), newKey = NewKey("nueva");
    const auto sign = [&](std::vector<std::string> keys) {
        std::vector<std::string> args = {"firmar", server, "--registro", rec};
        for (const auto& k : keys) args.insert(args.end(), {"--clave", Key(k)});
        return parchtest::Run(args);
    };
    ASSERT_EQ(parchtest::Run(Publish(0, {"--clave", Key("vieja")})).code, 0);
    std::int64_t serie = Serie();
    const testsupport::Tree before = Server();
    const auto unknown = sign({"nueva"});
    EXPECT_EQ(unknown.code, 2);
    EXPECT_NE(unknown.err.find("ninguna de las claves indicadas (" + IdOf(newKey) + ")"), std::string::npos);
    EXPECT_EQ(Server(), before);

    const auto both = sign({"vieja", "nueva", "nueva"});
    ASSERT_EQ(both.code, 0) << both.err;
    EXPECT_NE(both.out.find("Clave nueva en el registro: " + IdOf(newKey)), std::string::npos) << both.out;
    EXPECT_EQ(update::ParseSignedList(Version())->signatures.size(), 2u);
    EXPECT_GT(Serie(), serie);
    serie = Serie();

    const auto dropped = sign({"nueva"});
    ASSERT_EQ(dropped.code, 0) << dropped.err;
    EXPECT_NE(dropped.err.find("la clave " + IdOf(oldKey) + " firmó la lista anterior y esta no"), std::string::npos);
    EXPECT_GT(Serie(), serie);
    serie = Serie();

    // A new series writes two lists (nothing, then the new 1.zip): each with its own serie.
    ASSERT_EQ(parchtest::Run(Publish(1, {"--clave", Key("nueva"), "--nueva-serie"})).code, 0);
    EXPECT_GE(Serie(), serie + 2);
    EXPECT_EQ(update::ParseSignedList(Version())->count, 1);

    // The record's serie at the largest Updater reads: nothing is written.
    const std::string record = ReadBytes(U8Path(rec + "/registro.txt"));
    const std::string serieLine = "serie " + std::to_string(Serie());
    std::string atEnd = record;
    atEnd.replace(atEnd.find(serieLine), serieLine.size(), "serie 999999999999999999");
    WriteBytes(U8Path(rec + "/registro.txt"), atEnd);
    const testsupport::Tree last = Server();
    const auto full = parchtest::Run(Publish(2, {"--clave", Key("nueva")}));
    EXPECT_EQ(full.code, 2);
    EXPECT_NE(full.err.find("18 cifras"), std::string::npos) << full.err;
    EXPECT_EQ(Server(), last);
}

// A command that ended half way: the next one finishes it when its list reached the server,
// and undoes it otherwise; a lock its process left behind is taken over.
TEST_F(RecordTest, AnEndedCommandIsFinishedOrUndone) {
    ASSERT_EQ(parchtest::Run(Publish(0)).code, 0);
    parchtest::FaultyFileSystem faulty;
    faulty.failReplace = "registro/registro.txt";
    EXPECT_EQ(parchtest::Run(Publish(1), faulty).code, 3);
    EXPECT_EQ(Version(), "2");
    EXPECT_TRUE(Exists(rec + "/pendiente.txt"));
    WriteBytes(U8Path(rec + "/" + std::string(parchear::kLockName)), "parchear\npid 999999\nequipo otro\ndesde ayer\n");
    const auto next = parchtest::Run(Publish(2));
    ASSERT_EQ(next.code, 0) << next.err;
    EXPECT_NE(next.err.find("se toma el bloqueo"), std::string::npos) << next.err;
    EXPECT_NE(next.err.find("el proceso 999999 del equipo otro"), std::string::npos) << next.err;
    EXPECT_NE(next.err.find("se terminó una orden anterior"), std::string::npos) << next.err;
    EXPECT_EQ(Version(), "3");
    EXPECT_FALSE(Exists(rec + "/pendiente.txt"));
    EXPECT_FALSE(Exists(rec + "/" + std::string(parchear::kLockName)));

    faulty.failReplace = "www/parches/version.txt";
    EXPECT_EQ(parchtest::Run(Publish(3), faulty).code, 3);
    EXPECT_TRUE(Exists(Parches() + "/4.zip"));
    const auto undone = parchtest::Run({"restaurar", server, "--registro", rec});
    ASSERT_EQ(undone.code, 0) << undone.err;
    EXPECT_NE(undone.err.find("se deshizo una orden anterior"), std::string::npos) << undone.err;
    EXPECT_FALSE(Exists(Parches() + "/4.zip"));
    EXPECT_EQ(Version(), "3");
}

TEST_F(RecordTest, AHeldLockNamesItsHolder) {
    std::ostringstream out, err;
    parchear::Console console{out, err};
    const parchear::FolderLock held(server, console);
    try {
        const parchear::FolderLock second(server, console, std::chrono::milliseconds(300));
        ADD_FAILURE() << "dos bloqueos a la vez";
    } catch (const parchear::Refusal& e) {
        EXPECT_NE(std::string(e.what()).find("otro parchear trabaja en «" + server + "» (el proceso "),
                  std::string::npos)
            << e.what();
    }
}

#ifdef PARCHEAR_EXE
// Two real processes publishing into the same server at once: one after the other, or one
// refused; never a mix.
TEST_F(RecordTest, TwoPublishersAtOnceNeverMix) {
    const std::string big = dir.Path() + "/grande.zip";
    WriteBytes(U8Path(big), ziptest::ZipBuilder().File("g.bin", parchtest::RandomBytes(30u << 20, 7), 0).Build().bytes);
    ASSERT_EQ(parchtest::Run(Publish(0)).code, 0);
    const auto publish = [&](const std::string& zip, const std::string& log) {
        const std::string command = std::string(PARCHEAR_EXE) + " publicar '" + zip + "' '" + server +
                                    "' --registro '" + rec + "' > '" + log + "' 2>&1";
        return std::async(std::launch::async, [command] { return std::system(command.c_str()); });
    };
    auto first = publish(big, dir.Path() + "/1.log");
    auto second = publish(Zip(1), dir.Path() + "/2.log");
    const int a = first.get(), b = second.get();
    const std::string logs = ReadBytes(U8Path(dir.Path() + "/1.log")) + ReadBytes(U8Path(dir.Path() + "/2.log"));
    EXPECT_TRUE(a == 0 || b == 0) << logs;
    EXPECT_TRUE((a == 0 || a == 2 << 8) && (b == 0 || b == 2 << 8)) << logs;
    EXPECT_TRUE((a == 0 && b == 0) || logs.find("otro parchear trabaja") != std::string::npos) << logs;
    EXPECT_EQ(Version(), a == 0 && b == 0 ? "3" : "2") << logs;
    EXPECT_EQ(parchtest::Run({"comprobar", server}).code, 0);
    const auto check = parchtest::Run({"restaurar", server, "--registro", rec});
    EXPECT_NE(check.out.find("El servidor ya servía"), std::string::npos) << check.out << check.err;
}
#endif

}  // namespace
