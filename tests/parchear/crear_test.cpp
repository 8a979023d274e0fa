// parchear crear: what goes into the patch, what is refused (and then nothing is written),
// and that the output never exists half-written.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/parchear/helpers.h"

namespace {

using parchtest::EntryNames;
using parchtest::Exists;
using testsupport::Tree;

class CrearTest : public ::testing::Test {
protected:
    CrearTest() {
        testsupport::WriteTree(testsupport::U8Path(oldDir),
                               {{"Vandrel.exe", "MZ v1"}, {"Recursos/mapa.dat", "mapa 1"}, {"igual.txt", "igual"}});
        testsupport::WriteTree(testsupport::U8Path(newDir),
                               {{"Vandrel.exe", "MZ v1"}, {"Recursos/mapa.dat", "mapa 1"}, {"igual.txt", "igual"}});
    }
    parchtest::RunResult Crear(const std::string& zip) { return parchtest::Run({"crear", oldDir, newDir, zip}); }
    // Refused with the cause, and neither the output nor its temporary file exists.
    void ExpectRefused(const parchtest::RunResult& r, const std::string& cause, const std::string& zip,
                       const std::string& label) {
        EXPECT_EQ(r.code, 2) << label << "\n" << r.out << r.err;
        EXPECT_NE(r.err.find(cause), std::string::npos) << label << ": " << r.err;
        EXPECT_FALSE(Exists(zip)) << label;
        EXPECT_FALSE(Exists(zip + ".nuevo")) << label;
    }

