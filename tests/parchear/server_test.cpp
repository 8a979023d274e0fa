// parchear publicar and comprobar: the count as Updater reads it, archives checked with
// Updater's reader, and a server that never announces a patch it does not hold.
#include <gtest/gtest.h>

#include "tests/parchear/helpers.h"
#include "tests/unzip/zip_builder.h"
#include "tools/parchear/record.h"
#include "tools/parchear/server_folder.h"
#include "tools/parchear/signing.h"

namespace {

using parchtest::Exists;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

class ServerTest : public ::testing::Test {
protected:
    ServerTest() {
        std::filesystem::create_directories(testsupport::U8Path(server + "/parches"));
        WriteBytes(testsupport::U8Path(good),
                   ziptest::ZipBuilder().File("Recursos/a.txt", "contenido a").Build().bytes);
        WriteBytes(testsupport::U8Path(other), ziptest::ZipBuilder().File("b.txt", "contenido b").Build().bytes);
    }
    std::string Version() { return ReadBytes(testsupport::U8Path(server + "/parches/version.txt")); }
    testsupport::Tree Server() { return testsupport::Snapshot(testsupport::U8Path(server)); }

    testsupport::TempDir dir{"parchear-servidor"};
    std::string server = dir.Path() + "/www";
    std::string good = dir.Path() + "/bueno.zip";
    std::string other = dir.Path() + "/otro.zip";
    std::string rec = dir.Path() + "/registro";
};

TEST_F(ServerTest, CountIsReadAsUpdaterReadsIt) {
    struct Case {
        std::optional<std::string> text;  // nullopt: no version.txt
        bool ok;
        int count;
        std::string problem;
    };
    const std::vector<Case> cases = {
        {std::nullopt, false, 0, ""},
        {"0", true, 0, ""},
        {"5", true, 5, ""},
        {"5\n", true, 5, ""},
        {"12\r\n", true, 12, ""},
        {" 7", false, 7, "solo con cifras («7»)"},
        {"007", true, 7, ""},
        {"999", true, 999, ""},
        {"12abc", false, 12, "solo con cifras"},
        {"1 2", false, 12, "solo con cifras («12»)"},  // Updater skips the blank; a person reads two
        {"1000", false, 100, "solo lee sus tres primeros bytes y entiende 100"},
        {"0012", false, 1, "entiende 1"},
        {"   5", false, 0, "no encuentra un número"},
        {"", false, 0, "no encuentra un número"},
        {"abc", false, 0, "no encuentra un número"},
        {"\xEF\xBB\xBF"
         "5",
         false, 0, "no encuentra un número"},  // a byte order mark
        {"-1", false, -1, "negativo"},
        {"2.5", false, 2, "no es un número entero"},
        {"1e3", false, 1000, "más de los 999"},
        {"9e9", false, 0, "fuera del rango"},
        {"1e1", false, 10, "que Updater lee como 10, pero la primera línea debe ser"},
        {"5\t", false, 5, "solo con cifras"},
        {"+5", false, 5, "solo con cifras"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(testsupport::U8Path(server + "/parches"));
        std::filesystem::create_directories(testsupport::U8Path(server + "/parches"));
        if (c.text) WriteBytes(testsupport::U8Path(server + "/parches/version.txt"), *c.text);
        const parchear::CountRead r = parchear::ReadCount(core::RealFileSystem(), server);
        const std::string label = c.text ? "«" + *c.text + "»" : "sin version.txt";
        EXPECT_EQ(r.present, c.text.has_value()) << label;
        EXPECT_EQ(r.ok, c.ok) << label << ": " << r.reason;
        EXPECT_EQ(r.count, c.count) << label;
        if (!c.problem.empty()) {
            EXPECT_NE(r.reason.find(c.problem), std::string::npos) << label << ": " << r.reason;
        }
    }
}

TEST_F(ServerTest, PublishesInOrderStartingFromNothing) {
    std::filesystem::remove_all(testsupport::U8Path(server + "/parches"));
    const auto first = parchtest::Run({"publicar", good, server, "--registro", rec});
    ASSERT_EQ(first.code, 0) << first.err;
    EXPECT_EQ(ReadBytes(testsupport::U8Path(server + "/parches/1.zip")), ReadBytes(testsupport::U8Path(good)));
    EXPECT_EQ(Version(), "1");
    const auto second = parchtest::Run({"publicar", other, server, "--registro", rec});
    ASSERT_EQ(second.code, 0) << second.err;
    EXPECT_EQ(ReadBytes(testsupport::U8Path(server + "/parches/2.zip")), ReadBytes(testsupport::U8Path(other)));
    EXPECT_EQ(Version(), "2");
    EXPECT_NE(second.out.find("version.txt dice ahora 2"), std::string::npos) << second.out;
    EXPECT_EQ(testsupport::Snapshot(testsupport::U8Path(server + "/parches")).size(), 3u) << "no queda ningún temporal";
    EXPECT_EQ(parchtest::Run({"comprobar", server}).code, 0);
}

TEST_F(ServerTest, RefusesArchivesUpdaterWouldRefuse) {
    using ziptest::EntryPlan;
    using ziptest::ZipBuilder;
    EntryPlan encrypted = ziptest::Plan("a.txt", "x", 0, 1);
    EntryPlan badCrc = ziptest::Plan("a.txt", "contenido");
    badCrc.crc = 1234;
    const auto method = [](std::uint16_t number) {
        EntryPlan e = ziptest::Plan("a.txt", "contenido");
        e.method = number;
        e.compressed = "xxxx";
        return e;
    };
    const std::string kAdvice = "que Updater no descomprime; cree el parche con «parchear crear»";
    struct Case {
        const char* label;
        std::string bytes;
        std::string cause;
    };
    const std::vector<Case> cases = {
        {"no es un zip", "esto es texto", "no es un .zip"},
        {"vacío", "", "no es un .zip"},
        {"un rar", "Rar!\x1a\x07\x00 y más bytes para llegar al tamaño mínimo", "es un .rar"},
        {"sale con ..", ZipBuilder().File("../x.txt", "x").Build().bytes, "sale de la carpeta de destino"},
        {"sale con .. en medio", ZipBuilder().File("a/../../x.txt", "x").Build().bytes, "sale de la carpeta"},
        {"sale con \\..", ZipBuilder().File("a\\..\\..\\x.txt", "x").Build().bytes, "sale de la carpeta"},
        {"ruta absoluta", ZipBuilder().File("/etc/x", "x").Build().bytes, "ruta absoluta"},
        {"unidad de disco", ZipBuilder().File("C:\\x.txt", "x").Build().bytes, "unidad de disco"},
        {"nombre reservado", ZipBuilder().File("NUL.txt", "x").Build().bytes, "nombre reservado"},
        {"cifrado", ZipBuilder().Add(encrypted).Build().bytes, "cifrada"},
        {"CRC mal", ZipBuilder().Add(badCrc).Build().bytes, "dañado"},
        {"Deflate64", ZipBuilder().Add(method(9)).Build().bytes, "(9): es Deflate64, " + kAdvice},
        {"bzip2", ZipBuilder().Add(method(12)).Build().bytes, "(12): es bzip2, " + kAdvice},
        {"LZMA", ZipBuilder().Add(method(14)).Build().bytes, "(14): es LZMA, " + kAdvice},
        {"cortado", ZipBuilder().File("a.txt", std::string(1000, 'a')).Build().bytes.substr(0, 60), "no es un .zip"},
    };
    WriteBytes(testsupport::U8Path(server + "/parches/version.txt"), "3");
    const testsupport::Tree before = Server();
    for (const Case& c : cases) {
        const std::string bad = dir.Path() + "/malo.zip";
        WriteBytes(testsupport::U8Path(bad), c.bytes);
        const auto r = parchtest::Run({"publicar", bad, server, "--registro", rec});
        EXPECT_EQ(r.code, 2) << c.label;
        EXPECT_NE(r.err.find("Updater lo rechazaría"), std::string::npos) << c.label << ": " << r.err;
        EXPECT_NE(r.err.find(c.cause), std::string::npos) << c.label << ": " << r.err;
        EXPECT_EQ(Server(), before) << c.label;
    }
}

// A server made without a record is taken over only when Updater reads its count as written.
TEST_F(ServerTest, ImportsOnlyACountThatHoldsWhatItSays) {
    struct Case {
        const char* label;
        std::string version;
        int archives;  // 1.zip ... on the server
        std::string cause;
    };
    const std::vector<Case> cases = {
        {"basura", "hola", 0, "solo el número de parches, en cifras"},
        {"cuatro cifras", "1234", 0, "en cifras"},
        {"negativo", "-3", 0, "en cifras"},
        {"exponente", "1e1", 1, "en cifras"},
        {"blanco delante", " 1", 1, "en cifras"},
        {"hueco", "5", 3, "falta " + server + "/parches/4.zip, que version.txt anuncia"},
        {"sobra uno", "1", 2, "2.zip está en el servidor pero version.txt no lo anuncia"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(testsupport::U8Path(server + "/parches"));
        testsupport::WriteTree(testsupport::U8Path(server + "/parches"), {{"version.txt", c.version}});
        for (int n = 1; n <= c.archives; ++n)
            std::filesystem::copy_file(testsupport::U8Path(good),
                                       testsupport::U8Path(server + "/parches/" + std::to_string(n) + ".zip"));
        const testsupport::Tree before = Server();
        const auto r = parchtest::Run({"importar", server, "--registro", rec});
        EXPECT_EQ(r.code, 2) << c.label;
        EXPECT_NE(r.err.find(c.cause), std::string::npos) << c.label << ": " << r.err;
        EXPECT_EQ(Server(), before) << c.label;
        EXPECT_FALSE(Exists(rec + "/registro.txt")) << c.label;
        const auto publish = parchtest::Run({"publicar", other, server, "--registro", rec});
        EXPECT_EQ(publish.code, 2) << c.label;
        EXPECT_NE(publish.err.find("parchear importar"), std::string::npos) << c.label << ": " << publish.err;
        EXPECT_EQ(Server(), before) << c.label;
    }
    // 998 published (the record written here: importing syncs every copy to the disk), one more
    // fits, the thousandth does not.
    std::filesystem::remove_all(testsupport::U8Path(server + "/parches"));
    testsupport::WriteTree(testsupport::U8Path(server + "/parches"), {{"version.txt", "998"}});
    parchear::RecordState state;
    state.list = parchear::DescribeText("998");
    for (int n = 1; n <= 998; ++n) {
        std::filesystem::copy_file(testsupport::U8Path(other),
                                   testsupport::U8Path(server + "/parches/" + std::to_string(n) + ".zip"));
        state.patches.push_back(parchear::Describe(core::RealFileSystem(), other));
    }
    WriteBytes(testsupport::U8Path(rec + "/registro.txt"), parchear::FormatRecord(state));
    ASSERT_EQ(parchtest::Run({"publicar", good, server, "--registro", rec}).code, 0);
    EXPECT_EQ(Version(), "999");
    EXPECT_TRUE(Exists(server + "/parches/999.zip"));
    const testsupport::Tree full = Server();
    WriteBytes(testsupport::U8Path(dir.Path() + "/tercero.zip"),
               ziptest::ZipBuilder().File("c.txt", "c").Build().bytes);
    const auto refused = parchtest::Run({"publicar", dir.Path() + "/tercero.zip", server, "--registro", rec});
    EXPECT_EQ(refused.code, 2);
    EXPECT_NE(refused.err.find("no caben más de 999"), std::string::npos) << refused.err;
    EXPECT_EQ(Server(), full);
}

TEST_F(ServerTest, RefusesMissingInputs) {
    struct Case {
        std::vector<std::string> args;
        std::string cause;
    };
    const std::vector<Case> cases = {
        {{"publicar", dir.Path() + "/no.zip", server, "--registro", rec}, "no existe el archivo"},
        {{"publicar", good, dir.Path() + "/no", "--registro", rec}, "no existe la carpeta del servidor"},
        {{"comprobar", dir.Path() + "/no"}, "no existe la carpeta del servidor"},
    };
    for (const Case& c : cases) {
        const auto r = parchtest::Run(c.args);
        EXPECT_EQ(r.code, 2) << r.err;
        EXPECT_NE(r.err.find(c.cause), std::string::npos) << r.err;
    }
    EXPECT_FALSE(Exists(dir.Path() + "/no"));
}

TEST_F(ServerTest, AnArchiveTheRecordDidNotPublishIsNeverOverwritten) {
    ASSERT_EQ(parchtest::Run({"publicar", good, server, "--registro", rec}).code, 0);
    // Something put 2.zip there, even the very archive about to be published: refused, nothing changes.
    for (const std::string& zip : {other, good}) {
        WriteBytes(testsupport::U8Path(server + "/parches/2.zip"), ReadBytes(testsupport::U8Path(zip)));
        const testsupport::Tree before = Server();
        const auto r = parchtest::Run({"publicar", other, server, "--registro", rec});
        EXPECT_EQ(r.code, 2);
        EXPECT_NE(r.err.find("sobra " + server + "/parches/2.zip: este registro no lo publicó"), std::string::npos)
            << r.err;
        EXPECT_NE(r.err.find("parchear restaurar"), std::string::npos) << r.err;
        EXPECT_EQ(Server(), before);
    }
    ASSERT_EQ(parchtest::Run({"restaurar", server, "--registro", rec}).code, 0);
    EXPECT_FALSE(Exists(server + "/parches/2.zip"));
    ASSERT_EQ(parchtest::Run({"publicar", other, server, "--registro", rec}).code, 0);
    EXPECT_EQ(Version(), "2");
}

TEST_F(ServerTest, NeverAnnouncesAPatchItDoesNotHold) {
    WriteBytes(testsupport::U8Path(server + "/parches/version.txt"), "1");
    WriteBytes(testsupport::U8Path(server + "/parches/1.zip"), ReadBytes(testsupport::U8Path(good)));
    ASSERT_EQ(parchtest::Run({"importar", server, "--registro", rec}).code, 0);
    parchtest::FaultyFileSystem faulty;
    // The copy fails: no 2.zip, no temporary, the count stays.
    faulty.failWrite = "2.zip";
    faulty.failAfter = 10;
    EXPECT_EQ(parchtest::Run({"publicar", other, server, "--registro", rec}, faulty).code, 3);
    EXPECT_FALSE(Exists(server + "/parches/2.zip"));
    EXPECT_FALSE(Exists(server + "/parches/2.zip.nuevo"));
    EXPECT_EQ(Version(), "1");
    // The count cannot be replaced: 2.zip is there, but version.txt still says 1.
    faulty.failWrite.clear();
    faulty.failReplace = "version.txt";
    EXPECT_EQ(parchtest::Run({"publicar", other, server, "--registro", rec}, faulty).code, 3);
    EXPECT_EQ(ReadBytes(testsupport::U8Path(server + "/parches/2.zip")), ReadBytes(testsupport::U8Path(other)));
    EXPECT_EQ(Version(), "1");
    EXPECT_FALSE(Exists(server + "/parches/version.txt.nuevo"));
    // Once the disk works again, the same command finishes the job.
    ASSERT_EQ(parchtest::Run({"publicar", other, server, "--registro", rec}).code, 0);
    EXPECT_EQ(Version(), "2");
}

// A disk fault at any step of a publication: until the new count is in place the server
// announces what it announced before and holds no temporary file; parchear says it failed,
// and the same command run again finishes the job.
TEST_F(ServerTest, AFaultAtAnyStepOfAPublicationLeavesTheAnnouncedSeries) {
    struct Case {
        const char* label;
        std::string testsupport::FaultyFileSystem::*fault;
        const char* path;
        bool newSeries;
        bool copied;  // 2.zip is in place when the fault comes
    };
    using F = testsupport::FaultyFileSystem;
    const Case cases[] = {
        {"copy not created", &F::failCreate, "2.zip.nuevo", false, false},
        {"copy not committed", &F::failCommit, "2.zip.nuevo", false, false},
        {"copy not moved in", &F::failReplace, "parches/2.zip", false, false},
        {"count not written", &F::failWrite, "version.txt", false, true},
        {"count not committed", &F::failCommit, "version.txt", false, true},
        {"new series: empty count not written", &F::failCreate, "version.txt", true, false},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(testsupport::U8Path(server));
        std::filesystem::remove_all(testsupport::U8Path(rec));
        testsupport::WriteTree(testsupport::U8Path(server + "/parches"),
                               {{"version.txt", "1"}, {"1.zip", ReadBytes(testsupport::U8Path(good))}});
        ASSERT_EQ(parchtest::Run({"importar", server, "--registro", rec}).code, 0) << c.label;
        testsupport::Tree expected = Server();
        if (c.copied) expected["parches/2.zip"] = ReadBytes(testsupport::U8Path(other));
        std::vector<std::string> args = {"publicar", other, server, "--registro", rec};
        if (c.newSeries) args.push_back("--nueva-serie");
        parchtest::FaultyFileSystem faulty;
        faulty.*c.fault = c.path;
        const auto failed = parchtest::Run(args, faulty);
        EXPECT_EQ(failed.code, 3) << c.label;
        EXPECT_NE(failed.err.find("parchear: error de disco: "), std::string::npos) << c.label << ": " << failed.err;
        EXPECT_EQ(Server(), expected) << c.label;
        ASSERT_EQ(parchtest::Run(args).code, 0) << c.label;
        EXPECT_EQ(Version(), c.newSeries ? "1" : "2") << c.label;
    }
}

TEST_F(ServerTest, ComprobarListsEveryProblem) {
    struct Case {
        const char* label;
        testsupport::Tree files;  // below parches/
        int code;
        std::vector<std::string> expected;
    };
    const std::string a = ReadBytes(testsupport::U8Path(good));
    const std::vector<Case> cases = {
        {"todo bien", {{"version.txt", "2"}, {"1.zip", a}, {"2.zip", a}}, 0, {"Todo correcto"}},
        {"ningún parche", {{"version.txt", "0"}}, 0, {"Todo correcto"}},
        {"sin version.txt", {{"1.zip", a}}, 4, {"falta", "No se pudo conectar con el servidor de actualizaciones."}},
        {"version.txt con basura", {{"version.txt", "xyz"}}, 4, {"no encuentra un número"}},
        {"falta un parche",
         {{"version.txt", "3"}, {"1.zip", a}, {"3.zip", a}},
         4,
         {"1 problema:", "parches/2.zip: no existe"}},
        {"parches dañados",
         {{"version.txt", "3"}, {"1.zip", "basura"}, {"2.zip", a.substr(0, a.size() - 5)}, {"3.zip", a}},
         4,
         {"2 problemas:", "parches/1.zip: el archivo descargado no es un .zip", "parches/2.zip: "}},
        {"nombre hostil",
         {{"version.txt", "1"}, {"1.zip", ziptest::ZipBuilder().File("../../fuera.txt", "x").Build().bytes}},
         4,
         {"parches/1.zip: entrada no permitida", "sale de la carpeta de destino"}},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(testsupport::U8Path(server));
        std::filesystem::create_directories(testsupport::U8Path(server + "/parches"));
        testsupport::WriteTree(testsupport::U8Path(server + "/parches"), c.files);
        const auto r = parchtest::Run({"comprobar", server});
        EXPECT_EQ(r.code, c.code) << c.label << "\n" << r.out << r.err;
        for (const std::string& e : c.expected) {
            EXPECT_NE((r.out + r.err).find(e), std::string::npos) << c.label << ": falta «" << e << "» en\n"
                                                                  << r.out << r.err;
        }
    }
}

TEST_F(ServerTest, ComprobarNotesAPublicationCutShort) {
    testsupport::WriteTree(testsupport::U8Path(server + "/parches"),
                           {{"version.txt", "1"},
                            {"1.zip", ReadBytes(testsupport::U8Path(good))},
                            {"2.zip", ReadBytes(testsupport::U8Path(other))}});
    const auto r = parchtest::Run({"comprobar", server});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.err.find("2.zip, que version.txt aún no anuncia"), std::string::npos) << r.err;
}

}  // namespace
