#include "base/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace dungeon {
namespace {

std::string Fixed(ExtendedReal x, int width, int decimals, RealKind kind = RealKind::kDouble) {
    return std::string(FormatFixed(x, width, decimals, kind).View());
}

struct Row {
    double x;
    const char* text;
};

// The extended reals at the ends of the range.
constexpr ExtendedBits kLargest{0x7FFE, ~std::uint64_t{0}};
constexpr ExtendedBits kSmallestNormal{0x0001, std::uint64_t{1} << 63};
constexpr ExtendedBits kSmallestSubnormal{0x0000, 1};

TEST(FormatFixedTest, StatusTextWidthThree) {
    const Row rows[] = {
        {2.5, "  3"},  {2.4999, "  2"}, {12.5, " 13"},  {9.5, " 10"},     {99.5, "100"},
        {0.88, "  1"}, {0.5, "  1"},    {0.4, "  0"},   {0.0, "  0"},     {-0.0, " -0"},
        {-0.4, " -0"}, {-2.5, " -3"},   {100.0, "100"}, {1234.6, "1235"},
    };
    for (RealKind kind : {RealKind::kDouble, RealKind::kExtended}) {
        for (const Row& row : rows) {
            EXPECT_EQ(Fixed(row.x, 3, 0, kind), row.text) << static_cast<double>(row.x);
        }
    }
}

TEST(FormatFixedTest, ConditionTextWidthTwoAndOtherLayouts) {
    const Row rows[] = {{5.0, " 5"}, {37.5, "38"}, {62.5, "63"}, {100.0, "100"}, {0.0, " 0"}};
    for (RealKind kind : {RealKind::kDouble, RealKind::kExtended}) {
        for (const Row& row : rows) {
            EXPECT_EQ(Fixed(row.x, 2, 0, kind), row.text) << static_cast<double>(row.x);
        }
    }

    EXPECT_EQ(Fixed(3.14159, 0, 2), "3.14");
    EXPECT_EQ(Fixed(0.05, 0, 2), "0.05");
    EXPECT_EQ(Fixed(0.001, 0, 5), "0.00100");
    EXPECT_EQ(Fixed(0.096, 0, 2), "0.10");
    EXPECT_EQ(Fixed(9.9999, 0, 2), "10.00");
    EXPECT_EQ(Fixed(0.0, 0, 3), "0.000");
    EXPECT_EQ(Fixed(-1.25, 8, 1), "    -1.3");
    EXPECT_EQ(Fixed(1e-30, 0, 3), "0.000");
    EXPECT_EQ(Fixed(0.0004, 0, 0), "0");
    // More decimals than the kind carries are cut to its 16 or 17 digits.
    EXPECT_EQ(Fixed(0.5, 0, 40, RealKind::kDouble), "0.5000000000000000");
    EXPECT_EQ(Fixed(0.5, 0, 40, RealKind::kExtended), "0.50000000000000000");
    // Beyond the generated digits zeros follow, and the last generated digit is rounded.
    EXPECT_EQ(Fixed(123456789012345678.0, 0, 0, RealKind::kExtended), "123456789012345680");
    EXPECT_EQ(Fixed(123456789012345678.0, 0, 0, RealKind::kDouble), "123456789012345700");
    EXPECT_EQ(Fixed(1e20, 0, 2), "100000000000000000000.00");
    // The 17 digits of the double nearest to 0.1234567890123456789, which ends in ...5677.
    EXPECT_EQ(Fixed(0.1234567890123456789, 0, 17, RealKind::kExtended), "0.12345678901234568");
    // Just below one, within the tolerance: the carry makes it one. The differences are
    // extended reals, closer to the whole numbers than any double.
    EXPECT_EQ(Fixed(ExtendedReal(1) - 1e-17, 0, 0, RealKind::kExtended), "1");
    EXPECT_EQ(Fixed(ExtendedReal(10) - 1e-16, 0, 2, RealKind::kExtended), "10.00");
    // There the tenths quotient counts as a digit 0 that no carry reaches; it is not shown.
    EXPECT_EQ(Fixed(ExtendedReal(10) - 0.7e-15, 0, 15, RealKind::kExtended), "9.999999999999999");
    // The doubles 0.145 and 0.285 lie just below the ties: rounding must not lift them.
    EXPECT_EQ(Fixed(0.145, 0, 2), "0.14");
    EXPECT_EQ(Fixed(0.285, 0, 2), "0.28");
    EXPECT_EQ(Fixed(0.145, 0, 2, RealKind::kExtended), "0.14");
    EXPECT_EQ(Fixed(0.285, 0, 2, RealKind::kExtended), "0.28");
}

TEST(FormatFixedTest, ValuesThatAreNotFiniteOrTooLarge) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(Fixed(std::numeric_limits<double>::quiet_NaN(), 5, 0), "  NaN");
    EXPECT_EQ(Fixed(inf, 0, 0), "Inf");
    EXPECT_EQ(Fixed(-inf, 6, 2), "  -Inf");

