#include "updater/update/mod_unzip.h"

#include "core/runtime_error.h"

namespace modUnzip {
namespace {

update::cDirImage* g_dirImage = nullptr;

}  // namespace

std::string ParcheActual;
std::string RutaParche;

update::cDirImage& DirImage() {
    if (!g_dirImage) core::Raise(core::ErrorKind::ObjectNotSet, "cDirImage");
    return *g_dirImage;
}

void RegisterDirImage(update::cDirImage& dir) { g_dirImage = &dir; }

}  // namespace modUnzip
