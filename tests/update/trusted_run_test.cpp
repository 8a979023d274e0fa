// A keyed Updater against hostile and genuine servers: nothing is installed or recorded unless
// a built-in key signed the list, the list is not older than the last one, and every archive is
// the listed one.
#include <gtest/gtest.h>

#include <map>

#include "fakes.h"
#include "updater/update/mensajes.h"
#include "updater/update/update_run.h"

namespace {

using core::crypto::GenerateP256;
using core::crypto::KeyPair;
using fakes::kBase;

constexpr const char* kVersionFile = "Recursos/OUTPUT/Update.ini";
constexpr const char* kSerieFile = "Recursos/OUTPUT/Serie.ini";

const KeyPair kCurrent = GenerateP256(), kBackup = GenerateP256(), kStranger = GenerateP256();

std::vector<update::ListedPatch> Describe(const std::vector<std::string>& archives) {
    std::vector<update::ListedPatch> listed;
    for (const std::string& a : archives)
        listed.push_back({static_cast<std::int64_t>(a.size()), core::crypto::HexOf(core::crypto::Sha256Of(a))});
    return listed;
}

std::string Sign(const std::string& body, const KeyPair& key) {
    return body + update::FormatSignatureLine(key.point, core::crypto::SignP256(key, body));
}

std::string SignedList(std::int64_t serie, const std::vector<std::string>& archives, const KeyPair& key = kCurrent) {
    return Sign(update::FormatListBody(serie, Describe(archives)), key);
}

struct Case {
    const char* label;
    std::string list;
    std::map<std::string, fakes::Script> archives;  // by number
    std::string serieBefore;                        // Serie.ini before the run, "" for none
    std::string lastLine;
    std::vector<std::string> extracted;  // contents, in order
    std::string versionAfter;
    std::string serieAfter;
    std::string versionBefore = " 5 \r\n";
};

TEST(TrustedRun, OnlySignedCurrentListsAndListedArchivesAreInstalled) {
    const std::vector<std::string> seven = {"uno", "dos", "tres", "cuatro", "cinco", "seis", "siete"};
    const auto good = [&] {
        return std::map<std::string, fakes::Script>{{"6", fakes::Body("seis")}, {"7", fakes::Body("siete")}};
    };
    const std::string genuine = SignedList(200, seven);
    std::string countOff = update::FormatListBody(200, Describe(seven));
    countOff[0] = '8';
    fakes::Script longer = fakes::Body("seis");
    longer.contentLength = "5";
    fakes::Script hostile = fakes::Body("SEIS");  // same size, other bytes
    const std::string refused = update::mensajes::kListaNoFirmada;
    const std::string done = update::mensajes::kActualizado;
    const std::vector<Case> cases = {
        {"auténtica", genuine, good(), "", done, {"seis", "siete"}, " 7 \r\n", "200\r\n"},
        {"clave de reserva",
         SignedList(200, seven, kBackup),
         good(),
         "150\r\n",
         done,
         {"seis", "siete"},
         " 7 \r\n",
         "200\r\n"},
        {"misma serie otra vez", genuine, good(), "200\r\n", done, {"seis", "siete"}, " 7 \r\n", "200\r\n"},
        {"clave desconocida", SignedList(200, seven, kStranger), good(), "", refused, {}, " 5 \r\n", ""},
        {"sin firmar", "7\r\n", good(), "", refused, {}, " 5 \r\n", ""},
        {"líneas mal formadas", "7\r\nfirmado-vandrel 1\r\nserie x\r\n", good(), "", refused, {}, " 5 \r\n", ""},
        {"bytes tras la firma", genuine + "\r\n", good(), "", refused, {}, " 5 \r\n", ""},
        {"cuenta distinta", Sign(countOff, kCurrent), good(), "", refused, {}, " 5 \r\n", ""},
        {"vuelta atrás",
         SignedList(100, seven),
         good(),
         "200\r\n",
         update::mensajes::kListaAntigua,
         {},
         " 5 \r\n",
         "200\r\n"},
        {"archivo alterado",
         genuine,
         {{"6", hostile}, {"7", fakes::Body("siete")}},
         "",
         update::mensajes::NoInstalada("6", update::mensajes::kNoCoincideConLista),
         {},
         " 5 \r\n",
         "200\r\n"},
        {"un parche servido como otro",
         genuine,
         {{"6", fakes::Body("siete")}, {"7", fakes::Body("seis")}},
         "",
         update::mensajes::NoInstalada("6", update::mensajes::kNoCoincideConLista),
         {},
         " 5 \r\n",
         "200\r\n"},
        {"Content-Length mayor",
         genuine,
         {{"6", longer}, {"7", fakes::Body("siete")}},
         "",
         update::mensajes::NoInstalada("6", update::mensajes::kNoCoincideConLista),
         {},
         " 5 \r\n",
         "200\r\n"},
        {"el segundo alterado",
         genuine,
         {{"6", fakes::Body("seis")}, {"7", fakes::Body("SIETE")}},
         "",
         update::mensajes::NoInstalada("7", update::mensajes::kNoCoincideConLista),
         {"seis"},
         " 6 \r\n",  // patch 6 is installed and recorded; 7 is not
         "200\r\n"},
        {"reinicio firmado",
         SignedList(300, {"nuevo1", "nuevo2"}),
         {{"1", fakes::Body("nuevo1")}, {"2", fakes::Body("nuevo2")}},
         "200\r\n",
         done,
         {"nuevo1", "nuevo2"},
         " 2 \r\n",
         "300\r\n"},
        {"versión local negativa: ningún parche listado",
         genuine,
         good(),
         "",
         update::mensajes::NoInstalada("0", update::mensajes::kNoCoincideConLista),
         {},
         "-1 \r\n",
         "200\r\n",
         "-1 \r\n"},
        {"lista de más de 1 MiB", genuine + std::string(1 << 20, 'x'), good(), "", refused, {}, " 5 \r\n", ""},
    };
    for (const Case& c : cases) {
        fakes::FakePlatform inst;
        update::cDirImage dir(*inst.platform);
        fakes::Extractor extractor(core::RealFileSystem());
        inst.WriteFile(kVersionFile, c.versionBefore);
        if (!c.serieBefore.empty()) inst.WriteFile(kSerieFile, c.serieBefore);
        inst.http.scripts[std::string(kBase) + "parches/version.txt"] = fakes::Body(c.list);
        for (const auto& [n, script] : c.archives)
            inst.http.scripts[std::string(kBase) + "parches/" + n + ".zip"] = script;

        update::BuscarActualizaciones(dir, extractor, kBase, {kBackup.point, kCurrent.point});

        const auto lines = inst.console.Texts();
        EXPECT_EQ(lines.back(), c.lastLine) << c.label;
        std::vector<std::string> extracted;
        for (const auto& call : extractor.calls) extracted.push_back(call.content);
        EXPECT_EQ(extracted, c.extracted) << c.label;
        EXPECT_EQ(inst.ReadFile(kVersionFile), c.versionAfter) << c.label;
        EXPECT_EQ(inst.Exists(kSerieFile) ? inst.ReadFile(kSerieFile) : "", c.serieAfter) << c.label;
        EXPECT_FALSE(inst.Exists("6.zip") || inst.Exists("7.zip")) << c.label << ": queda un archivo descargado";
        if (c.lastLine == refused || c.lastLine == update::mensajes::kListaAntigua) {
            EXPECT_EQ(inst.http.opened.size(), 1u) << c.label << ": no se pide ningún archivo";
        }
        if (std::string(c.label) == "Content-Length mayor") {
            EXPECT_EQ(inst.http.readSizes.size(), 2u) << "no se lee el cuerpo";  // the list: its bytes, its end
        }
    }
}

// The platform's cryptography failing is a cause of its own: the archive is refused with it, and
// at the window's edge it is never reported as a file access error.
TEST(TrustedRun, ACryptoFailureIsItsOwnCauseNeverAFileError) {
    class NoCrypto final : public core::ForwardingFileSystem {
    public:
        NoCrypto() : ForwardingFileSystem(core::RealFileSystem()) {}
        std::unique_ptr<core::FileReader> OpenRead(const std::string&) override {
            throw core::crypto::Failure("SHA-256");
        }
    } fs;
    fakes::FakePlatform inst;
    inst.WriteFile("6.zip", "seis");
    const auto listed = Describe({"seis"});
    const core::Outcome o = update::CheckAgainstList(fs, inst.Path("6.zip"), listed[0]);
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.reason, "el sistema no pudo completar la operación criptográfica (SHA-256)");
    EXPECT_TRUE(update::CheckAgainstList(core::RealFileSystem(), inst.Path("6.zip"), listed[0]).ok);
}

}  // namespace
