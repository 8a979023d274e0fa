// Updater under every transfer and archive fault, end to end under Wine: the real Updater.exe
// (built with the test server's base URL) in a real installation at version 1, the server at
// count 3 with patch 2 faulty. Each row checks what the player is told, that the version and
// the installation are as they were, that nothing outside it changed and nothing is left
// behind; then the same installation, with the fault gone, must reach the server's count.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "core/handle_win32.h"
#include "tests/faults/installation.h"

namespace faults {
namespace {

constexpr const char* kNoLengthBox = "Error en HttpQueryInfo al extraer el tamaño comunicaselo a un administrador.";
constexpr const char* kUnzipBox = "Error al descomprimir, pruebe que el archivo sea un original .ZIP y no .RAR";
constexpr const char* kRedLine = "No se pudo instalar la actualizacion 2: ";

fs::path Served() { return FromUnix("VANDREL_TEST_ROOT"); }
fs::path Parches() { return Served() / "parches"; }
fs::path Data(const std::string& name) { return fs::path(FAULTS_DATA_DIR) / name; }

// The server at count 3 with patch 3 good; patch 2 is up to the row.
void PublishCountAndLast() {
    fs::remove_all(Parches());
    WriteBytes(Parches() / "version.txt", "3\r\n");
    fs::copy_file(Data("3.zip"), Parches() / "3.zip");
}

// Serves data file `from` as parches/<as>.
std::function<void()> Serve(const char* from, const char* as) {
    return [from, as] { fs::copy_file(Data(from), Parches() / as, fs::copy_options::overwrite_existing); };
}

// Where a row's installation is: a plain folder, one seen through a read-only mount, a small disk.
enum class Place { Plain, ReadOnly, SmallDisk };
// How far Updater gets before the fault stops it.
enum class Stage { Count, Download, Extraction, NoLength };

struct Fault {
    const char* name;
    std::function<void()> serve;  // patch 2 as the faulty server has it
    Stage stage;
    const char* cause = "";  // the red line's cause, whole
    Place place = Place::Plain;
    bool lockMap = false;                    // the test holds Recursos\Mapas\aldea.map open without sharing
    const char* ending = "";                 // how a cause that is not given whole must end
    std::vector<std::string> retries = {};   // the grey lines of the attempts after the first
    DWORD runMs = kRunTimeoutMs;             // how long the fault run may take
    const char* networkTimeoutMs = nullptr;  // the fault run's shorter time-out (test builds take it)
};

// The retry lines of a download that fails every time for the same cause: after a first
// attempt that brought bytes (the count of attempts then starts again) or after one that did not.
std::vector<std::string> Retries(const std::string& cause, bool firstBroughtBytes) {
    std::vector<std::string> lines;
    for (int k = firstBroughtBytes ? 1 : 2; k <= 5; ++k) {
        lines.push_back(cause + "; se volverá a intentar en " + std::to_string(1 << std::max(k - 2, 0)) +
                        " s (intento " + std::to_string(k) + " de 5).");
    }
    return lines;
}

void PrintTo(const Fault& row, std::ostream* os) { *os << row.name; }

const std::vector<Fault>& Matrix() {
    static const std::vector<Fault> rows = {
        {"NotFound", [] {}, Stage::Download, "el servidor respondió 404"},
        {"ServerError", Serve("2.zip", "2.zip.status500"), Stage::Download, "el servidor respondió 500", Place::Plain,
         false, "", Retries("El servidor respondió 500", false)},
        {"ShortBody", Serve("2.zip", "2.zip.short"), Stage::Download, "la descarga quedó incompleta", Place::Plain,
         false, "", Retries("La descarga quedó incompleta", true)},
        // WinINet stops reading at the announced length: the first half arrives as if whole,
        // and the extractor refuses it.
        {"LongBody", Serve("2.zip", "2.zip.long"), Stage::Extraction, "el archivo descargado no es un .zip"},
        {"NoContentLength", Serve("2.zip", "2.zip.chunked"), Stage::NoLength},
        // Half of the body, then silence: the receive time-out (30 s for players, 3 s here) ends
        // each of six attempts.
        {"Stall", Serve("2.zip", "2.zip.stall"), Stage::Download,
         "la conexión se cortó durante la descarga (código 12030)", Place::Plain, false, "",
         Retries("La conexión se cortó durante la descarga (código 12030)", true), 120000, "3000"},
        {"UntrustedCertificate",
         [] {
             Serve("2.zip", "2.zip")();
             WriteBytes(Served() / ".untrusted", "");
         },
         Stage::Count},
        {"RedirectToHttp", Serve("2.zip", "2.zip.redirect"), Stage::Download,
         "el servidor redirigió a una dirección no segura"},
        {"DamagedArchive", Serve("damaged.zip", "2.zip"), Stage::Extraction,
         "el archivo descargado es un .rar, no un .zip"},
        {"EntryLeavesTheFolder", Serve("dotdot.zip", "2.zip"), Stage::Extraction,
         "entrada no permitida «../fuera.txt»: sale de la carpeta de destino (..)"},
        {"AbsoluteEntry", Serve("absolute.zip", "2.zip"), Stage::Extraction,
         "entrada no permitida «/fuera.txt»: ruta absoluta"},
        {"DriveEntry", Serve("drive.zip", "2.zip"), Stage::Extraction,
         "entrada no permitida «C:\\fuera.txt»: ruta absoluta (unidad de disco)"},
        {"ZipBomb", Serve("bomb.zip", "2.zip"), Stage::Extraction,
         "la entrada «Recursos/Datos/bomba.bin» se expande más de 1000 veces (posible bomba de descompresión)"},
        {"LockedTarget", Serve("2.zip", "2.zip"), Stage::Extraction,
         "no se pudo reemplazar «Recursos\\Mapas\\aldea.map»: está en uso o protegido (cierre el juego y vuelva a "
         "intentarlo)",
         Place::Plain, true},
        {"ReadOnlyFolder", Serve("2.zip", "2.zip"), Stage::Download, "", Place::ReadOnly},
        // Refused by the free-space check before anything is written (its own red line).
        {"FullDisk", Serve("2.zip", "2.zip"), Stage::Download, "", Place::SmallDisk},
    };
    return rows;
}

struct Tally {
    int tried = 0, held = 0;
};
Tally g_tally;

class Summary : public ::testing::Environment {
public:
    void TearDown() override {
        if (g_tally.tried > 0) std::printf("%d faults tried, %d held\n", g_tally.tried, g_tally.held);
    }
};
const auto* const g_summary = ::testing::AddGlobalTestEnvironment(new Summary);

// Counts the row once it has been tried, however it ends.
struct Count {
    ~Count() {
        ++g_tally.tried;
        if (!::testing::Test::HasFailure()) ++g_tally.held;
    }
};

// Fills a small disk to all but `spare` bytes with one file; removed when it goes.
class Filler {
public:
    Filler(const fs::path& file, ULONGLONG spare) : m_file(file) {
        ULARGE_INTEGER free{};
        if (!GetDiskFreeSpaceExW(file.parent_path().c_str(), &free, nullptr, nullptr)) return;
        // Never a real disk: the small one holds a few megabytes.
        if (free.QuadPart > (64ull << 20)) {
            ADD_FAILURE() << "not a small disk: " << free.QuadPart << " bytes free";
            return;
        }
        std::ofstream out(file, std::ios::binary);
        const std::string block(64 * 1024, '\x5A');
        for (ULONGLONG left = free.QuadPart > spare ? free.QuadPart - spare : 0; left > 0;) {
            const auto n = static_cast<std::size_t>(left < block.size() ? left : block.size());
            out.write(block.data(), static_cast<std::streamsize>(n));
            left -= n;
        }
    }
    ~Filler() {
        std::error_code ec;
        fs::remove(m_file, ec);
    }

private:
    fs::path m_file;
};

// Paths whose bytes changed or that went, and "+path" for new ones.
std::vector<std::string> Changes(const Tree& before, const Tree& after) {
    std::vector<std::string> changed;
    for (const auto& [path, bytes] : before) {
        const auto it = after.find(path);
        if (it == after.end() || it->second != bytes) changed.push_back(path);
    }
    for (const auto& [path, bytes] : after) {
        if (before.count(path) == 0) changed.push_back("+" + path);
    }
    return changed;
}

class UpdaterFaults : public ::testing::TestWithParam<Fault> {
protected:
    void SetUp() override {
        ASSERT_FALSE(Served().empty()) << "run through tests/wine/run-with-servers";
        std::error_code ec;
        fs::remove(Served() / ".untrusted", ec);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove(Served() / ".untrusted", ec);
    }
};

TEST_P(UpdaterFaults, StopsCleanlyAndTheNextRunRecovers) {
    const Fault& row = GetParam();
    fs::path base = Served().parent_path() / "instalaciones";
    fs::path view;  // the installation as the fault run sees it, when elsewhere
    if (row.place == Place::ReadOnly) {
        if (FromUnix("VANDREL_RO_SRC").empty()) GTEST_SKIP() << "no read-only mount on this machine";
        base = FromUnix("VANDREL_RO_SRC");
        view = FromUnix("VANDREL_RO_VIEW") / row.name / "juego" / "Updater.exe";
    } else if (row.place == Place::SmallDisk) {
        if (FromUnix("VANDREL_SMALL_DISK").empty()) GTEST_SKIP() << "no small disk on this machine";
        base = FromUnix("VANDREL_SMALL_DISK");
    }
    Count count;
    GameWithNeighbour inst(base, row.name);
    PublishCountAndLast();
    row.serve();
    const Tree before = Snapshot(inst.Folder());
    const Tree neighbour = Snapshot(inst.Neighbour());
    // Only ever on the small disk: anywhere else this would fill the machine's own disk.
    std::optional<Filler> filler;
    if (row.place == Place::SmallDisk) filler.emplace(base / "relleno.bin", 128 * 1024);
    core::UniqueHandle lock;
    if (row.lockMap) {
        lock.Reset(CreateFileW(inst.Path("Recursos/Mapas/aldea.map").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(lock.Valid());
    }

    // The fault run.
    SetEnvironmentVariableA("VANDREL_TIMEOUT_MS", row.networkTimeoutMs);
    inst.Start(view);
    SetEnvironmentVariableA("VANDREL_TIMEOUT_MS", nullptr);
    std::vector<std::string> expected{"Buscando Actualizaciones..."};
    if (row.stage == Stage::Count) {
        expected.push_back("No se pudo conectar con el servidor de actualizaciones.");
    } else {
        expected.push_back("Iniciando, se instalaran 2 actualizaciones.");
        expected.push_back("Instalando actualizacion 2...");
        expected.insert(expected.end(), row.retries.begin(), row.retries.end());
        if (row.stage == Stage::Extraction) expected.push_back("Listo.");
    }
    if (row.stage == Stage::NoLength || row.stage == Stage::Extraction) {
        const auto box = inst.WaitForBox(kRunTimeoutMs);
        ASSERT_TRUE(box.has_value()) << "no box";
        EXPECT_EQ(box->caption, "Vandrel Updater");
        EXPECT_EQ(box->text, row.stage == Stage::NoLength ? kNoLengthBox : kUnzipBox);
        probe::Press(*box);
    }
    if (row.stage == Stage::NoLength) {
        EXPECT_TRUE(inst.Process().Wait(10000).has_value()) << "Updater did not end after the box";
        EXPECT_EQ(inst.WaitForEndOfRun(0), std::vector<std::string>{});  // the window is gone
    } else {
        std::vector<std::string> lines = inst.WaitForEndOfRun(row.runMs);
        if (row.stage != Stage::Count) {
            ASSERT_FALSE(lines.empty());
            const std::string red = lines.back();
            lines.pop_back();
            std::printf("  %s: %s\n", row.name, red.c_str());
            if (row.place == Place::SmallDisk) {
                // The free space is checked before the first byte is written: no write fails.
                EXPECT_EQ(red.rfind("Falta espacio en el disco: se necesitan ", 0), 0u) << red;
                EXPECT_TRUE(red.ends_with(" MB más para el parche 2.")) << red;
            } else {
                ASSERT_EQ(red.rfind(kRedLine, 0), 0u) << red;
                const std::string cause = red.substr(std::string(kRedLine).size());
                if (*row.cause) {
                    EXPECT_EQ(cause, std::string(row.cause) + ".");
                } else {
                    // The archive's path is the installation's, whichever way it was reached.
                    EXPECT_EQ(cause.rfind("no se pudo escribir el archivo ", 0), 0u) << cause;
                    EXPECT_NE(cause.find("2.zip ("), std::string::npos) << cause;
                    const std::string ending = row.ending;
                    EXPECT_TRUE(cause.size() >= ending.size() && cause.ends_with(ending)) << cause;
                }
            }
        }
        EXPECT_EQ(lines, expected);
        EXPECT_FALSE(inst.WaitForBox(300).has_value()) << "an unexpected box";
        EXPECT_TRUE(inst.Exit()) << "Salir did not end Updater";
    }
    lock.Reset();
    filler.reset();

    EXPECT_EQ(inst.Version(), " 1 \r\n");
    EXPECT_EQ(Leftovers(inst.Folder()), std::vector<std::string>{});
    const std::vector<std::string> changed = Changes(before, Snapshot(inst.Folder()));
    if (row.lockMap) {
        // Entries before the locked one may be in place; the locked file and the rest are not.
        EXPECT_EQ(changed, (std::vector<std::string>{"+Recursos/Textos/dos.txt"}));
    } else {
        EXPECT_EQ(changed, std::vector<std::string>{});
    }
    EXPECT_EQ(Snapshot(inst.Neighbour()), neighbour);
    EXPECT_FALSE(fs::exists(inst.Folder().parent_path() / "fuera.txt"));
    EXPECT_FALSE(fs::exists("C:\\fuera.txt"));
    EXPECT_FALSE(fs::exists("Z:\\fuera.txt"));
    EXPECT_FALSE(fs::exists(inst.Folder().root_path() / "fuera.txt"));

    // The next run, with the fault gone, installs both patches.
    fs::remove(Served() / ".untrusted");
    PublishCountAndLast();
    Serve("2.zip", "2.zip")();
    GameWithNeighbour& again = inst;  // the same folder, now as the player would find it
    again.Start();
    EXPECT_EQ(again.WaitForEndOfRun(),
              (std::vector<std::string>{"Buscando Actualizaciones...", "Iniciando, se instalaran 2 actualizaciones.",
                                        "Instalando actualizacion 2...", "Listo.", "Instalando actualizacion 3...",
                                        "Listo.", "Juego actualizado correctamente."}));
    EXPECT_TRUE(again.Exit());
    again.ExpectAtVersion3();
    EXPECT_EQ(Snapshot(again.Neighbour()), neighbour);
}

INSTANTIATE_TEST_SUITE_P(Matrix, UpdaterFaults, ::testing::ValuesIn(Matrix()),
                         [](const ::testing::TestParamInfo<Fault>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace faults
