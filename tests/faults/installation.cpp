#include "tests/faults/installation.h"

#include <gtest/gtest.h>

namespace faults {

std::vector<std::string> Leftovers(const fs::path& root) {
    std::vector<std::string> found;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        const std::string name = testsupport::U8(it->path().filename());
        const bool temporary = name.size() > 12 && name.compare(name.size() - 12, 12, ".vandrel-tmp") == 0;
        const bool archive =
            it.depth() == 0 && (it->path().extension() == ".zip" || it->path().extension() == ".reanudar");
        if (temporary || archive) found.push_back(testsupport::RelativePath(it->path(), root));
    }
    return found;
}

GameWithNeighbour::GameWithNeighbour(const fs::path& base, const std::string& name)
    : harness::UpdaterFolder(UPDATER_EXE, base / name / "juego"), m_root(base / name) {
    WriteBytes(Path("Recursos/Mapas/aldea.map"), "vieja\r\n");
    WriteBytes(Path("Recursos/Textos/uno.txt"), "parche 1\r\n");
    WriteBytes(Neighbour() / "carta.txt", "no tocar\r\n");
    Version(" 1 \r\n");
}

GameWithNeighbour::~GameWithNeighbour() {
    Stop();
    std::error_code ec;
    fs::remove_all(m_root, ec);
}

void GameWithNeighbour::ExpectAtVersion3() const {
    EXPECT_EQ(Version(), " 3 \r\n");
    EXPECT_EQ(ReadBytes(Path("Recursos/Mapas/aldea.map")), "aldea del parche 3\r\n");
    EXPECT_EQ(ReadBytes(Path("Recursos/Textos/uno.txt")), "parche 1\r\n");
    EXPECT_EQ(ReadBytes(Path("Recursos/Textos/dos.txt")), "parche 2\r\n");
    EXPECT_EQ(ReadBytes(Path("Recursos/Textos/tres.txt")), "parche 3\r\n");
    EXPECT_EQ(fs::file_size(Path("Recursos/Datos/relleno.bin")), 256u * 1024u);
    EXPECT_EQ(Leftovers(Folder()), std::vector<std::string>{});
}

}  // namespace faults
