// Updater against a real web server: nginx serving a parches/ folder as plain static files
// (run-with-nginx), as an operator would publish them.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tests/faults/installation.h"

namespace faults {
namespace {

fs::path Data(const std::string& name) { return fs::path(FAULTS_DATA_DIR) / name; }

std::vector<std::string> LogLines() {
    std::ifstream in(FromUnix("VANDREL_NGINX_LOG"), std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string Field(const std::string& line, const std::string& key) {
    const auto at = line.find(" " + key + "=");
    if (at == std::string::npos) return {};
    const auto start = at + key.size() + 2;
    return line.substr(start, line.find(' ', start) - start);
}

TEST(UpdaterWithNginx, InstallsThreePatchesFromStaticFiles) {
    const fs::path served = FromUnix("VANDREL_TEST_ROOT");
    ASSERT_FALSE(served.empty()) << "run through tests/faults/run-with-nginx";
    fs::remove_all(served / "parches");
    WriteBytes(served / "parches" / "version.txt", "3\r\n");
    for (const char* n : {"1", "2", "3"}) {
        fs::copy_file(Data(std::string(n) + ".zip"), served / "parches" / (std::string(n) + ".zip"));
    }
    GameWithNeighbour inst(served.parent_path() / "instalaciones", "nginx");
    inst.Version(" 0 \r\n");

    const ULONGLONG started = GetTickCount64();
    inst.Start();
    EXPECT_EQ(
        inst.WaitForEndOfRun(),
        (std::vector<std::string>{"Buscando Actualizaciones...", "Iniciando, se instalaran 3 actualizaciones.",
                                  "Instalando actualizacion 1...", "Listo.", "Instalando actualizacion 2...", "Listo.",
                                  "Instalando actualizacion 3...", "Listo.", "Juego actualizado correctamente."}));
    // nginx keeps connections open for 30 s: a client that waited for the close instead of
    // reading Content-Length bytes would take that long per request.
    const ULONGLONG took = GetTickCount64() - started;
    EXPECT_LT(took, 20000u);
    EXPECT_TRUE(inst.Exit());
    inst.ExpectAtVersion3();

    // One complete, unencoded 200 per file, each with its exact Content-Length, in order.
    const std::vector<std::string> log = LogLines();
    const std::vector<std::pair<std::string, std::uintmax_t>> wanted = {
        {"version.txt", 3},
        {"1.zip", fs::file_size(Data("1.zip"))},
        {"2.zip", fs::file_size(Data("2.zip"))},
        {"3.zip", fs::file_size(Data("3.zip"))},
    };
    ASSERT_EQ(log.size(), wanted.size()) << (log.empty() ? "empty log" : log.back());
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        const std::string& line = log[i];
        const std::string size = std::to_string(wanted[i].second);
        EXPECT_EQ(line.rfind("GET /parches/" + wanted[i].first + " HTTP/1.1 200 " + size + " ", 0), 0u) << line;
        EXPECT_EQ(Field(line, "len"), size) << line;
        EXPECT_EQ(Field(line, "enc"), "-") << line;
        EXPECT_EQ(line.substr(line.size() - 3), " OK") << line;
    }
    // Requests that share a kept-alive connection follow one another on it: each body ended at
    // its Content-Length, never at a close.
    std::map<std::string, int> perConnection;
    for (const auto& line : log) {
        EXPECT_EQ(Field(line, "n"), std::to_string(++perConnection[Field(line, "conn")])) << line;
    }
    std::printf("nginx: %zu requests on %zu connections, Updater run %llu ms\n", log.size(), perConnection.size(),
                took);
    for (const auto& line : log) std::printf("  %s\n", line.c_str());
}

// A download that Salir interrupts is continued by the next start: nginx is asked for the rest
// with Range and If-Range, answers 206, and the installation ends as the three patches make it.
TEST(UpdaterWithNginx, AnInterruptedDownloadIsContinuedWithRange) {
    const fs::path served = FromUnix("VANDREL_TEST_ROOT");
    ASSERT_FALSE(served.empty()) << "run through tests/faults/run-with-nginx";
    const std::size_t logged = LogLines().size();
    fs::remove_all(served / "parches");
    WriteBytes(served / "parches" / "version.txt", "3\r\n");
    for (const char* n : {"1", "2", "3"}) {
        fs::copy_file(Data(std::string(n) + ".zip"), served / "parches" / (std::string(n) + ".zip"));
    }
    WriteBytes(served / ".lento", "");
    GameWithNeighbour inst(served.parent_path() / "instalaciones", "nginx-reanudar");  // at version 1
    inst.Start();
    const ULONGLONG until = GetTickCount64() + 30000;
    auto size = [&] {
        std::error_code ec;
        const std::uintmax_t n = fs::file_size(inst.Path("2.zip"), ec);
        return ec ? 0 : n;
    };
    while (GetTickCount64() < until && size() < 64 * 1024) Sleep(20);
    ASSERT_TRUE(inst.Exit()) << "Salir did not end Updater";
    fs::remove(served / ".lento");
    ASSERT_TRUE(fs::exists(inst.Path("2.zip.reanudar")));
    const std::uintmax_t part = fs::file_size(inst.Path("2.zip"));
    ASSERT_GE(part, 64u * 1024);
    ASSERT_LT(part, fs::file_size(Data("2.zip")));
    EXPECT_EQ(inst.Version(), " 1 \r\n");

    inst.Start();
    EXPECT_EQ(inst.WaitForEndOfRun(),
              (std::vector<std::string>{"Buscando Actualizaciones...", "Iniciando, se instalaran 2 actualizaciones.",
                                        "Instalando actualizacion 2...", "Listo.", "Instalando actualizacion 3...",
                                        "Listo.", "Juego actualizado correctamente."}));
    EXPECT_TRUE(inst.Exit());
    inst.ExpectAtVersion3();

    const std::vector<std::string> log = LogLines();
    std::vector<std::string> archive2;
    for (std::size_t i = logged; i < log.size(); ++i) {
        if (log[i].rfind("GET /parches/2.zip ", 0) == 0) archive2.push_back(log[i]);
    }
    ASSERT_EQ(archive2.size(), 2u);
    EXPECT_EQ(Field(archive2[0], "range"), "-") << archive2[0];
    EXPECT_EQ(archive2[1].rfind("GET /parches/2.zip HTTP/1.1 206 ", 0), 0u) << archive2[1];
    EXPECT_EQ(Field(archive2[1], "range"), "bytes=" + std::to_string(part) + "-") << archive2[1];
    EXPECT_EQ(Field(archive2[1], "len"), std::to_string(fs::file_size(Data("2.zip")) - part)) << archive2[1];
    for (const auto& line : archive2) std::printf("  %s\n", line.c_str());
}

#ifdef UPDATER_SIGNED_EXE
// The signed list is a static file like any other: the keyed Updater reads it whole, checks it
// and installs the three patches it describes.
TEST(UpdaterWithNginx, KeyedUpdaterInstallsASignedPublication) {
    const fs::path served = FromUnix("VANDREL_TEST_ROOT");
    ASSERT_FALSE(served.empty()) << "run through tests/faults/run-with-nginx";
    fs::remove_all(served / "parches");
    fs::copy(fs::path(SIGNED_DATA_DIR) / "parches", served / "parches", fs::copy_options::recursive);
    const std::size_t before = LogLines().size();
    harness::UpdaterFolder inst(UPDATER_SIGNED_EXE, served.parent_path() / "instalaciones" / "nginx-firmado");
    inst.Version(" 0 \r\n");
    ASSERT_TRUE(inst.Start());
    const auto lines = inst.WaitForEndOfRun();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Juego actualizado correctamente.");
    EXPECT_TRUE(inst.Exit());
    EXPECT_EQ(inst.Version(), " 3 \r\n");
    // The list, then the signed state parchear published with it, then the catch-up's requests
    // (whole archives or parts of them, as nginx serves both).
    const std::vector<std::string> log = LogLines();
    ASSERT_GE(log.size(), before + 3);
    for (std::size_t i = before; i < log.size(); ++i) std::printf("  %s\n", log[i].c_str());
    const std::string listSize = std::to_string(fs::file_size(served / "parches" / "version.txt"));
    EXPECT_EQ(log[before].rfind("GET /parches/version.txt HTTP/1.1 200 " + listSize + " ", 0), 0u) << log[before];
    const std::string stateSize = std::to_string(fs::file_size(served / "parches" / "estado.txt"));
    EXPECT_EQ(log[before + 1].rfind("GET /parches/estado.txt HTTP/1.1 200 " + stateSize + " ", 0), 0u)
        << log[before + 1];
}
#endif

}  // namespace
}  // namespace faults
