// The one result of a step that can fail without raising (a download, an extraction, a check):
// whether it worked and, when not, why, in Spanish for the player or the operator.
#pragma once

#include <string>
#include <utility>

namespace core {

struct Outcome {
    bool ok = true;
    // Short Spanish cause when !ok ("el servidor respondió 404").
    std::string reason;

    static Outcome Success() { return {}; }
    static Outcome Failure(std::string why) { return {false, std::move(why)}; }
};

}  // namespace core
