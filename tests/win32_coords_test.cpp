#include "platform/win32/win32_coords.h"

#include <gtest/gtest.h>

#include <climits>

namespace dungeon {
namespace {

TEST(Win32Coords, ConvertsBetweenLayerAndConsoleCells) {
    EXPECT_EQ(ToConsoleCoordinate(1), 0);
    EXPECT_EQ(ToConsoleCoordinate(80), 79);
    EXPECT_EQ(ToConsoleCoordinate(0), -1);
    EXPECT_EQ(FromConsoleCoordinate(0), 1);
    EXPECT_EQ(FromConsoleCoordinate(ToConsoleCoordinate(255)), 255);
}

TEST(Win32Coords, PositionsBeyondSixteenBitsStayOffTheScreen) {
    // Plain truncation would put 70000 on row 4463 of a tall buffer, and -40000 on 25535.
    EXPECT_EQ(ToConsoleCoordinate(32768), 32767);
    EXPECT_EQ(ToConsoleCoordinate(70000), 32767);
    EXPECT_EQ(ToConsoleCoordinate(INT_MAX), 32767);
    EXPECT_EQ(ToConsoleCoordinate(-32767), -32768);
    EXPECT_EQ(ToConsoleCoordinate(-40000), -32768);
    EXPECT_EQ(ToConsoleCoordinate(INT_MIN), -32768);
}

}  // namespace
}  // namespace dungeon
