#include "base/deadline.h"

#include <gtest/gtest.h>

#include <optional>

namespace dungeon {
namespace {

constexpr std::uint32_t kNearTheWrap = 0xFFFFFFF0;

TEST(DeadlineTest, TimeLeftIsNegativeOncePassedAndRightAcrossTheWrap) {
    EXPECT_EQ(MillisecondsLeft(1100, 1000), 100);
    EXPECT_EQ(MillisecondsLeft(1000, 1000), 0);
    EXPECT_EQ(MillisecondsLeft(900, 1000), -100);
    EXPECT_EQ(MillisecondsLeft(kNearTheWrap + 20, kNearTheWrap), 20);  // the deadline wrapped
    EXPECT_EQ(MillisecondsLeft(kNearTheWrap, kNearTheWrap + 20), -20);
}

TEST(DeadlineTest, TheNearestOfTheDeadlinesSetCounts) {
    EXPECT_EQ(MillisecondsToNearest(1000, {}), std::nullopt);
    EXPECT_EQ(MillisecondsToNearest(1000, {std::nullopt, std::nullopt}), std::nullopt);
    EXPECT_EQ(MillisecondsToNearest(1000, {1100, 1050}), 50);
    EXPECT_EQ(MillisecondsToNearest(1000, {1050, 1100}), 50);
    EXPECT_EQ(MillisecondsToNearest(1000, {std::nullopt, 1100}), 100);
    EXPECT_EQ(MillisecondsToNearest(1000, {1100, std::nullopt}), 100);
    EXPECT_EQ(MillisecondsToNearest(1000, {900, 1100}), 0) << "one already passed";
    EXPECT_EQ(MillisecondsToNearest(kNearTheWrap, {kNearTheWrap + 30, std::nullopt}), 30);
}

}  // namespace
}  // namespace dungeon