    testsupport::TempDir dir{"parchear-crear"};
    std::string oldDir = dir.Path() + "/v1";
    std::string newDir = dir.Path() + "/v2";
    std::string out = dir.Path() + "/1.zip";
};

TEST_F(CrearTest, PacksNewAndChangedFilesOnlyAndListsThem) {
    testsupport::WriteTree(testsupport::U8Path(newDir), {{"Vandrel.exe", "MZ v2"},             // same size, other bytes
                                                         {"Recursos/mapa.dat", "mapa 1 más"},  // other size
                                                         {"Recursos/nuevo/isla.dat", "isla"},
                                                         {"Recursos/vacía", std::nullopt}});
    std::filesystem::last_write_time(testsupport::U8Path(newDir + "/igual.txt"),
                                     std::filesystem::file_time_type::clock::now() + std::chrono::hours(5));
    const auto r = Crear(out);
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(EntryNames(out), (std::vector<std::string>{"Recursos/mapa.dat", "Recursos/nuevo/",
                                                         "Recursos/nuevo/isla.dat", "Recursos/vacía/", "Vandrel.exe"}));
    EXPECT_NE(r.out.find("cambiado  Vandrel.exe"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("cambiado  Recursos/mapa.dat"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("nuevo     Recursos/nuevo/isla.dat"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("igual.txt"), std::string::npos) << "un archivo con solo otra fecha no va en el parche";
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(Exists(out + ".nuevo"));
}

TEST_F(CrearTest, WarnsAboutEverythingDeleted) {
    testsupport::WriteTree(testsupport::U8Path(oldDir), {{"viejo.txt", "x"}, {"Antigua/a.txt", "a"}});
    testsupport::WriteTree(testsupport::U8Path(newDir), {{"nuevo.txt", "n"}});
    const auto r = Crear(out);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("el parche los borrará de las instalaciones"), std::string::npos) << r.err;
    for (const char* gone : {"  viejo.txt", "  Antigua/\n", "  Antigua/a.txt"}) {
        EXPECT_NE(r.err.find(gone), std::string::npos) << gone << " en " << r.err;
    }
    EXPECT_EQ(EntryNames(out), std::vector<std::string>{"nuevo.txt"});
}

TEST_F(CrearTest, RefusesBadFoldersAndOutputs) {
    std::filesystem::create_directories(testsupport::U8Path(dir.Path() + "/carpeta"));
    std::filesystem::create_directories(testsupport::U8Path(newDir + "/sub"));
    testsupport::WriteBytes(testsupport::U8Path(newDir + "/otro.txt"), "cambio");
    testsupport::WriteBytes(testsupport::U8Path(dir.Path() + "/archivo"), "no soy carpeta");
    struct Case {
        const char* label;
        std::vector<std::string> args;
        std::string cause;
    };
    const std::string d = dir.Path();
    const std::vector<Case> cases = {
        {"falta la anterior", {"crear", d + "/no", newDir, out}, "no existe la carpeta anterior"},
        {"falta la nueva", {"crear", oldDir, d + "/no", out}, "no existe la carpeta nueva"},
        {"la anterior es un archivo", {"crear", d + "/archivo", newDir, out}, "no existe la carpeta anterior"},
        {"la salida es una carpeta", {"crear", oldDir, newDir, d + "/carpeta"}, "es una carpeta"},
        {"la salida acaba en separador", {"crear", oldDir, newDir, d + "/x/"}, "es una carpeta"},
        {"falta la carpeta de la salida", {"crear", oldDir, newDir, d + "/no/1.zip"}, "no existe la carpeta donde"},
        {"salida dentro de la nueva", {"crear", oldDir, newDir, newDir + "/1.zip"}, "se incluiría a sí mismo"},
        {"salida en una subcarpeta de la nueva", {"crear", oldDir, newDir, newDir + "/sub/1.zip"}, "a sí mismo"},
        {"salida dentro de la nueva, con rodeo",
         {"crear", oldDir, newDir + "/", d + "/v1/../v2/./1.zip"},
         "a sí mismo"},
        {"nada que empaquetar", {"crear", oldDir, oldDir, out}, "no hay archivos nuevos ni cambiados"},
    };
    for (const Case& c : cases) {
        const auto r = parchtest::Run(c.args);
        EXPECT_EQ(r.code, 2) << c.label << "\n" << r.err;
        EXPECT_NE(r.err.find(c.cause), std::string::npos) << c.label << ": " << r.err;
        EXPECT_FALSE(Exists(c.args[3]) && std::filesystem::is_regular_file(testsupport::U8Path(c.args[3]))) << c.label;
        EXPECT_FALSE(Exists(c.args[3] + ".nuevo")) << c.label;
    }
}

TEST_F(CrearTest, OnlyDeletionsIsNothingToPack) {
    std::filesystem::remove(testsupport::U8Path(newDir + "/igual.txt"));
    ExpectRefused(Crear(out), "no hay archivos nuevos ni cambiados", out, "solo borrados");
}

TEST_F(CrearTest, RefusesNamesAndShapesUpdaterCannotInstall) {
    struct Case {
        const char* label;
        Tree oldExtra, newExtra;
        std::string cause;
    };
    const std::vector<Case> cases = {
#ifndef _WIN32  // names that only other systems' folders can hold
        {"nombre reservado", {}, {{"CON.txt", "x"}}, "nombre reservado de Windows"},
        {"dos puntos", {}, {{"ab:c.txt", "x"}}, "flujo de datos alternativo"},
        {"acaba en punto", {}, {{"fin.", "x"}}, "termina en punto"},
        {"comodín", {}, {{"que?.txt", "x"}}, "no válidos en Windows"},
        {"sufijo temporal de Updater", {}, {{"a.vandrel-tmp", "x"}}, "archivos temporales"},
        {"solo cambian mayúsculas", {}, {{"Datos.txt", "1"}, {"datos.txt", "2"}}, "solo se distinguen por mayúsculas"},
#endif
        {"archivo que pasa a carpeta",
         {{"cosa", "x"}},
         {{"cosa/dentro.txt", "y"}},
         "era un archivo y ahora es una carpeta"},
        {"carpeta que pasa a archivo",
         {{"cosa/dentro.txt", "y"}},
         {{"cosa", "x"}},
         "era una carpeta y ahora es un archivo"},
    };
    for (const Case& c : cases) {
        testsupport::TempDir sandbox("parchear-nombres");
        const std::string o = sandbox.Path() + "/o", n = sandbox.Path() + "/n", zip = sandbox.Path() + "/p.zip";
        testsupport::WriteTree(testsupport::U8Path(o), {{"base.txt", "b"}});
        testsupport::WriteTree(testsupport::U8Path(n), {{"base.txt", "b"}, {"bueno.txt", "se empaquetaría"}});
        testsupport::WriteTree(testsupport::U8Path(o), c.oldExtra);
        testsupport::WriteTree(testsupport::U8Path(n), c.newExtra);
        const auto r = parchtest::Run({"crear", o, n, zip});
        ExpectRefused(r, c.cause, zip, c.label);
    }
}

#ifndef _WIN32
TEST_F(CrearTest, AnUnchangedFileWithAnOddNameIsNoProblem) {
    testsupport::WriteTree(testsupport::U8Path(oldDir), {{"raro:nombre", "igual"}});
    testsupport::WriteTree(testsupport::U8Path(newDir), {{"raro:nombre", "igual"}, {"nuevo.txt", "n"}});
    const auto r = Crear(out);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(EntryNames(out), std::vector<std::string>{"nuevo.txt"});
}
#endif

TEST_F(CrearTest, WritesTheOutputWholeOrNotAtAllAndNeverOverAnother) {
    testsupport::WriteBytes(testsupport::U8Path(newDir + "/grande.bin"), parchtest::RandomBytes(3u << 20, 4));
    // The disk fills up while the archive is written: no output, no temporary remains.
    parchtest::FaultyFileSystem faulty;
    faulty.failWrite = "1.zip.nuevo";
    faulty.failAfter = 1u << 20;
    const auto failed = parchtest::Run({"crear", oldDir, newDir, out}, faulty);
    EXPECT_EQ(failed.code, 3) << failed.err;
    EXPECT_NE(failed.err.find("disco lleno"), std::string::npos) << failed.err;
    EXPECT_FALSE(Exists(out));
    EXPECT_FALSE(Exists(out + ".nuevo"));
    // The final move fails: the same.
    faulty.failWrite.clear();
    faulty.failReplace = "1.zip";
    EXPECT_EQ(parchtest::Run({"crear", oldDir, newDir, out}, faulty).code, 3);
    EXPECT_FALSE(Exists(out));
    EXPECT_FALSE(Exists(out + ".nuevo"));
    // With a sound disk the archive takes the name; a second run never replaces it.
    const auto r = Crear(out);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(EntryNames(out), std::vector<std::string>{"grande.bin"});
    const std::string made = testsupport::ReadBytes(testsupport::U8Path(out));
    testsupport::WriteBytes(testsupport::U8Path(newDir + "/otro.txt"), "otro");
    const auto again = Crear(out);
    EXPECT_EQ(again.code, 2);
    EXPECT_NE(again.err.find("ya existe y parchear no sobrescribe"), std::string::npos) << again.err;
    EXPECT_EQ(testsupport::ReadBytes(testsupport::U8Path(out)), made);
}

#ifndef _WIN32
TEST_F(CrearTest, SkipsLinksWithAWarning) {
    testsupport::WriteBytes(testsupport::U8Path(newDir + "/real.txt"), "real");
    std::filesystem::create_symlink("real.txt", testsupport::U8Path(newDir + "/enlace.txt"));
    const auto r = Crear(out);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("enlace.txt (enlace simbólico)"), std::string::npos) << r.err;
    EXPECT_EQ(EntryNames(out), std::vector<std::string>{"real.txt"});
}
#endif

TEST(CommandLine, UsageErrorsAndHelp) {
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string text;
    };
    const std::vector<Case> cases = {
        {{}, 1, "falta la orden"},
        {{"borrar", "x"}, 1, "orden desconocida «borrar»"},
        {{"crear", "a", "b"}, 1, "crear necesita tres argumentos"},
        {{"crear", "a", "b", "c", "d"}, 1, "crear necesita tres argumentos"},
        {{"publicar", "a", "--registro", "r"}, 1, "publicar necesita dos argumentos"},
        {{"publicar", "a", "b"}, 1, "publicar necesita --registro <carpeta>"},
        {{"firmar", "x", "--clave", "k"}, 1, "firmar necesita --registro"},
        {{"restaurar", "x"}, 1, "restaurar necesita --registro"},
        {{"restaurar", "x", "--registro", "r", "--clave", "k"}, 1, "restaurar necesita la carpeta del servidor"},
        {{"importar", "x", "y", "--registro", "r"}, 1, "importar necesita la carpeta del servidor"},
        {{"importar", "x", "--registro", "r", "--registro", "s"}, 1, "--registro necesita un valor, una sola vez"},
        {{"comprobar", "x", "--registro", "r"}, 1, "comprobar no usa --registro"},
        {{"--help"}, 0, "parchear restaurar <carpeta del servidor> --registro <carpeta>"},
        {{"--help"}, 0, "parchear importar <carpeta del servidor> --registro <carpeta> [--publica <clave pública>]..."},
        {{"comprobar"}, 1, "comprobar necesita un argumento"},
        {{"--help"}, 0, "Códigos de salida"},
        {{"-h"}, 0, "parchear crear <carpeta anterior> <carpeta nueva> <parche.zip>"},
    };
    for (const Case& c : cases) {
        const auto r = parchtest::Run(c.args);
        EXPECT_EQ(r.code, c.code) << r.out << r.err;
        EXPECT_NE((r.out + r.err).find(c.text), std::string::npos) << r.out << r.err;
    }
    const std::string help = parchtest::Run({"--help"}).out;
    for (const char* code : {"  0  ", "  1  ", "  2  ", "  3  ", "  4  "})
        EXPECT_NE(help.find(code), std::string::npos);
}

}  // namespace
