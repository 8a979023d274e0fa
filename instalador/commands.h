// The runtime installers' command lines: which files run, with which switches, in which order.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace instalador {

// The argument of each generation, newest first: the part of the file name after "vcredist",
// a blank, then the installer's own switches.
inline constexpr std::array<std::string_view, 6> kArguments = {
    "2015_2017_2019_2022_x86.exe /passive /norestart",
    "2013_x86.exe /passive /norestart",
    "2012_x86.exe /passive /norestart",
    "2010_x86.exe /passive /norestart",
    "2008_x86.exe /qb",
    "2005_x86.exe /q",
};

// One installer run: the file to start and the switches it gets.
struct Command {
    std::string path;      // full path of the installer, unquoted
    std::string switches;  // switches exactly as the argument holds them (may be empty)

    // The command line: the path in quotes, then a blank and the switches.
    std::string Line() const;
};

// Every occurrence of from in text replaced by to, left to right, without rescanning.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// The 32-bit installer of a generation: folder + "\dlls\vcredist" + argument.
Command X86Command(std::string_view folder, std::string_view argument);
// The 64-bit one: the same, from the argument with every "x86" turned into "x64" (the folder
// is left as it is, "C:\Program Files (x86)" included).
Command X64Command(std::string_view folder, std::string_view argument);

}  // namespace instalador
