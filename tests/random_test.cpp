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
        const ExtendedReal r = generator.NextReal();
        EXPECT_TRUE(r >= 0 && r < 1);
    }
    EXPECT_TRUE(seenLow && seenHigh);

    // A negative n mirrors the positive one: trunc cuts toward zero.
    EXPECT_EQ(DrawFromSeed(0, -38, 6), (std::vector<std::int32_t>{-27, -19, -2, -29, -14, -4}));
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

    EXPECT_EQ(Round(2.5), 2);
    EXPECT_EQ(Round(3.5), 4);
    EXPECT_EQ(Round(-2.5), -2);
    EXPECT_EQ(Round(-3.5), -4);
    EXPECT_EQ(Round(2.4999), 2);
    EXPECT_EQ(Round(2.5001), 3);
    EXPECT_EQ(Round(-0.5), 0);
    EXPECT_EQ(Round(6.0), 6);
    // The extended real just above one half.
    EXPECT_EQ(Round(ExtendedReal::FromBits({0x3FFE, (std::uint64_t{1} << 63) | 1})), 1);
    // Out of range and undefined values saturate rather than overflow.
    EXPECT_EQ(Round(1e12), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(Round(-1e12), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(Round(2147483646.5), 2147483646);
    EXPECT_EQ(Round(-2147483648.5), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(Round(std::numeric_limits<double>::quiet_NaN()), 0);
}

}  // namespace
}  // namespace dungeon
