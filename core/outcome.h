// The one shape of a step that can fail without raising (a download, an extraction, a check):
// whether it worked, its value when it did, and when not why, in Spanish for the player or the
// operator, with the code of the failure for the callers that act on its kind.
#pragma once

#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace core {

template <typename Value = std::monostate, typename Code = std::monostate>
struct [[nodiscard]] Result {
    bool ok = true;
    // Short Spanish cause when !ok ("el servidor respondió 404").
    std::string reason;
    // The kind of failure when !ok (a component's catalogue of refusals); nothing for Outcome.
    Code code{};
    // What the step produced when ok.
    Value value{};

    Result() = default;
    // Any result seen only as worked / failed with its reason (an extraction as an Outcome).
    template <typename V, typename C>
    requires(std::is_same_v<Value, std::monostate>&& std::is_same_v<Code, std::monostate> &&
             !(std::is_same_v<V, Value> && std::is_same_v<C, Code>)) Result(const Result<V, C>& other)
        : ok(other.ok), reason(other.reason) {}

    static Result Success(Value produced = {}) {
        Result r;
        r.value = std::move(produced);
        return r;
    }
    static Result Failure(std::string why, Code kind = {}) {
        Result r;
        r.ok = false;
        r.reason = std::move(why);
        r.code = std::move(kind);
        return r;
    }
};

// A step with no value and no catalogue of refusals.
using Outcome = Result<>;

}  // namespace core
