#include "core/numeric.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "core/runtime_error.h"

namespace core {

double RoundHalfEven(double value) {
    if (!std::isfinite(value)) return value;
    const double floor = std::floor(value);
    const double diff = value - floor;
    if (diff < 0.5) return floor;
    if (diff > 0.5) return floor + 1.0;
    return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

namespace {

template <typename Int>
Int ToInt(double value) {
    const double r = RoundHalfEven(value);
    if (!std::isfinite(r) || r < static_cast<double>(std::numeric_limits<Int>::min()) ||
        r > static_cast<double>(std::numeric_limits<Int>::max())) {
        Raise(ErrorKind::Overflow);
    }
    return static_cast<Int>(r);
}

template <typename Int>
Int Narrow(std::int64_t wide) {
    if (wide < std::numeric_limits<Int>::min() || wide > std::numeric_limits<Int>::max()) {
        Raise(ErrorKind::Overflow);
    }
    return static_cast<Int>(wide);
}

bool IsScanBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigit(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Radix literals keep the classic width rule: up to 16 bits they are a signed 16-bit
// value (&HFFFF is -1), up to 32 bits a signed 32-bit value, longer ones overflow.
LeadingNumber ScanRadix(std::string_view text, std::size_t pos, int radix) {
    std::uint64_t acc = 0;
    bool any = false;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (IsScanBlank(c)) continue;
        const int d = radix == 16 ? HexDigit(c) : (c >= '0' && c <= '7' ? c - '0' : -1);
        if (d < 0) break;
        acc = acc * static_cast<unsigned>(radix) + static_cast<unsigned>(d);
        if (acc > 0xFFFFFFFFull) Raise(ErrorKind::Overflow);
        any = true;
    }
    if (!any) return {};
    double v;
    if (acc <= 0xFFFFu)
        v = static_cast<std::int16_t>(static_cast<std::uint16_t>(acc));
    else
        v = static_cast<std::int32_t>(static_cast<std::uint32_t>(acc));
    return {v, true};
}

double ParseClean(const std::string& clean) {
    double v = 0.0;
    const auto res = std::from_chars(clean.data(), clean.data() + clean.size(), v);
    if (res.ec == std::errc::result_out_of_range) {
        // Too large: an infinity of the right sign, so that the integer conversion overflows.
        return clean[0] == '-' ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    }
    return v;
}

}  // namespace

std::int16_t ToInt16(double value) { return ToInt<std::int16_t>(value); }
std::int32_t ToInt32(double value) { return ToInt<std::int32_t>(value); }

std::int16_t CheckedAdd16(std::int16_t a, std::int16_t b) { return Narrow<std::int16_t>(std::int64_t{a} + b); }
std::int16_t CheckedSub16(std::int16_t a, std::int16_t b) { return Narrow<std::int16_t>(std::int64_t{a} - b); }
std::int32_t CheckedAdd32(std::int32_t a, std::int32_t b) { return Narrow<std::int32_t>(std::int64_t{a} + b); }
std::int32_t CheckedMul32(std::int32_t a, std::int32_t b) { return Narrow<std::int32_t>(std::int64_t{a} * b); }

LeadingNumber ScanLeadingNumber(std::string_view text) {
    std::size_t pos = 0;
    auto skip = [&] {
        while (pos < text.size() && IsScanBlank(text[pos])) ++pos;
    };
    skip();
    if (pos < text.size() && text[pos] == '&') {
        std::size_t p = pos + 1;
        while (p < text.size() && IsScanBlank(text[p])) ++p;
        if (p < text.size() && (text[p] == 'H' || text[p] == 'h')) return ScanRadix(text, p + 1, 16);
        if (p < text.size() && (text[p] == 'O' || text[p] == 'o')) return ScanRadix(text, p + 1, 8);
        return {};
    }
    std::string clean;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        if (text[pos] == '-') clean += '-';
        ++pos;
    }
    bool digits = false;
    bool point = false;
    std::string mantissa;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (IsScanBlank(c)) continue;
        if (IsDigit(c)) {
            mantissa += c;
            digits = true;
        } else if (c == '.' && !point) {
            mantissa += '.';
            point = true;
        } else {
            break;
        }
    }
    if (!digits) return {};
    if (mantissa.front() == '.') clean += '0';
    clean += mantissa;
    if (pos < text.size() && (text[pos] == 'E' || text[pos] == 'e' || text[pos] == 'D' || text[pos] == 'd')) {
        ++pos;
        skip();
        std::string exponent;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
            if (text[pos] == '-') exponent += '-';
            ++pos;
        }
        bool expDigits = false;
        for (; pos < text.size(); ++pos) {
            const char c = text[pos];
            if (IsScanBlank(c)) continue;
            if (!IsDigit(c)) break;
            exponent += c;
            expDigits = true;
        }
        // An exponent letter without digits adds nothing; a huge exponent saturates.
        if (expDigits) {
            if (exponent.size() > 6) exponent = exponent[0] == '-' ? "-99999" : "99999";
            clean += 'e';
            clean += exponent;
        }
    }
    return {ParseClean(clean), true};
}

double ParseLocaleNumber(std::string_view text, char decimalSeparator) {
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    std::size_t begin = 0, end = text.size();
    while (begin < end && isSpace(text[begin])) ++begin;
    while (end > begin && isSpace(text[end - 1])) --end;
    std::string clean;
    std::size_t pos = begin;
    if (pos < end && (text[pos] == '+' || text[pos] == '-')) {
        if (text[pos] == '-') clean += '-';
        ++pos;
    }
    bool digits = false;
    bool point = false;
    for (; pos < end; ++pos) {
        const char c = text[pos];
        if (IsDigit(c)) {
            clean += c;
            digits = true;
        } else if (c == decimalSeparator && !point) {
            if (!digits) clean += '0';
            clean += '.';
            point = true;
        } else {
            break;
        }
    }
    if (!digits) Raise(ErrorKind::TypeMismatch);
    if (pos < end && (text[pos] == 'E' || text[pos] == 'e')) {
        ++pos;
        std::string exponent = "e";
        if (pos < end && (text[pos] == '+' || text[pos] == '-')) exponent += text[pos++];
        std::size_t firstDigit = pos;
        while (pos < end && IsDigit(text[pos])) exponent += text[pos++];
        if (pos == firstDigit) Raise(ErrorKind::TypeMismatch);
        if (exponent.size() > 8) exponent = exponent[1] == '-' ? "e-99999" : "e99999";
        clean += exponent;
    }
    if (pos != end) Raise(ErrorKind::TypeMismatch);
    return ParseClean(clean);
}

std::int16_t LocaleToInt16(std::string_view text, char decimalSeparator) {
    return ToInt16(ParseLocaleNumber(text, decimalSeparator));
}

std::int32_t LocaleToInt32(std::string_view text, char decimalSeparator) {
    return ToInt32(ParseLocaleNumber(text, decimalSeparator));
}

std::string DecimalText(std::int64_t value) { return std::to_string(value); }

std::optional<std::int64_t> ParseDigits(std::string_view text, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits || maxDigits > 18) return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (!IsDigit(c)) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace core
