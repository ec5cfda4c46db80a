#include "base/deadline.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace dungeon
