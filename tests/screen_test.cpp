#include "console/screen.h"

#include <gtest/gtest.h>

#include <string>

namespace dungeon {
namespace {

// A cell, spelled so that it can stand inside a test macro's arguments.
Cell Glyph(char character, std::uint8_t attribute) {
    return Cell{static_cast<std::uint8_t>(character), attribute};
}

std::string Row(const Screen& screen, int y, int from, int to) {
    std::string row;
    for (int x = from; x <= to; ++x) {
        row.push_back(static_cast<char>(screen.At(x, y).character));
    }
    return row;
}

// A Windows console buffer of 9001 rows: cells are stored only where a window can be, and
// clearing and scrolling change nothing outside their rectangle.
TEST(ScreenTest, TallScreensKeepWhatWindowsReachAndTouchOnlyTheirRectangle) {
    Screen screen;
    screen.Reset(120, 9001, 0x1E);
    EXPECT_EQ(screen.Width(), 120);
    EXPECT_EQ(screen.Height(), 9001);
    EXPECT_EQ(screen.StoredWidth(), 120);
    EXPECT_EQ(screen.StoredHeight(), Screen::kMaxSide);
    screen.Write(1, 9000, Cell{'x', 0x1E});  // beyond every window: ignored
    EXPECT_EQ(screen.At(1, 9000), Cell{});
    EXPECT_EQ(screen.LowestRowDrawn(), 0);

    for (int y = 29; y <= 40; ++y) {
        for (int x = 40; x <= 61; ++x) {
            screen.Write(x, y, Cell{static_cast<std::uint8_t>('a' + (y - 29)), 0x1E});
        }
    }
    screen.MarkPresented();
    screen.ScrollUp(Rect{41, 30, 60, 39}, Cell{'.', 0x1E});
    EXPECT_EQ(Row(screen, 29, 40, 61), std::string(22, 'a'));
    EXPECT_EQ(Row(screen, 30, 40, 61), "b" + std::string(20, 'c') + "b");
    EXPECT_EQ(Row(screen, 38, 40, 61), "j" + std::string(20, 'k') + "j");
    EXPECT_EQ(Row(screen, 39, 40, 61), "k" + std::string(20, '.') + "k");
    EXPECT_EQ(Row(screen, 40, 40, 61), std::string(22, 'l'));
    // Only the rectangle's rows and columns differ from what was presented.
    EXPECT_TRUE(screen.DifferingSpan(29).Empty());
    EXPECT_EQ(screen.DifferingSpan(30).left, 41);
    EXPECT_EQ(screen.DifferingSpan(39).right, 60);
    EXPECT_TRUE(screen.DifferingSpan(40).Empty());
    EXPECT_EQ(screen.LowestRowDrawn(), 40);

    screen.Clear(Rect{200, 1, 300, 9001}, Cell{'#', 0x1E});  // wholly beside the stored cells
    EXPECT_EQ(screen.At(120, 1), Glyph(' ', 0x1E));
}

// What a platform shows is the presented picture: it follows the changes once they are
// marked presented, and is unknown again once forgotten.
TEST(ScreenTest, ThePresentedPictureFollowsOnlyWhatWasMarkedPresented) {
    Screen screen;
    screen.Reset(10, 3, kDefaultAttribute);
    EXPECT_FALSE(screen.PresentedKnown());
    EXPECT_TRUE(screen.Changed());
    screen.MarkPresented();
    EXPECT_FALSE(screen.Changed());

    screen.Write(4, 2, Cell{'H', 7});
    screen.Write(9, 2, Cell{'M', 7});
    EXPECT_TRUE(screen.Changed());
    EXPECT_EQ(screen.PresentedAt(4, 2), Cell{});  // not yet shown
    screen.MarkPresented();
    EXPECT_EQ(screen.PresentedAt(4, 2), Glyph('H', 7));
    EXPECT_EQ(screen.PresentedAt(9, 2), Glyph('M', 7));
    EXPECT_FALSE(screen.Changed());

    screen.SetCursor(5, 2);
    EXPECT_TRUE(screen.Changed());  // the cursor alone
    screen.MarkPresented();
    screen.SetCursor(5, 2);  // where it stands: no change
    screen.SetCursorVisible(true);
    EXPECT_FALSE(screen.Changed());

    screen.Forget();
    EXPECT_FALSE(screen.PresentedKnown());
    EXPECT_TRUE(screen.Changed());
}

// The differing span is what a platform must send of a row: from the first to the last
// cell that is not as presented.
TEST(ScreenTest, TheDifferingSpanLeavesOutCellsAsPresented) {
    Screen screen;
    screen.Reset(10, 3, kDefaultAttribute);
    // Nothing presented yet: the whole row, blanks too, must be shown.
    EXPECT_EQ(screen.DifferingSpan(2).left, 1);
    EXPECT_EQ(screen.DifferingSpan(2).right, 10);
    screen.MarkPresented();

    screen.Write(2, 2, Cell{});  // as it was
    screen.Write(4, 2, Glyph('a', 7));
    screen.Write(6, 2, Cell{});  // unchanged, but between two that differ
    screen.Write(7, 2, Glyph('b', 7));
    screen.Write(9, 2, Cell{});  // as it was
    EXPECT_EQ(screen.DifferingSpan(2).left, 4);
    EXPECT_EQ(screen.DifferingSpan(2).right, 7);
    screen.Write(8, 1, Cell{});  // written again as it was: nothing to send
    EXPECT_TRUE(screen.DifferingSpan(1).Empty());
    EXPECT_TRUE(screen.DifferingSpan(3).Empty());  // not changed at all
    EXPECT_TRUE(screen.DifferingSpan(4).Empty());  // below the screen

    screen.MarkPresented();
    screen.Write(5, 2, Glyph('c', 7));  // one cell alone
    EXPECT_EQ(screen.DifferingSpan(2).left, 5);
    EXPECT_EQ(screen.DifferingSpan(2).right, 5);
    screen.Write(5, 2, Cell{});  // and back as presented
    EXPECT_TRUE(screen.DifferingSpan(2).Empty());

    screen.Forget();  // unknown again: every cell goes out
    EXPECT_EQ(screen.DifferingSpan(3).left, 1);
    EXPECT_EQ(screen.DifferingSpan(3).right, 10);
}

}  // namespace
}  // namespace dungeon
