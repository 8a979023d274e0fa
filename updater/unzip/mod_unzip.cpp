#include "updater/unzip/mod_unzip.h"

namespace modUnzip {

std::string ParcheActual;
std::string RutaParche;

}  // namespace modUnzip
