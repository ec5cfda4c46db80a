#include "console/changed_rectangles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

namespace dungeon {
namespace {

using ::testing::ElementsAre;

// The rectangles ForEachChangedRectangle hands over, each getting through.
std::vector<Rect> Visited(const Screen& screen, int maxCells) {
    std::vector<Rect> rects;
    ForEachChangedRectangle(screen, maxCells, [&rects](const Rect& rect) {
        rects.push_back(rect);
        return true;
    });
    return rects;
}

Screen PresentedScreen() {
    Screen screen;
    screen.Reset(80, 25, kDefaultAttribute);
    screen.MarkPresented();
    return screen;
}

TEST(ChangedRectanglesTest, AfterResetEveryRowGoesWholeInRectanglesThatFit) {
    Screen screen;
    screen.Reset(80, 25, kDefaultAttribute);
    EXPECT_THAT(Visited(screen, 800),
                ElementsAre(Rect{1, 1, 80, 10}, Rect{1, 11, 80, 20}, Rect{1, 21, 80, 25}));
}

TEST(ChangedRectanglesTest, RowsJoinARectangleWhileItFits) {
    Screen screen = PresentedScreen();
    screen.Write(10, 2, Cell{'a', kDefaultAttribute});
    screen.Write(20, 3, Cell{'b', kDefaultAttribute});
    screen.Write(20, 6, Cell{'c', kDefaultAttribute});  // rows 4 and 5 unchanged, yet inside
    EXPECT_THAT(Visited(screen, 11 * 5), ElementsAre(Rect{10, 2, 20, 6}));
    screen.MarkPresented();

    screen.Write(10, 2, Cell{'d', kDefaultAttribute});
    screen.Write(20, 3, Cell{'e', kDefaultAttribute});
    screen.Write(20, 6, Cell{'f', kDefaultAttribute});
    EXPECT_THAT(Visited(screen, 11 * 5 - 1), ElementsAre(Rect{10, 2, 20, 3}, Rect{20, 6, 20, 6}));
}

TEST(ChangedRectanglesTest, CellsWrittenAgainAsShownAreLeftOut) {
    Screen screen = PresentedScreen();
    screen.Write(5, 5, Cell{' ', kDefaultAttribute});
    EXPECT_FALSE(screen.Changed());
    EXPECT_THAT(Visited(screen, 8000), ElementsAre());
}

TEST(ChangedRectanglesTest, TheRectanglesAfterAFailedOneAreStillTried) {
    Screen screen = PresentedScreen();
    screen.Write(1, 1, Cell{'a', kDefaultAttribute});
    screen.Write(1, 20, Cell{'b', kDefaultAttribute});
    int calls = 0;
    EXPECT_FALSE(
        ForEachChangedRectangle(screen, 10, [&calls](const Rect&) { return ++calls != 1; }));
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(ForEachChangedRectangle(screen, 10, [](const Rect&) { return true; }));
}

TEST(ChangedRectanglesTest, EachCellOfARectangleHasItsPlaceRowByRow) {
    std::vector<int> cells(7, 0);
    EachCell(cells, Rect{2, 3, 4, 4}, [](int x, int y, int& cell) { cell = 10 * y + x; });
    EXPECT_THAT(cells, ElementsAre(32, 33, 34, 42, 43, 44, 0));
}

}  // namespace
}  // namespace dungeon
