#include "base/code_range.h"

#include <gtest/gtest.h>

namespace dungeon {
namespace {

TEST(CodeRangeTest, HasBothEndsAndNothingBeyond) {
    const CodeRange digits{'0', '9'};
    EXPECT_TRUE(digits.Has('0'));
    EXPECT_TRUE(digits.Has('5'));
    EXPECT_TRUE(digits.Has('9'));
    EXPECT_FALSE(digits.Has('0' - 1));
    EXPECT_FALSE(digits.Has('9' + 1));
    const CodeRange one{0x1B, 0x1B};
    EXPECT_TRUE(one.Has(0x1B));
    EXPECT_FALSE(one.Has(0x1C));
    EXPECT_FALSE(one.Has(0x1A));
}

}  // namespace
}  // namespace dungeon
