// The keyed Updater under Wine against the test server: a publication signed by parchear.exe
// (CNG) or by the native parchear (OpenSSL) installs; a tampered archive or an unsigned list
// changes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/updater_harness.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

fs::path Served() { return harness::FromUnix("VANDREL_TEST_ROOT"); }

std::string Quoted(const fs::path& p) {
    const auto u8 = p.u8string();
    std::string q = "\"";
    q.append(u8.begin(), u8.end());
    q += '"';
    return q;
}

unsigned Parchear(const std::string& arguments) {
    probe::Process tool = probe::Process::Start(PARCHEAR_EXE, arguments);
    return tool.Wait(60000).value_or(999u);
}

// One run of the keyed Updater from version; its console lines.
std::vector<std::string> KeyedRun(harness::UpdaterFolder& inst, const std::string& version) {
    inst.Version(version);
    if (!inst.Start()) {
        ADD_FAILURE() << "no Updater window";
        return {};
    }
    const auto lines = inst.WaitForEndOfRun();
    inst.Exit();
    return lines;
}

const std::vector<std::string> kInstalledOne = {
    "Buscando Actualizaciones...", "Iniciando, se instalaran 1 actualizaciones.", "Instalando actualizacion 1...",
    "Listo.", "Juego actualizado correctamente."};

TEST(SignedEndToEnd, SignedByParchearInstallsAndNothingElseDoes) {
    const fs::path work = fs::temp_directory_path() / "vandrel-e2e-firmado";
    fs::remove_all(work);
    fs::remove_all(Served() / "parches");
    fs::create_directories(Served());
    WriteBytes(work / "v0" / "Recursos" / "a.txt", "viejo\r\n");
    WriteBytes(work / "v1" / "Recursos" / "a.txt", "nuevo\r\n");
    const std::string key = Quoted(fs::path(TEST_KEY));
    ASSERT_EQ(Parchear("crear " + Quoted(work / "v0") + " " + Quoted(work / "v1") + " " + Quoted(work / "p.zip")), 0u);
    const std::string record = " --registro " + Quoted(work / "registro");
    ASSERT_EQ(Parchear("publicar " + Quoted(work / "p.zip") + " " + Quoted(Served()) + record + " --clave " + key), 0u);
    ASSERT_EQ(Parchear("comprobar " + Quoted(Served()) + " --publica " TEST_PUBLIC_KEY), 0u);

    harness::UpdaterFolder inst(UPDATER_SIGNED_EXE, fs::temp_directory_path() / "vandrel-e2e-inst-firmado");
    WriteBytes(inst.Path("Recursos/a.txt"), "viejo\r\n");
    EXPECT_EQ(KeyedRun(inst, " 0 \r\n"), kInstalledOne);
    EXPECT_EQ(inst.Version(), " 1 \r\n");
    EXPECT_EQ(ReadBytes(inst.Path("Recursos/a.txt")), "nuevo\r\n");
    EXPECT_TRUE(fs::exists(inst.Path("Recursos/OUTPUT/Serie.ini")));

    // The host replaces the archive: the keyed Updater never opens it.
    WriteBytes(Served() / "parches" / "1.zip", ReadBytes(fs::path(E2E_DATA_DIR) / "hostil.zip"));
    const auto tampered = KeyedRun(inst, " 0 \r\n");
    ASSERT_FALSE(tampered.empty());
    EXPECT_EQ(tampered.back(),
              "No se pudo instalar la actualizacion 1: el archivo descargado no coincide con la lista firmada.");
    EXPECT_FALSE(fs::exists(inst.Path("Vandrel.exe")));
    EXPECT_FALSE(fs::exists(inst.Path("1.zip")));
    EXPECT_EQ(inst.Version(), " 0 \r\n");
    // parchear refuses to build on it; restaurar serves the published archive again.
    EXPECT_EQ(Parchear("firmar " + Quoted(Served()) + record + " --clave " + key), 2u);
    ASSERT_EQ(Parchear("restaurar " + Quoted(Served()) + record), 0u);
    EXPECT_EQ(ReadBytes(Served() / "parches" / "1.zip"), ReadBytes(work / "p.zip"));

    // An unsigned list: nothing is requested beyond it.
    WriteBytes(Served() / "parches" / "version.txt", "1\r\n");
    const auto bare = KeyedRun(inst, " 0 \r\n");
    ASSERT_FALSE(bare.empty());
    EXPECT_EQ(bare.back(), "La lista de actualizaciones del servidor no está firmada correctamente.");
    EXPECT_EQ(inst.Version(), " 0 \r\n");
    fs::remove_all(work);
}

TEST(SignedEndToEnd, ListSignedWithOpenSslVerifiesWithCng) {
    fs::remove_all(Served() / "parches");
    fs::copy(fs::path(E2E_DATA_DIR) / "firmado-openssl" / "parches", Served() / "parches", fs::copy_options::recursive);
    harness::UpdaterFolder inst(UPDATER_SIGNED_EXE, fs::temp_directory_path() / "vandrel-e2e-inst-openssl");
    EXPECT_EQ(KeyedRun(inst, " 0 \r\n"), kInstalledOne);
    EXPECT_EQ(ReadBytes(inst.Path("Recursos/Textos/seis.txt")), "parche 6\r\n");
}

}  // namespace
