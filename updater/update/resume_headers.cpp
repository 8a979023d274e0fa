#include "updater/update/resume_headers.h"

#include "core/numeric.h"

#include "updater/update/resume_record.h"

namespace update {
namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// Decimal digits up to 10^15 (no archive comes near); nothing for anything else.
std::optional<std::uint64_t> Number(std::string_view text) {
    const auto value = core::ParseDigits(text, 15);
    if (!value) return std::nullopt;
    return static_cast<std::uint64_t>(*value);
}

}  // namespace

std::optional<std::string> StrongValidator(HttpResponse& response) {
    if (const auto etag = response.HeaderText(Header::ETag)) {
        const std::string_view tag = Trim(*etag);
        if (tag.size() < 2 || tag.front() != '"' || tag.back() != '"' || !UsableValidator(tag)) return std::nullopt;
        return std::string(tag);
    }
    const auto date = response.HeaderText(Header::LastModified);
    if (!date || !UsableValidator(Trim(*date))) return std::nullopt;
    return std::string(Trim(*date));
}

std::optional<ContentRange> ParseContentRange(std::string_view text) {
    text = Trim(text);
    constexpr std::string_view kUnit = "bytes ";
    if (text.substr(0, kUnit.size()) != kUnit) return std::nullopt;
    text.remove_prefix(kUnit.size());
    const std::size_t dash = text.find('-');
    const std::size_t slash = text.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || dash > slash) return std::nullopt;
    const auto first = Number(text.substr(0, dash));
    const auto last = Number(text.substr(dash + 1, slash - dash - 1));
    const auto total = Number(text.substr(slash + 1));
    if (!first || !last || !total || *first > *last || *last >= *total) return std::nullopt;
    return ContentRange{*first, *last, *total};
}

std::optional<unsigned> RetryAfterSeconds(HttpResponse& response) {
    const auto text = response.HeaderText(Header::RetryAfter);
    if (!text) return std::nullopt;
    const std::string_view digits = Trim(*text);
    if (digits.size() > 6) return std::nullopt;  // a day and more is all the same here
    const auto value = Number(digits);
    if (!value) return std::nullopt;
    return static_cast<unsigned>(*value);
}

bool IsTransientStatus(int status) {
    switch (status) {
        case 408:
        case 429:
        case 500:
        case 502:
        case 503:
        case 504: return true;
        default: return false;
    }
}

}  // namespace update
