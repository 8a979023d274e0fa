#include "instalador/commands.h"

namespace instalador {
namespace {

Command Build(std::string_view folder, std::string_view argument) {
    // The file name ends at the first blank; what follows are the switches.
    const std::size_t blank = argument.find(' ');
    Command c;
    c.path = folder;
    c.path += "\\dlls\\vcredist";
    c.path += argument.substr(0, blank);
    if (blank != std::string_view::npos) c.switches = argument.substr(blank + 1);
    return c;
}

}  // namespace

std::string Command::Line() const {
    std::string line = "\"";
    line += path;
    line += '"';
    if (!switches.empty()) {
        line += ' ';
        line += switches;
    }
    return line;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    if (from.empty()) return std::string(text);
    std::string out;
    std::size_t pos = 0;
    for (std::size_t hit; (hit = text.find(from, pos)) != std::string_view::npos; pos = hit + from.size()) {
        out += text.substr(pos, hit - pos);
        out += to;
    }
    out += text.substr(pos);
    return out;
}

Command X86Command(std::string_view folder, std::string_view argument) { return Build(folder, argument); }

Command X64Command(std::string_view folder, std::string_view argument) {
    return Build(folder, ReplaceAll(argument, "x86", "x64"));
}

}  // namespace instalador
