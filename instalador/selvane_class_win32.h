// Identity of the network library's class: the only link between Instalador and the library.
#pragma once

#include <windows.h>

namespace instalador {

// {25DEA4F0-4C5B-4674-B357-2C6FFE8ABF46}
inline constexpr GUID kSelvaneClass = {0x25DEA4F0, 0x4C5B, 0x4674, {0xB3, 0x57, 0x2C, 0x6F, 0xFE, 0x8A, 0xBF, 0x46}};
// {805B1811-A6F9-440D-AD78-6E0FF100D854}
inline constexpr GUID kSelvaneInterface = {
    0x805B1811, 0xA6F9, 0x440D, {0xAD, 0x78, 0x6E, 0x0F, 0xF1, 0x00, 0xD8, 0x54}};

}  // namespace instalador
