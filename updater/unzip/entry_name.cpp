#include "updater/unzip/entry_name.h"

#include <array>

#include "core/composed.h"
#include "core/utf8.h"

#ifndef _WIN32
#include <unicase.h>
#endif

namespace unzip {
namespace {

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 0x20);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 0x20);
        if (x != y) return false;
    }
    return true;
}

// CON, PRN, AUX, NUL, COM1-9, LPT1-9 (and the superscript digits Windows also reserves), with
// or without an extension, in any case.
bool IsReservedDeviceName(std::string_view component) {
    std::string_view base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    static constexpr std::array<std::string_view, 6> kPlain = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const auto name : kPlain) {
        if (EqualsIgnoringAsciiCase(base, name)) return true;
    }
    if (base.size() < 4) return false;
    const std::string_view stem = base.substr(0, 3);
    if (!EqualsIgnoringAsciiCase(stem, "COM") && !EqualsIgnoringAsciiCase(stem, "LPT")) return false;
    const std::string_view digit = base.substr(3);
    if (digit.size() == 1) return digit[0] >= '1' && digit[0] <= '9';
    return digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3";  // ¹ ² ³
}

bool EndsWithIgnoringAsciiCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && EqualsIgnoringAsciiCase(text.substr(text.size() - suffix.size()), suffix);
}

std::string ComponentProblem(std::string_view c) {
    if (c.empty()) return "ruta no válida (separadores seguidos)";
    if (c == "..") return "sale de la carpeta de destino (..)";
    if (c.size() > kMaxComponentBytes) return "nombre demasiado largo";
    if (c.back() == '.' || c.back() == ' ') return "un nombre termina en punto o en espacio";
    if (IsReservedDeviceName(c)) return "nombre reservado de Windows";
    return {};
}

}  // namespace

#ifndef _WIN32
// Windows' casing table is Unicode's simple uppercase mapping of the BMP, one UTF-16 unit at a
// time, but for dotless ı and long ſ, which it leaves alone (.NET's ordinal casing, made to agree
// with Windows, makes the same two exceptions).
std::string NameKey(std::string_view utf8) {
    const std::string composed = core::ComposedUtf8(utf8);
    std::string out;
    out.reserve(composed.size());
    std::size_t i = 0;
    while (i < composed.size()) {
        const auto b = static_cast<unsigned char>(composed[i]);
        if (b < 0x80) {
            out += static_cast<char>(b >= 'a' && b <= 'z' ? b - 0x20 : b);
            ++i;
            continue;
        }
        const char32_t c = core::DecodeUtf8(composed, i);
        const bool kept = c > 0xFFFF || c == 0x131 || c == 0x17F;
        const char32_t upper = kept ? c : uc_toupper(c);
        core::AppendUtf8(out, upper <= 0xFFFF ? upper : c);
    }
    return out;
}

bool SameName(std::string_view a, std::string_view b) { return NameKey(a) == NameKey(b); }
#endif

std::string Printable(std::string_view text) {
    constexpr std::size_t kMax = 120;
    std::string out;
    std::size_t i = 0;
    while (i < text.size() && out.size() < kMax) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x20 || b == 0x7F) {
            out += '?';
            ++i;
        } else if (b < 0x80) {
            out += static_cast<char>(b);
            ++i;
        } else {
            std::size_t len = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
            if (len > text.size() - i || !core::IsValidUtf8(text.substr(i, len))) {
                out += '?';
                ++i;
            } else {
                out.append(text.substr(i, len));
                i += len;
            }
        }
    }
    if (i < text.size()) out += "...";
    return out;
}

CheckedName CheckEntryName(std::string_view name) {
    CheckedName result;
    auto refuse = [&](std::string why) {
        result.reason = std::move(why);
        result.path.clear();
        return result;
    };
    if (name.empty()) return refuse("nombre vacío");
    if (name.size() > kMaxNameBytes) return refuse("nombre demasiado largo");
    if (!core::IsValidUtf8(name)) return refuse("nombre con caracteres no válidos");
    if (name[0] == '/' || name[0] == '\\') return refuse("ruta absoluta");
    if (name.size() >= 2 && name[1] == ':' && ((name[0] | 0x20) >= 'a' && (name[0] | 0x20) <= 'z')) {
        return refuse("ruta absoluta (unidad de disco)");
    }
    result.path.reserve(name.size());
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) return refuse("caracteres de control en el nombre");
        if (c == ':') return refuse("flujo de datos alternativo (:)");
        if (c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*') {
            return refuse("caracteres no válidos en Windows");
        }
        result.path += c == '\\' ? '/' : c;
    }
    // bsdtar (and so macOS tar) writes "./" before every name and "./" for the folder itself.
    std::size_t dots = 0;
    while (result.path.compare(dots, 2, "./") == 0) dots += 2;
    result.path.erase(0, dots);
    if (result.path.empty() || result.path == ".") {
        result.path.clear();
        result.folder = true;
        return result;
    }
    if (result.path.back() == '/') {
        result.folder = true;
        result.path.pop_back();
        if (result.path.empty()) return refuse("ruta absoluta");
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = result.path.find('/', start);
        const std::string_view component =
            std::string_view(result.path).substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        std::string problem = ComponentProblem(component);
        if (!problem.empty()) return refuse(std::move(problem));
        if (slash == std::string::npos) {
            if (!result.folder && EndsWithIgnoringAsciiCase(component, kTemporarySuffix)) {
                return refuse("nombre reservado para archivos temporales");
            }
            break;
        }
        start = slash + 1;
    }
    return result;
}

}  // namespace unzip
