#include "base/random.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "console/console.h"
#include "console/randomize.h"
#include "platform/memory/memory_platform.h"

namespace dungeon {
namespace {

std::vector<std::int32_t> Draw(RandomNumbers& generator, std::int32_t n, int count) {
    std::vector<std::int32_t> values;
    for (int i = 0; i < count; ++i) {
        values.push_back(generator.Random(n));
    }
    return values;
}

std::vector<std::int32_t> DrawFromSeed(std::uint32_t seed, std::int32_t n, int count) {
    RandomNumbers generator;
    generator.SetSeed(seed);
    return Draw(generator, n, count);
}

// The known values of the generator: the reals and draws that follow the reseeding from
// seed 0 (which leaves 997965, 357600, 253305), from 12345, and from 5000000 (whose
// reseeding runs a nested reseed first and leaves 87478, 514551, 28381).
TEST(RandomNumbersTest, UnseededGeneratorReseedsFromZero) {
    RandomNumbers generator;
    EXPECT_NEAR(static_cast<double>(generator.NextReal()), 0.7132419314, 1e-10);
    EXPECT_NEAR(static_cast<double>(generator.NextReal()), 0.5111267601, 1e-10);
    EXPECT_NEAR(static_cast<double>(generator.NextReal()), 0.0638171629, 1e-10);

    EXPECT_EQ(DrawFromSeed(0, 38, 6), (std::vector<std::int32_t>{27, 19, 2, 29, 14, 4}));
}

TEST(RandomNumbersTest, SeedsSetBeforeTheFirstDraw) {
    EXPECT_EQ(DrawFromSeed(12345, 38, 6), (std::vector<std::int32_t>{17, 29, 20, 26, 8, 33}));
    EXPECT_EQ(DrawFromSeed(5000000, 38, 6), (std::vector<std::int32_t>{22, 6, 30, 14, 21, 18}));
}

TEST(RandomNumbersTest, NewSeedBetweenDrawsRestartsTheSequence) {
    RandomNumbers generator;
    Draw(generator, 38, 10);
    generator.SetSeed(12345);
    // The reseed derives every state from the seed alone, so history does not matter.
    EXPECT_EQ(Draw(generator, 38, 6), DrawFromSeed(12345, 38, 6));

    // Setting the seed it already has is no change and the sequence simply goes on.
    RandomNumbers same = generator;
    RandomNumbers untouched = generator;
    same.SetSeed(same.Seed());
    EXPECT_EQ(Draw(same, 1000, 20), Draw(untouched, 1000, 20));
}

TEST(RandomNumbersTest, RangesOfRandom) {
    RandomNumbers generator;
    bool seenLow = false;
    bool seenHigh = false;
    for (int i = 0; i < 2000; ++i) {
        EXPECT_EQ(generator.Random(1), 0);
        EXPECT_EQ(generator.Random(0), 0);
        std::int32_t value = generator.Random(7);
        EXPECT_GE(value, 0);
        EXPECT_LE(value, 6);
        std::int32_t negative = generator.Random(-5);
        EXPECT_GE(negative, -4);
        EXPECT_LE(negative, 0);
        seenLow = seenLow || negative == -4;
        seenHigh = seenHigh || negative == 0;
        std::int32_t widest = generator.Random(std::numeric_limits<std::int32_t>::min());
        EXPECT_GT(widest, std::numeric_limits<std::int32_t>::min());
        EXPECT_LE(widest, 0);
        long double r = generator.NextReal();
        EXPECT_GE(r, 0.0L);
        EXPECT_LT(r, 1.0L);
    }
    EXPECT_TRUE(seenLow && seenHigh);

    // A negative n mirrors the positive one: trunc cuts toward zero.
    EXPECT_EQ(DrawFromSeed(0, -38, 6), (std::vector<std::int32_t>{-27, -19, -2, -29, -14, -4}));
}

TEST(RandomNumbersTest, ExactAndExtendedProductsAgree) {
    // The integer form must give what the extended-precision product gives. They could only
    // differ where n * r lies within a rounding error of a whole number.
    RandomNumbers generator;
    generator.SetSeed(20240611);
    int differences = 0;
    const std::int32_t sizes[] = {38,
                                  18,
                                  7,
                                  1000003,
                                  -38,
                                  std::numeric_limits<std::int32_t>::max(),
                                  std::numeric_limits<std::int32_t>::min()};
    for (int i = 0; i < 1000000; ++i) {
        std::int32_t n = i % 4 == 0 ? sizes[(i / 4) % 7] : 38;
        long double r = generator.NextReal();
        auto extended = static_cast<std::int32_t>(static_cast<long double>(n) * r);
        std::int32_t exact =
            TruncatedProductExact(n, generator.Seed(), generator.State2(), generator.State3());
        if (extended != exact) {
            ++differences;
        }
    }
    if (std::numeric_limits<long double>::digits == 64) {
        EXPECT_EQ(differences, 0);
    } else {
        // A narrower long double may round across a whole number now and then.
        EXPECT_LT(differences, 1000);
    }

    // Whole results where the fraction is exactly known: r = 0, and states beyond their
    // moduli, which only add whole numbers to the sum.
    EXPECT_EQ(TruncatedProductExact(38, 0, 0, 0), 0);
    EXPECT_EQ(TruncatedProductExact(38, 500009, 600011 * 2, 765241), 0);
    // r = 1/2 + ... : seed/500009 alone with seed 250005 is just above a half.
    EXPECT_EQ(TruncatedProductExact(2, 250005, 0, 0), 1);
    EXPECT_EQ(TruncatedProductExact(-2, 250005, 0, 0), -1);
    EXPECT_EQ(TruncatedProductExact(2, 250004, 0, 0), 0);
    // These states give the largest fraction below one, (denominator - 1) / denominator.
    EXPECT_EQ(
        TruncatedProductExact(std::numeric_limits<std::int32_t>::max(), 310792, 185178, 53416),
        std::numeric_limits<std::int32_t>::max() - 1);
    EXPECT_EQ(
        TruncatedProductExact(std::numeric_limits<std::int32_t>::min(), 310792, 185178, 53416),
        std::numeric_limits<std::int32_t>::min() + 1);
}

TEST(RandomNumbersTest, RandomizeSeedsFromTheConsoleClock) {
    // Static: the console keeps pointing at its platform after the test.
    static MemoryPlatform platform;
    platform.SetTickCount(5000000);
    ASSERT_TRUE(TheConsole().Start(platform));
    const std::vector<std::int32_t> expected = {22, 6, 30, 14, 21, 18};

    // Whatever the program's generator drew before, the clock reading restarts it.
    Randomize();
    EXPECT_EQ(Draw(TheRandom(), 38, 6), expected);
    Randomize();
    EXPECT_EQ(Draw(TheRandom(), 38, 6), expected);
}

TEST(RandomNumbersTest, GlobalGeneratorAndRound) {
    RandomNumbers reference = TheRandom();
    std::int32_t drawn = Random(38);
    EXPECT_EQ(drawn, reference.Random(38));
    EXPECT_EQ(&TheRandom(), &TheRandom());

    EXPECT_EQ(Round(2.5L), 2);
    EXPECT_EQ(Round(3.5L), 4);
    EXPECT_EQ(Round(-2.5L), -2);
    EXPECT_EQ(Round(-3.5L), -4);
    EXPECT_EQ(Round(2.4999L), 2);
    EXPECT_EQ(Round(2.5001L), 3);
    EXPECT_EQ(Round(-0.5L), 0);
    EXPECT_EQ(Round(6.0L), 6);
    EXPECT_EQ(Round(std::nextafter(0.5L, 1.0L)), 1);
    // Out of range and undefined values saturate rather than overflow.
    EXPECT_EQ(Round(1e12L), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(Round(-1e12L), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(Round(2147483646.5L), 2147483646);
    EXPECT_EQ(Round(-2147483648.5L), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(Round(std::numeric_limits<long double>::quiet_NaN()), 0);
}

}  // namespace
}  // namespace dungeon
