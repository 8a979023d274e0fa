// modUnzip: the program-wide values of the update run and the shared cDirImage reference.
#pragma once

#include <string>

namespace update {
class cDirImage;
}

namespace modUnzip {

// Decimal text of the patch being installed; empty until the first patch.
extern std::string ParcheActual;
// Local path of that patch's archive: installation folder + "\" + ParcheActual + ".zip".
extern std::string RutaParche;

}  // namespace modUnzip
