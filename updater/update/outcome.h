// Result of a step that can fail without raising: a download or an extraction.
#pragma once

#include <string>
#include <utility>

namespace update {

struct Outcome {
    bool ok = true;
    // Short Spanish cause for the console when !ok ("el servidor respondió 404").
    std::string reason;

    static Outcome Success() { return {}; }
    static Outcome Failure(std::string why) { return {false, std::move(why)}; }
};

}  // namespace update