    EXPECT_EQ(Fixed(1e36, 0, 0), "1.0E+36");
    EXPECT_EQ(Fixed(-2.5e40, 0, 3), "-2.500E+40");
    EXPECT_EQ(Fixed(1234.5, 0, -1, RealKind::kDouble), "1.234500000000000E+03");
    EXPECT_EQ(Fixed(0.0, 0, -1, RealKind::kDouble), "0.000000000000000E+00");
    EXPECT_EQ(Fixed(9.9999999e99, 0, 2), "1.00E+100");
    const ExtendedReal extremes[] = {
        ExtendedReal::FromBits(kLargest), ExtendedReal::FromBits(kSmallestNormal),
        ExtendedReal::FromBits(kSmallestSubnormal), -ExtendedReal::FromBits(kLargest)};
    for (ExtendedReal x : extremes) {
        std::string text = Fixed(x, 0, -5, RealKind::kExtended);
        EXPECT_NE(text.find('E'), std::string::npos) << text;
        EXPECT_LE(text.size(), 30u) << text;
    }

    // Width is a minimum up to the longest text there is.
    EXPECT_EQ(Fixed(7.0, 300, 0).size(), 255u);
    // The text is padded first and then keeps its first 255 characters.
    EXPECT_EQ(Fixed(5.0, 300, 0), std::string(255, ' '));
    EXPECT_EQ(Fixed(5.0, 256, 0), std::string(255, ' '));
    EXPECT_EQ(Fixed(5.0, 255, 0), std::string(254, ' ') + "5");
    EXPECT_EQ(Fixed(-12.0, 256, 0), std::string(253, ' ') + "-1");
    EXPECT_EQ(Fixed(std::numeric_limits<double>::quiet_NaN(), 257, 0), std::string(254, ' ') + "N");
    EXPECT_EQ(Fixed(7.0, -10, 0), "7");
    EXPECT_EQ(Fixed(7.0, std::numeric_limits<std::int32_t>::min(), 0), "7");
}

// Rounding half away from zero, exact for every double: the part below the units is exact.
// (MinGW-w64's std::round rounds 0.49999999999999994 up, so it cannot be the reference.)
double RoundHalfAway(double x) {
    double whole = std::trunc(x);
    return std::fabs(x - whole) >= 0.5 ? whole + std::copysign(1.0, x) : whole;
}

