#include "updater/unzip/entry_name.h"

#include <array>

#include "core/utf8.h"

namespace unzip {
namespace {

char32_t FoldCodePoint(char32_t c) {
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 0x20 : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;                    // Latin-1
    if (c == 0x178) return 0xFF;                                                 // Ÿ
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c | 1;  // Latin Extended-A
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c + 1 : c;
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 0x20;  // Greek
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;                // Cyrillic
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    return c;
}

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

std::string FoldCase(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            out += static_cast<char>(b >= 'A' && b <= 'Z' ? b + 0x20 : b);
            ++i;
        } else {
            core::AppendUtf8(out, FoldCodePoint(core::DecodeUtf8(utf8, i)));
        }
    }
    return out;
}

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
