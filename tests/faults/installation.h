// An installation of the game for the fault tests: the shared harness's folder with a neighbour
// folder beside it that no run may touch, and the leftovers a run must not leave.
#pragma once

#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/tree.h"
#include "tests/support/updater_harness.h"

namespace faults {

namespace fs = std::filesystem;

using harness::FromUnix;
using harness::kRunTimeoutMs;
using testsupport::ReadBytes;
using testsupport::Snapshot;
using testsupport::Tree;
using testsupport::WriteBytes;

// Relative paths of leftovers: temporary files of the extractor and downloaded archives.
std::vector<std::string> Leftovers(const fs::path& root);

class GameWithNeighbour : public harness::UpdaterFolder {
public:
    // base/name/juego is the installation, base/name/vecino its neighbour.
    GameWithNeighbour(const fs::path& base, const std::string& name);
    ~GameWithNeighbour();

    fs::path Neighbour() const { return m_root / "vecino"; }
    // Checks that the installation is at version 3 as the three patches make it, with no leftovers.
    void ExpectAtVersion3() const;

private:
    fs::path m_root;
};

}  // namespace faults
