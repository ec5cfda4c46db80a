#include "console/text_pane.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/console.h"
#include "platform/memory/memory_platform.h"
#include "tests/memory_screen.h"

namespace dungeon {
namespace {

using test_support::PressSpecialKey;
using test_support::ScreenRow;

class TextPaneTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(TheConsole().Start(platform_)); }
    // The console is given back, so that no test leaves it on a platform that is gone.
    void TearDown() override { TheConsole().Finish(); }

    std::string Cols(int y, int from, int to) const {
        return ScreenRow(platform_, y)
            .substr(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(to - from + 1));
    }

    MemoryPlatform platform_{80, 25};
};

TEST(TextTest, CutsAtCapacityAndTurnsACharacterIntoATextOfOne) {
    Text long_text(std::string(300, 'x'));
    EXPECT_EQ(long_text.Length(), 255);
    Text t("abc");
    t += Text(std::string(254, 'y'));
    EXPECT_EQ(t.Length(), 255);
    EXPECT_EQ(t[3], 'y');
    EXPECT_EQ(t[254], 'y');
    EXPECT_EQ(Text::Of('\0').Length(), 1);
    EXPECT_EQ(Text("Quirn") + ": " + Text::Of('!'), "Quirn: !");
    static_assert(sizeof(Text) == 256, "a text is its length byte and 255 characters");
}

TEST_F(TextPaneTest, InitBlanksItsRectangleAndHidesTheCursor) {
    TheConsole().WriteText(Text(std::string(255, '#')));
    TextPane pane;
    pane.Init(1, 1, 40, 21);
    EXPECT_EQ(pane.x1, 1);
    EXPECT_EQ(pane.y1, 1);
    EXPECT_EQ(pane.x2, 40);
    EXPECT_EQ(pane.y2, 21);
    EXPECT_EQ(pane.line, 1);
    EXPECT_EQ(Cols(1, 1, 41), std::string(40, ' ') + "#");
    EXPECT_FALSE(platform_.CursorVisible());
    static_assert(sizeof(TextPane) == 10, "a pane is five 16-bit fields");
}

TEST_F(TextPaneTest, LineCursorStopsAtTwentyWhateverTheHeight) {
    TextPane pane;
    pane.Init(42, 1, 39, 22);
    for (int i = 1; i <= 21; ++i) {
        pane.WriteLine(i == 21 ? Text("last") : Text("line " + std::to_string(i)));
    }
    EXPECT_EQ(Cols(1, 42, 48), "line 1 ");
    EXPECT_EQ(Cols(19, 42, 49), "line 19 ");
    EXPECT_EQ(Cols(20, 42, 49), "last 20 ");  // the tail of the twentieth line stays
    EXPECT_EQ(Cols(21, 42, 49), std::string(8, ' '));
    EXPECT_EQ(pane.line, 20);
}

TEST_F(TextPaneTest, FullWidthLinesFillTheMapPaneWithoutScrolling) {
    TextPane map;
    map.Init(1, 1, 40, 21);
    for (int y = 1; y <= 20; ++y) {
        map.WriteLine(Text(std::string(40, static_cast<char>('A' + y - 1))));
    }
    EXPECT_EQ(Cols(1, 1, 40), std::string(40, 'A'));
    EXPECT_EQ(Cols(20, 1, 40), std::string(40, 'T'));
    EXPECT_EQ(TheConsole().CursorX(), 1);
    EXPECT_EQ(TheConsole().CursorY(), 21);

    // On the pane's last row a full-width line scrolls the whole pane at once.
    TextPane small;
    small.Init(50, 1, 5, 2);
    small.WriteLine("aaaaa");
    small.WriteLine("bbbbb");
    EXPECT_EQ(Cols(1, 50, 54), "bbbbb");
    EXPECT_EQ(Cols(2, 50, 54), "     ");
}

TEST_F(TextPaneTest, ListOfNamesTakesOneLineOfTheCursor) {
    TextPane pane;
    pane.Init(42, 1, 39, 20);
    pane.WriteLine("Degen\n\rSchild\n\r");
    pane.WriteLine("next");
    EXPECT_EQ(Cols(1, 42, 46), "Degen");
    EXPECT_EQ(Cols(2, 42, 47), "nextld");  // lands on the row of the second name
    EXPECT_EQ(Cols(3, 42, 46), "     ");
}

TEST_F(TextPaneTest, WriteAtIsPaneRelativeAndLeavesTheLineCursor) {
    TextPane map;
    map.Init(1, 1, 40, 21);
    TextPane messages;
    messages.Init(42, 1, 39, 20);
    map.WriteAt(5, 3, "H");
    messages.WriteAt(1, 20, "status");
    EXPECT_EQ(platform_.At(5, 3).character, 'H');
    EXPECT_EQ(Cols(20, 42, 47), "status");
    EXPECT_EQ(map.line, 1);
    messages.WriteAt(0, 7, "top");  // outside the pane: from its top-left cell
    EXPECT_EQ(Cols(1, 42, 44), "top");
}

TEST_F(TextPaneTest, ARefusedRectangleWritesIntoTheLastAcceptedWindow) {
    TextPane messages;
    messages.Init(42, 1, 39, 20);
    messages.WriteLine("keep me?");
    TextPane item;
    item.Init(41, 30, 20, 10);  // below a 25-row screen: blanks the message pane instead
    EXPECT_EQ(item.y1, 30);
    EXPECT_EQ(item.y2, 39);
    EXPECT_EQ(Cols(1, 42, 49), std::string(8, ' '));
    item.WriteLine("Degen geflickt.");
    EXPECT_EQ(Cols(1, 42, 56), "Degen geflickt.");
}

TEST_F(TextPaneTest, ShortPanesWriteLinesBeyondTheirHeightOverTheTopRow) {
    MemoryPlatform tall(80, 40);
    ASSERT_TRUE(TheConsole().Start(tall));
    TextPane item;
    item.Init(41, 30, 20, 10);
    for (int i = 1; i <= 11; ++i) {
        item.WriteLine(Text("L" + std::to_string(i)));
    }
    EXPECT_EQ(ScreenRow(tall, 39).substr(40, 3), "L10");
    EXPECT_EQ(ScreenRow(tall, 30).substr(40, 3), "L11");
    TheConsole().Finish();  // before the platform it was started on goes
}

TEST_F(TextPaneTest, ReadKeyHandsOutExtendedKeysInTwoCalls) {
    TextPane pane;
    pane.Init(42, 1, 39, 20);
    PressSpecialKey(platform_, 37, 75);  // left arrow
    platform_.TypeCharacter('k');
    EXPECT_EQ(pane.ReadKey(), 0);
    EXPECT_EQ(pane.ReadKey(), 'K');
    EXPECT_EQ(pane.ReadKey(), 'k');
    EXPECT_EQ(pane.ReadKey(), 0);  // the input is gone: no key, no hang
    EXPECT_TRUE(TheConsole().InputLost());
}

TEST_F(TextPaneTest, ReadKeyAsksKeyWaitingFirstSoAnExtendedCodeZeroIsLost) {
    TextPane pane;
    pane.Init(42, 1, 39, 20);
    // Alt with a letter no PC key types (a terminal's ESC and the UTF-8 bytes of "ä"): an
    // extended key of code 0. The pane's own question takes it, and GetKey's finds "x".
    platform_.PushStroke(KeyEvent{true, 0, 0, 0x84, kLeftAlt});
    platform_.Type("xy");
    EXPECT_EQ(pane.ReadKey(), 'x');
    EXPECT_EQ(pane.ReadKey(), 'y');
}

}  // namespace
}  // namespace dungeon
