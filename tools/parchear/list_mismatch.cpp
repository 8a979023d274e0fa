#include "tools/parchear/list_mismatch.h"

#include "core/numeric.h"
#include "tools/parchear/signing.h"

namespace parchear {

std::string ListedArchiveMismatch(core::FileSystem& fs, const std::string& path, int n,
                                  const update::ListedPatch& listed) {
    const std::string line = "la línea «parche " + core::DecimalText(n) + "» de la lista firmada";
    if (!fs.FileExists(path)) return "falta " + path + ", que anuncia " + line;
    const update::ListedPatch actual = Describe(fs, path);
    const bool sameSize = actual.size == listed.size, sameHash = actual.sha256 == listed.sha256;
    if (sameSize && sameHash) return {};
    if (sameHash) {
        // Two contents cannot share a SHA-256: the archive is the one signed, the size was edited.
        std::string why = path + " está intacto (su SHA-256 es el de " + line + "), pero esa línea dice ";
        why += core::DecimalText(listed.size);
        why += " bytes y el archivo ocupa ";
        why += core::DecimalText(actual.size);
        why += ": version.txt se modificó después de firmarse";
        return why;
    }
    return path +
           (sameSize ? " no coincide con la huella SHA-256 de " : " no coincide con el tamaño ni la huella de ") +
           line + ": alguien cambió el archivo en el servidor o copió otro";
}

}  // namespace parchear
