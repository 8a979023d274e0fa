#include "core/numeric.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

#include "core/runtime_error.h"

namespace {

using core::ErrorKind;

// Runs f and returns the kind it raised, or nothing.
template <typename F>
std::optional<ErrorKind> RaisedBy(F&& f) {
    try {
        f();
    } catch (const core::RuntimeError& e) {
        return e.Kind();
    }
    return std::nullopt;
}

TEST(RoundHalfEven, TiesGoToTheEvenNeighbour) {
    const struct {
        double in, out;
    } cases[] = {{0.5, 0},     {1.5, 2},       {2.5, 2},   {3.5, 4},         {12.5, 12},
                 {13.5, 14},   {-0.5, -0},     {-1.5, -2}, {-2.5, -2},       {0.49999, 0},
                 {0.50001, 1}, {-0.50001, -1}, {7, 7},     {32767.5, 32768}, {-32768.5, -32768}};
    for (const auto& c : cases) EXPECT_EQ(core::RoundHalfEven(c.in), c.out) << c.in;
    EXPECT_TRUE(std::isnan(core::RoundHalfEven(std::nan(""))));
}

TEST(IntegerConversion, RangeEdgesAndNonFiniteValues) {
    EXPECT_EQ(core::ToInt16(32767.4), 32767);
    EXPECT_EQ(core::ToInt16(-32768.5), -32768);  // rounds to the even -32768
    EXPECT_EQ(RaisedBy([] { core::ToInt16(32767.5); }), ErrorKind::Overflow);
    EXPECT_EQ(RaisedBy([] { core::ToInt16(-32769); }), ErrorKind::Overflow);
    EXPECT_EQ(RaisedBy([] { core::ToInt16(std::nan("")); }), ErrorKind::Overflow);
    EXPECT_EQ(RaisedBy([] { core::ToInt16(std::numeric_limits<double>::infinity()); }), ErrorKind::Overflow);
    EXPECT_EQ(core::ToInt32(2147483647.0), 2147483647);
    EXPECT_EQ(core::ToInt32(-2147483648.0), -2147483647 - 1);
    EXPECT_EQ(RaisedBy([] { core::ToInt32(2147483647.5); }), ErrorKind::Overflow);
}

TEST(CheckedArithmetic, OverflowAtTheTypeBounds) {
    EXPECT_EQ(core::CheckedSub16(7, 5), 2);
    EXPECT_EQ(core::CheckedSub16(1, -2), 3);
    EXPECT_EQ(RaisedBy([] { core::CheckedSub16(999, -32000); }), ErrorKind::Overflow);
    EXPECT_EQ(RaisedBy([] { core::CheckedSub16(-32768, 1); }), ErrorKind::Overflow);
    EXPECT_EQ(core::CheckedAdd16(32766, 1), 32767);
    EXPECT_EQ(RaisedBy([] { core::CheckedAdd16(32767, 1); }), ErrorKind::Overflow);
    EXPECT_EQ(core::CheckedMul32(100, 8070), 807000);
    EXPECT_EQ(RaisedBy([] { core::CheckedMul32(266112, 8070); }), ErrorKind::Overflow);
    EXPECT_EQ(RaisedBy([] { core::CheckedAdd32(2147483647, 1); }), ErrorKind::Overflow);
}

TEST(ScanLeadingNumber, CountTexts) {
    const struct {
        const char* text;
        double value;
        bool found;
    } cases[] = {
        {"12\r", 12, true},   {"100", 100, true},       {" 7", 7, true},    {"1 2", 12, true},
        {"1.5", 1.5, true},   {"2.5", 2.5, true},       {"0.5", 0.5, true}, {"-5", -5, true},
        {"+5", 5, true},      {"abc", 0, false},        {"<ht", 0, false},  {"", 0, false},
        {"   ", 0, false},    {"\t\n7", 7, true},       {"\r7", 0, false},  {"4E4", 40000, true},
        {"1D2", 100, true},   {"1e", 1, true},          {"1E+", 1, true},   {"2e-1", 0.2, true},
        {".5", 0.5, true},    {".", 0, false},          {"-", 0, false},    {"--5", 0, false},
        {"1.2.3", 1.2, true}, {"&H1F", 31, true},       {"&h a", 10, true}, {"&O17", 15, true},
        {"&HFFFF", -1, true}, {"&H10000", 65536, true}, {"&H", 0, false},   {"&X1", 0, false},
        {"7x", 7, true},      {"1,5", 1, true},         {"0007", 7, true},  {"1E999999999", INFINITY, true},
    };
    for (const auto& c : cases) {
        const core::LeadingNumber n = core::ScanLeadingNumber(c.text);
        EXPECT_EQ(n.found, c.found) << '"' << c.text << '"';
        EXPECT_DOUBLE_EQ(n.value, c.value) << '"' << c.text << '"';
    }
    EXPECT_EQ(RaisedBy([] { core::ScanLeadingNumber("&H123456789"); }), ErrorKind::Overflow);
}

TEST(LocaleConversion, AcceptsOneNumberWithTheGivenSeparator) {
    const struct {
        const char* text;
        char sep;
        int value;
    } cases[] = {
        {" 7 \r\n", '.', 7}, {"7\r\n", '.', 7},     {"123", '.', 123},       {"-3 \r\n", '.', -3},
        {"+4", '.', 4},      {"\t 12 \t", '.', 12}, {"2.5", '.', 2},         {"3.5", '.', 4},
        {"2,5", ',', 2},     {"-2,5", ',', -2},     {"0,5", ',', 0},         {",5", ',', 0},
        {"1e3", '.', 1000},  {"1E+2", '.', 100},    {"0032767", '.', 32767}, {"-32768", '.', -32768},
    };
    for (const auto& c : cases) EXPECT_EQ(core::LocaleToInt16(c.text, c.sep), c.value) << '"' << c.text << '"';
}

TEST(LocaleConversion, RejectsAnythingButOneNumber) {
    const struct {
        const char* text;
        char sep;
        ErrorKind kind;
    } cases[] = {
        {"abc", '.', ErrorKind::TypeMismatch},     {"", '.', ErrorKind::TypeMismatch},
        {"   \r\n", '.', ErrorKind::TypeMismatch}, {"1\r\n2\r\n", '.', ErrorKind::TypeMismatch},
        {"1 2", '.', ErrorKind::TypeMismatch},     {"2,5", '.', ErrorKind::TypeMismatch},
        {"2.5", ',', ErrorKind::TypeMismatch},     {"7x", '.', ErrorKind::TypeMismatch},
        {"-", '.', ErrorKind::TypeMismatch},       {"1e", '.', ErrorKind::TypeMismatch},
        {"+-1", '.', ErrorKind::TypeMismatch},     {"1..2", '.', ErrorKind::TypeMismatch},
        {"40000", '.', ErrorKind::Overflow},       {"-32769", '.', ErrorKind::Overflow},
        {"32767.5", '.', ErrorKind::Overflow},     {"1e99999999", '.', ErrorKind::Overflow},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RaisedBy([&] { core::LocaleToInt16(c.text, c.sep); }), c.kind) << '"' << c.text << '"';
    }
    // A NUL byte is not white space.
    EXPECT_EQ(RaisedBy([] { core::LocaleToInt16(std::string("7\0", 2), '.'); }), ErrorKind::TypeMismatch);
}

