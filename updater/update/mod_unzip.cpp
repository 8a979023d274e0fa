#include "updater/update/mod_unzip.h"

#include <stdexcept>

namespace modUnzip {
namespace {

update::cDirImage* g_dirImage = nullptr;

}  // namespace

std::string ParcheActual;
std::string RutaParche;

update::cDirImage& DirImage() {
    if (!g_dirImage) throw std::logic_error("el objeto cDirImage no se ha creado");
    return *g_dirImage;
}

void RegisterDirImage(update::cDirImage& dir) { g_dirImage = &dir; }

}  // namespace modUnzip
