#include "updater/window/command_line.h"

#include "updater/update/mensajes.h"

namespace window {
namespace {

bool IsRepair(const std::string& word) {
    constexpr std::string_view kName = "reparar";
    if (word.size() != kName.size() + 1 || (word[0] != '/' && word[0] != '-')) return false;
    for (std::size_t i = 0; i < kName.size(); ++i) {
        char c = word[i + 1];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kName[i]) return false;
    }
    return true;
}

}  // namespace

StartOptions ReadCommandLine(std::string_view arguments, bool keyed) {
    bool repair = false;
    std::string word;
    bool quoted = false;
    for (std::size_t i = 0; i <= arguments.size(); ++i) {
        const char c = i < arguments.size() ? arguments[i] : ' ';
        if (c == '"') {
            quoted = !quoted;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            repair = repair || IsRepair(word);
            word.clear();
        } else {
            word += c;
        }
    }
    StartOptions options;
    if (repair && keyed) options.run.fullCheck = true;
    if (repair && !keyed) options.notice = update::mensajes::kReparacionSinFirma;
    return options;
}

}  // namespace window