TEST(LocaleConversion, ThirtyTwoBitRange) {
    EXPECT_EQ(core::LocaleToInt32("2147483647", '.'), 2147483647);
    EXPECT_EQ(core::LocaleToInt32("2048", '.'), 2048);
    EXPECT_EQ(RaisedBy([] { core::LocaleToInt32("2147483648", '.'); }), ErrorKind::Overflow);
    EXPECT_EQ(RaisedBy([] { core::LocaleToInt32("12 bytes", '.'); }), ErrorKind::TypeMismatch);
}

TEST(RuntimeError, NumbersAndSpanishTexts) {
    const struct {
        ErrorKind kind;
        int number;
        const char* text;
    } cases[] = {
        {ErrorKind::FileNotFound, 53, "No se encontró el archivo"},
        {ErrorKind::PathNotFound, 76, "No se encontró la ruta de acceso"},
        {ErrorKind::PathFileAccess, 75, "Error de acceso a la ruta o el archivo"},
        {ErrorKind::PermissionDenied, 70, "Permiso denegado"},
        {ErrorKind::DiskFull, 61, "Disco lleno"},
        {ErrorKind::TypeMismatch, 13, "No coinciden los tipos"},
        {ErrorKind::Overflow, 6, "Desbordamiento"},
        {ErrorKind::OutOfMemory, 7, "Memoria insuficiente"},
        {ErrorKind::DivisionByZero, 11, "División por cero"},
    };
    for (const auto& c : cases) {
        const core::RuntimeError e(c.kind, "detalle");
        EXPECT_EQ(e.Number(), c.number);
        EXPECT_STREQ(e.Description(), c.text);
        EXPECT_EQ(e.Detail(), "detalle");
    }
}

TEST(ParseDigits, OnlyPlainDigitsWithinTheLimit) {
    const struct {
        const char* text;
        std::size_t maxDigits;
        std::optional<std::int64_t> value;
    } cases[] = {
        {"0", 1, 0},
        {"007", 3, 7},
        {"123", 3, 123},
        {"1234", 3, std::nullopt},
        {"", 3, std::nullopt},
        {"+1", 3, std::nullopt},
        {"-1", 3, std::nullopt},
        {" 1", 3, std::nullopt},
        {"1 ", 3, std::nullopt},
        {"1a", 3, std::nullopt},
        {"999999999999999999", 18, 999999999999999999},
        {"1", 19, std::nullopt},  // a limit that could overflow is refused
    };
    for (const auto& c : cases) {
        EXPECT_EQ(core::ParseDigits(c.text, c.maxDigits), c.value) << '"' << c.text << '"';
    }
}

}  // namespace
