// Names as Windows itself compares them: CompareStringOrdinal decides; the key is the same
// uppercase table through LCMapStringEx.
#include <windows.h>

#include "core/composed.h"
#include "core/runtime_error.h"
#include "core/text_win32.h"
#include "core/win32_error.h"
#include "updater/unzip/entry_name.h"

namespace unzip {
namespace {

std::wstring ComposedWide(std::string_view utf8) { return core::Utf8ToWide(core::ComposedUtf8(utf8)); }

[[noreturn]] void RaiseLastError(const char* call) { core::Raise(core::ErrorKindOfWin32(::GetLastError()), call); }

}  // namespace

// LCMapStringEx uppercases with the file-system casing table unless told to use linguistic rules:
// the table CompareStringOrdinal ignores case with (newer tables also map some pairs above the
// BMP, which the comparison leaves apart: a coarser key, never a finer one).
std::string NameKey(std::string_view utf8) {
    std::wstring wide = ComposedWide(utf8);
    if (wide.empty()) return {};
    const int length = static_cast<int>(wide.size());
    std::wstring upper(wide.size(), L'\0');
    if (::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.data(), length, upper.data(), length, nullptr,
                        nullptr, 0) != length) {
        RaiseLastError("LCMapStringEx");
    }
    return core::WideToUtf8(upper);
}

bool SameName(std::string_view a, std::string_view b) {
    const std::wstring wa = ComposedWide(a), wb = ComposedWide(b);
    const int r =
        ::CompareStringOrdinal(wa.data(), static_cast<int>(wa.size()), wb.data(), static_cast<int>(wb.size()), TRUE);
    if (r == 0) RaiseLastError("CompareStringOrdinal");
    return r == CSTR_EQUAL;
}

}  // namespace unzip
