// What parchear reports to the operator: a refusal of the input (its Spanish cause) and the
// console both commands write to.
#pragma once

#include <cstdint>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace parchear {

// The input cannot be used as given; what() is the Spanish cause, ready to print.
class Refusal : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Normal output (what was done) and error output (refusals, warnings).
struct Console {
    std::ostream& out;
    std::ostream& err;
};

// A relative path as the operator sees it in messages: «a/b.txt».
std::string Quoted(std::string_view path);

// Reports progress as a share of a known total: one line per tenth, only for large totals.
class Progress {
public:
    // Silent when total < threshold.
    Progress(std::ostream& out, std::string label, std::uint64_t total, std::uint64_t threshold);
    void Advance(std::uint64_t amount);

private:
    std::ostream& m_out;
    std::string m_label;
    std::uint64_t m_total;
    std::uint64_t m_done = 0;
    int m_tenths = 0;
    bool m_enabled;
};

}  // namespace parchear
