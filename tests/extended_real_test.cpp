#include "base/extended_real.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace dungeon {
namespace {

// Results the x87 gives, bit for bit: the roundings where a software implementation most
// easily goes wrong (ties to even, a sticky bit far below the last place, subnormals,
// overflow). They hold for the software type on every machine, also where no x87 can
// compare it.
template <typename Real>
void ExpectX87Results() {
    // Read at run time: a compiler folds 0 / 0 to a NaN of its own choice.
    volatile double zero = 0;
    const Real one = 1;
    const Real smallest = Real::FromBits({0x0000, 1});
    const Real largest = Real::FromBits({0x7FFE, ~std::uint64_t{0}});
    const Real belowOneInLastPlace = Real::FromBits({0x3FBF, std::uint64_t{1} << 63});  // 2^-64
    struct Case {
        const char* what;
        Real result;
        ExtendedBits bits;
    };
    const Case cases[] = {
        {"1 / 3", one / 3, {0x3FFD, 0xAAAAAAAAAAAAAAABu}},
        {"1 / 10", one / 10, {0x3FFB, 0xCCCCCCCCCCCCCCCDu}},
        {"9 / 10", Real(9) / 10, {0x3FFE, 0xE666666666666666u}},
        {"1 / 1e15", one / 1e15, {0x3FCD, 0x901D7CF73AB0ACD9u}},
        {"0.1 + 0.2", Real(0.1) + 0.2, {0x3FFD, 0x9999999999999C00u}},
        {"1 - 2^-64", one - belowOneInLastPlace, {0x3FFE, 0xFFFFFFFFFFFFFFFFu}},
        {"1 + 2^-64, a tie", one + belowOneInLastPlace, {0x3FFF, 0x8000000000000000u}},
        {"1 + 3 * 2^-65", one + belowOneInLastPlace * 1.5, {0x3FFF, 0x8000000000000001u}},
        {"smallest / 2, a tie", smallest / 2, {0x0000, 0}},
        {"smallest * 1.5", smallest * 1.5, {0x0000, 2}},
        {"largest * 2", largest * 2, {0x7FFF, 0x8000000000000000u}},
        {"-0 + -0", Real(-0.0) + Real(-0.0), {0x8000, 0}},
        {"1 - 1", one - one, {0x0000, 0}},
        {"0 / 0", Real(zero) / Real(zero), {0xFFFF, 0xC000000000000000u}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.result.Bits(), c.bits) << c.what;
    }
}

TEST(ExtendedRealTest, ArithmeticGivesTheX87sBits) {
    ExpectX87Results<SoftExtendedReal>();
    ExpectX87Results<ExtendedReal>();
}

template <typename Real>
void ExpectConversionsRoundOnce() {
    const Real one = 1;
    const Real lastDoubleBit = Real::FromBits({0x3FCA, std::uint64_t{1} << 63});  // 2^-53
    const Real farBelow = Real::FromBits({0x3FC0, std::uint64_t{1} << 63});       // 2^-63
    // A tie goes to the even neighbour; a bit far below the tie decides it upwards.
    EXPECT_EQ(static_cast<double>(one + lastDoubleBit), 1.0);
    EXPECT_EQ(static_cast<double>(one + lastDoubleBit + farBelow), 1.0 + 0x1p-52);
    // Below double's range a subnormal double, above it infinity.
    EXPECT_EQ(static_cast<double>(Real(0x1p-1074) * 1.5), 0x1p-1073);
    EXPECT_EQ(static_cast<double>(Real(std::numeric_limits<double>::max()) * 2),
              std::numeric_limits<double>::infinity());
    // To integers toward zero.
    EXPECT_EQ(static_cast<std::int32_t>(Real(-7.9)), -7);
    EXPECT_EQ(static_cast<std::int64_t>(Real(-1e10) - 0.75), -10000000000);
}

TEST(ExtendedRealTest, ConversionsRoundOnce) {
    ExpectConversionsRoundOnce<SoftExtendedReal>();
    ExpectConversionsRoundOnce<ExtendedReal>();
}

#if DUNGEON_X87_LONG_DOUBLE
// The x87 rounds to the precision its control word sets; a runtime that sets 53 bits (as
// Windows does for its own compilers) would make every extended result a double's.
TEST(ExtendedRealTest, TheX87ComputesWithItsFullSignificand) {
    volatile long double one = 1.0L;
    volatile long double lastBit = 0x1p-63L;
    EXPECT_NE(one + lastBit, one);
}
#endif

}  // namespace
}  // namespace dungeon
