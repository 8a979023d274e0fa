#include "tools/parchear/server_target.h"

#include <filesystem>
#include <system_error>

#include "tools/parchear/folder_scan.h"
#include "tools/parchear/refusal.h"

namespace parchear {
namespace {

// "parches" as Windows compares names: without regard to ASCII case.
bool NamedParches(const std::string& name) {
    constexpr std::string_view kParches = "parches";
    if (name.size() != kParches.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i] >= 'A' && name[i] <= 'Z' ? static_cast<char>(name[i] - 'A' + 'a') : name[i];
        if (c != kParches[i]) return false;
    }
    return true;
}

}  // namespace

void RequireServerFolder(core::FileSystem& fs, const std::string& server) {
    if (!fs.DirectoryExists(server)) throw Refusal("no existe la carpeta del servidor " + Quoted(server));
    std::error_code error;
    const std::filesystem::path full =
        std::filesystem::weakly_canonical(std::filesystem::absolute(PathOf(server)), error);
    if (!error && NamedParches(Utf8Of(full.filename()))) {
        throw Refusal(Quoted(server) +
                      " es la carpeta de parches; indique la carpeta que la contiene (la raíz del sitio web), " +
                      Quoted(Utf8Of(full.parent_path())) + ": parchear escribe en <carpeta>/parches/");
    }
    if (fs.FileExists(server + "/version.txt")) {
        throw Refusal(Quoted(server) +
                      " tiene un version.txt en su raíz: parece la carpeta parches de un servidor. Indique la carpeta "
                      "que la contiene: Updater lee <carpeta>/parches/version.txt");
    }
}

}  // namespace parchear
