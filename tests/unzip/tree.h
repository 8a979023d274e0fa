// Folder trees for the extraction tests: snapshots to compare before and after, a recording
// Dialogs, and UTF-8 paths that work the same natively and under Wine.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "updater/update/platform.h"

namespace ziptest {

// Relative path ('/' separators) to content; folders map to nullopt.
using Tree = std::map<std::string, std::optional<std::string>>;

std::filesystem::path PathOf(const std::string& utf8);
Tree Snapshot(const std::string& root);
void WriteTree(const std::string& root, const Tree& tree);
std::string ReadAll(const std::string& path);
void WriteAll(const std::string& path, const std::string& content);

class RecordingDialogs final : public update::Dialogs {
public:
    struct Box {
        std::string text, caption;
        unsigned style;
    };
    void ShowMessage(const std::string& text, const std::string& caption, core::BoxStyle style) override {
        boxes.push_back({text, caption, static_cast<unsigned>(style)});
    }
    [[noreturn]] void EndProgram(int) override { throw std::logic_error("EndProgram"); }
    std::vector<Box> boxes;
};

}  // namespace ziptest