// The game's values: the text must be the magnitude rounded half away from zero.
TEST(FormatFixedTest, WholeNumbersMatchRoundingHalfAwayFromZero) {
    std::vector<double> values;
    for (int k = 0; k <= 2000; ++k) {
        double tie = k / 2.0;
        values.push_back(tie);
        values.push_back(std::nextafter(tie, 0.0));
        values.push_back(std::nextafter(tie, 2000.0));
        values.push_back(k / 1000.0);
        values.push_back(k / 7.0);
    }
    std::mt19937_64 engine(7);
    std::uniform_real_distribution<double> anywhere(0.0, 1000.0);
    for (int i = 0; i < 200000; ++i) {
        values.push_back(anywhere(engine));
    }

    int mismatches = 0;
    for (double value : values) {
        for (double x : {value, -value}) {
            char expected[64];
            std::snprintf(expected, sizeof expected, "%.0f", RoundHalfAway(x));
            for (RealKind kind : {RealKind::kDouble, RealKind::kExtended}) {
                std::string text = Fixed(x, 0, 0, kind);
                if (text != expected && ++mismatches <= 10) {
                    ADD_FAILURE() << "x = " << x << ": " << text << " instead of " << expected;
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

// With decimals the reference is snprintf, which rounds the exact binary value; values
// that lie exactly halfway are left out because snprintf sends them to the even neighbour.
TEST(FormatFixedTest, DecimalsMatchTheExactValueAwayFromTies) {
    std::vector<double> values;
    for (int k = 0; k <= 100000; ++k) {
        values.push_back(k / 1000.0);
    }
    std::mt19937_64 engine(11);
    std::uniform_real_distribution<double> anywhere(0.0, 1000.0);
    for (int i = 0; i < 100000; ++i) {
        values.push_back(anywhere(engine));
    }
    int mismatches = 0;
    const std::int32_t kPowers[] = {1, 10, 100, 1000};
    for (double x : values) {
        for (int decimals : {1, 2, 3}) {
            // Exact: 53 bits of x times at most 11 bits of 2000.
            const ExtendedReal scaled = ExtendedReal(x) * (2 * kPowers[decimals]);
            if (scaled == Floor(scaled) && static_cast<std::int64_t>(scaled) % 2 == 1) {
                continue;
            }
            char expected[64];
            std::snprintf(expected, sizeof expected, "%.*f", decimals, x);
            std::string text = Fixed(x, 0, decimals, RealKind::kDouble);
            if (text != expected && ++mismatches <= 10) {
                ADD_FAILURE() << "x = " << x << ", " << decimals << " decimals: " << text
                              << " instead of " << expected;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(ParseIntegerTest, DigitsSignsAndStops) {
    for (char c = '1'; c <= '7'; ++c) {
        ParsedInteger parsed = ParseInteger(Text::Of(c));
        EXPECT_EQ(parsed.value, c - '0');
        EXPECT_EQ(parsed.errorPosition, 0);
    }
    struct Case {
        const char* text;
        std::int64_t value;
        std::int32_t errorPosition;
    };
    const Case cases[] = {
        {" \t 42", 42, 0},
        {"-17", -17, 0},
        {"+8", 8, 0},
        {"12a", 12, 3},
        {"12 ", 12, 3},
        {"", 0, 1},
        {"   ", 0, 4},
        {"-", 0, 2},
        {"x1", 0, 1},
        {"--1", 0, 2},
        {"9223372036854775807", std::numeric_limits<std::int64_t>::max(), 0},
        {"-9223372036854775808", std::numeric_limits<std::int64_t>::min(), 0},
        // A digit that would leave the range ends the number.
        {"9223372036854775808", 922337203685477580, 19},
        {"-99999999999999999999", -999999999999999999, 20},
    };
    for (const Case& c : cases) {
        ParsedInteger parsed = ParseInteger(Text(c.text));
        EXPECT_EQ(parsed.value, c.value) << '"' << c.text << '"';
        EXPECT_EQ(parsed.errorPosition, c.errorPosition) << '"' << c.text << '"';
    }
}

TEST(DecimalTextTest, TheLengthIsThatOfTheDigitsWritten) {
    const std::uint32_t values[] = {
        0,   1,    9,     10,        99,         100,
        999, 1000, 65535, 999999999, 1000000000, std::numeric_limits<std::uint32_t>::max()};
    const int lengths[] = {1, 1, 1, 2, 2, 3, 3, 4, 5, 9, 10, 10};
    for (std::size_t i = 0; i < std::size(values); ++i) {
        EXPECT_EQ(DecimalLength(values[i]), lengths[i]) << values[i];
        EXPECT_EQ(DecimalLength(values[i]), DecimalText(values[i]).Length()) << values[i];
    }
}

}  // namespace
}  // namespace dungeon
