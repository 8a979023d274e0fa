// Numeric rules shared by both programs: rounding, checked integer arithmetic and the
// two ways text becomes a number (the lenient leading-number scan and the strict,
// locale-aware conversion).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace core {

// Nearest integer, ties to the even neighbour (2.5 -> 2, 3.5 -> 4). NaN and infinities pass through.
double RoundHalfEven(double value);

// Round half to even, then range check; NaN, infinities and out-of-range raise Overflow.
std::int16_t ToInt16(double value);
std::int32_t ToInt32(double value);

// Integer arithmetic that raises Overflow when the result leaves the type's range.
std::int16_t CheckedAdd16(std::int16_t a, std::int16_t b);
std::int16_t CheckedSub16(std::int16_t a, std::int16_t b);
std::int32_t CheckedAdd32(std::int32_t a, std::int32_t b);
std::int32_t CheckedMul32(std::int32_t a, std::int32_t b);

// Result of the leading-number scan: found is false when the text starts with no number at all.
struct LeadingNumber {
    double value = 0.0;
    bool found = false;
};

// Leading-number scan: blanks, tabs and line feeds are skipped anywhere; optional sign,
// digits with "." as decimal point, optional E/D exponent, or an &H / &O radix prefix.
// Stops at the first character that cannot continue the number. Raises Overflow only for
// radix numbers longer than 32 bits.
LeadingNumber ScanLeadingNumber(std::string_view text);

// Strict conversion of a whole text that must hold exactly one number: white space
// (blank, tab, CR, LF) around it, optional sign, digits, the given decimal separator and
// an optional E exponent. Anything else raises TypeMismatch.
double ParseLocaleNumber(std::string_view text, char decimalSeparator);

// ParseLocaleNumber followed by ToInt16 / ToInt32.
std::int16_t LocaleToInt16(std::string_view text, char decimalSeparator);
std::int32_t LocaleToInt32(std::string_view text, char decimalSeparator);

// Plain decimal text: digits, a minus sign when negative, no blanks.
std::string DecimalText(std::int64_t value);

// Text made only of 1..maxDigits decimal digits (maxDigits at most 18, so it cannot overflow):
// its value; nothing for anything else (empty, a sign, a blank, more digits).
std::optional<std::int64_t> ParseDigits(std::string_view text, std::size_t maxDigits);

}  // namespace core
