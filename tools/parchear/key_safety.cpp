#include "tools/parchear/key_safety.h"

#include <filesystem>
#include <system_error>

#include "tools/parchear/folder_scan.h"
#include "tools/parchear/owner_only.h"
#include "tools/parchear/refusal.h"

namespace parchear {
namespace {

constexpr const char* kStolen =
    " Si alguien pudo copiarla, trátela como robada (docs/operadores.md, «Si se pierde o se roba una clave»).";

std::string KeepToOwnerAdvice(const std::string& path) {
#ifdef _WIN32
    return "Déjela solo para su cuenta: «icacls \"" + path + "\" /inheritance:r /grant:r \"%USERNAME%\":F»";
#else
    return "Ciérrela con «chmod 600 " + path + "»";
#endif
}

}  // namespace

void RequireKeysOutside(const std::vector<std::string>& keyFiles, const std::string& server) {
    for (const std::string& key : keyFiles) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(PathOf(key), error) || !IsInside(key, server)) continue;
        throw Refusal("la clave " + Quoted(key) + " está dentro de la carpeta del servidor " + Quoted(server) +
                      ": el servidor web se la daría a quien la pida. Muévala fuera (a su carpeta personal o a un "
                      "disco cifrado) y repita la orden." +
                      kStolen);
    }
}

void RequireOwnerOnly(const std::string& keyFile) {
    const std::string others = OthersWhoMayRead(keyFile);
    if (others.empty()) return;
    throw Refusal("la clave " + Quoted(keyFile) + " pueden leerla otros usuarios de este equipo (" + others +
                  "), y con ella firmar parches que todos los Updater aceptan. " + KeepToOwnerAdvice(keyFile) +
                  " y repita la orden." + kStolen);
}

}  // namespace parchear
