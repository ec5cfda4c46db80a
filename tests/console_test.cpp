#include "console/console.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "console/pc_keyboard.h"
#include "platform/memory/memory_platform.h"
#include "tests/memory_screen.h"

namespace dungeon {
namespace {

using test_support::ScreenRow;

// Keys the console hands out until the queue runs dry.
std::vector<int> DrainKeys(Console& console) {
    std::vector<int> keys;
    while (console.KeyWaiting()) {
        keys.push_back(static_cast<std::uint8_t>(console.GetKey()));
    }
    return keys;
}

// The in-memory console, counting how often it is presented and given back.
class CountingPlatform : public MemoryPlatform {
  public:
    using MemoryPlatform::MemoryPlatform;
    bool Present(const Screen& screen) override {
        ++presents;
        presentedKnown.push_back(screen.PresentedKnown());
        return presents != failingPresent && MemoryPlatform::Present(screen);
    }
    void Close() override {
        ++closes;
        MemoryPlatform::Close();
    }
    int presents = 0;
    int closes = 0;
    int failingPresent = 0;            // the number of the present that does not get through
    std::vector<bool> presentedKnown;  // at each present
};

class ConsoleTest : public ::testing::Test {
  protected:
    void StartOn(int width, int height) {
        platform_ = std::make_unique<CountingPlatform>(width, height, 0x1E);
        ASSERT_TRUE(console_.Start(*platform_));
    }
    void SetUp() override { StartOn(80, 25); }

    // One key stroke followed by a further event, so that the press is taken at once.
    void Stroke(std::uint16_t vk, std::uint16_t scan, std::uint8_t ch, std::uint32_t state) {
        KeyEvent key{true, vk, scan, ch, state};
        platform_->PushStroke(key);
    }

    Console console_;
    std::unique_ptr<CountingPlatform> platform_;
};

TEST_F(ConsoleTest, StartUpTakesSizeAttributeAndCursorFromTheScreenBuffer) {
    MemoryPlatform platform(100, 300, 0x1E7);
    platform.SetCursor(7, 9);
    Console console;
    ASSERT_TRUE(console.Start(platform));
    EXPECT_EQ(console.ScreenWidth(), 100);
    EXPECT_EQ(console.ScreenHeight(), 300);
    EXPECT_EQ(console.TextAttribute(), 0xE7);  // the low 8 bits
    EXPECT_EQ(console.CursorX(), 7);
    EXPECT_EQ(console.CursorY(), 9);
    EXPECT_EQ(console.WindowLeft(), 1);
    EXPECT_EQ(console.WindowRight(), 100);
    EXPECT_EQ(console.WindowBottom(), (300 - 1) % 256 + 1);  // each corner held in 8 bits
}

TEST_F(ConsoleTest, StartUpFailuresReportTheirMessageOnStandardError) {
    const std::pair<OpenError, std::string> failures[] = {
        {OpenError::kNoDevice, "No way to get the console handle\r\n"},
        {OpenError::kInUse, "No way to get the console handle\r\n"},
        {OpenError::kNotAConsole, "No way to get console screen buffer info\r\n"},
        {OpenError::kNoCursorAddressing, "No way to get console screen buffer info\r\n"},
        {OpenError::kSetupFailed, "No way to get console screen buffer info\r\n"},
    };
    for (const auto& [error, message] : failures) {
        CountingPlatform platform;
        platform.SetOpenError(error);
        Console console;
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(console.Start(platform));
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), message);
        console.Finish();  // nothing was taken, so nothing is given back
        EXPECT_EQ(platform.closes, 0);
    }
}

TEST_F(ConsoleTest, RefusedWindowsAndCursorMovesChangeNothing) {
    console_.SetWindow(10, 5, 20, 8);
    console_.MoveCursor(3, 2);
    ASSERT_EQ(console_.CursorX(), 12);
    ASSERT_EQ(console_.CursorY(), 6);

    console_.SetWindow(41, 30, 60, 39);  // below a 25-row screen
    console_.SetWindow(6, 5, 5, 5);      // left of its own left edge
    console_.SetWindow(1, 1, 81, 5);     // wider than the screen
    console_.SetWindow(0, 1, 5, 5);      // column 0 lies outside the screen
    console_.MoveCursor(0, 1);
    console_.MoveCursor(12, 1);  // one past the 11-column window
    console_.MoveCursor(1, 5);   // one below the 4-row window
    EXPECT_EQ(console_.WindowLeft(), 10);
    EXPECT_EQ(console_.WindowTop(), 5);
    EXPECT_EQ(console_.WindowRight(), 20);
    EXPECT_EQ(console_.WindowBottom(), 8);
    EXPECT_EQ(console_.CursorX(), 12);
    EXPECT_EQ(console_.CursorY(), 6);

    console_.SetWindow(5, 5, 5, 5);  // one cell is a window
    EXPECT_EQ(console_.CursorX(), 5);
    EXPECT_EQ(console_.CursorY(), 5);

    StartOn(80, 300);  // a buffer taller than its visible part takes the item panes
    console_.SetWindow(41, 30, 60, 39);
    EXPECT_EQ(console_.WindowTop(), 30);
    EXPECT_EQ(console_.CursorX(), 41);
}

TEST_F(ConsoleTest, WritingWrapsAndScrollsAtOnceInsideTheWindow) {
    // Fill the whole screen so that every blank below was made by the console.
    for (int y = 1; y <= 25; ++y) {
        console_.SetWindow(1, static_cast<std::uint8_t>(y), 80, static_cast<std::uint8_t>(y));
        console_.WriteText(Text(std::string(79, '#')));
    }
    console_.SetWindow(3, 2, 6, 4);  // 4 columns, 3 rows
    console_.ClearWindow();
    console_.WriteText("abcdefghij");
    console_.MoveCursor(4, 3);
    console_.WriteText("AB");  // A in the bottom-right cell scrolls; B starts the new row
    // Row 4 now reads "B"; rewrite it in place, then feed a line: a second scroll.
    console_.WriteText(
        "\r\x07"
        "C\bD\b\bE\nF");

    auto row = [](const std::string& window) { return "##" + window + std::string(73, '#') + " "; };
    EXPECT_EQ(ScreenRow(*platform_, 1), std::string(79, '#') + " ");
    EXPECT_EQ(ScreenRow(*platform_, 2), row("ij A"));
    EXPECT_EQ(ScreenRow(*platform_, 3), row("E   "));
    EXPECT_EQ(ScreenRow(*platform_, 4), row(" F  "));
    EXPECT_EQ(ScreenRow(*platform_, 5), std::string(79, '#') + " ");  // outside: untouched
    EXPECT_EQ(console_.CursorX(), 5);
    EXPECT_EQ(console_.CursorY(), 4);
    EXPECT_EQ(platform_->At(4, 2).attribute, 0x1E);
    EXPECT_EQ(platform_->At(6, 4).attribute, 0x1E);  // scrolled-in blanks get the attribute
}

TEST_F(ConsoleTest, WritingHandlesEachControlCharacterItsOwnWay) {
    console_.SetWindow(1, 1, 10, 3);
    console_.MoveCursor(1, 3);
    console_.WriteText("ab\n");  // line feed on the bottom row scrolls and keeps the column
    EXPECT_EQ(ScreenRow(*platform_, 2).substr(0, 10), "ab        ");
    EXPECT_EQ(console_.CursorX(), 3);
    EXPECT_EQ(console_.CursorY(), 3);
    console_.WriteText("\r\r\b\x07");  // carriage returns never scroll; backspace stops
    EXPECT_EQ(console_.CursorX(), 1);
    EXPECT_EQ(console_.CursorY(), 3);
    console_.WriteText(Text(std::string_view("\x09\x0b\x0c\x00\x1b\xff", 6)));
    EXPECT_EQ(platform_->At(1, 3).character, 9);  // a tab is one cell with character 9
    EXPECT_EQ(platform_->At(4, 3).character, 0);
    EXPECT_EQ(platform_->At(6, 3).character, 0xFF);
    EXPECT_EQ(platform_->CursorX(), 7);  // the visible cursor follows the text
}

TEST_F(ConsoleTest, SingleCharacterIntoTheBottomRightCellScrollsAtOnce) {
    console_.SetWindow(1, 1, 3, 2);
    console_.WriteText("xyz");
    console_.MoveCursor(3, 2);
    console_.WriteText("!");
    EXPECT_EQ(ScreenRow(*platform_, 1).substr(0, 3), "  !");
    EXPECT_EQ(ScreenRow(*platform_, 2).substr(0, 3), "   ");
    EXPECT_EQ(console_.CursorX(), 1);
    EXPECT_EQ(console_.CursorY(), 2);
}

TEST_F(ConsoleTest, HideCursorHidesTheVisibleCursor) {
    EXPECT_TRUE(platform_->CursorVisible());
    console_.HideCursor();
    EXPECT_FALSE(platform_->CursorVisible());
}

TEST_F(ConsoleTest, APressCountsOnceAFurtherEventStandsBehindIt) {
    platform_->PushEvent({InputEvent::Kind::kKey, KeyEvent{true, 'A', 30, 'a', 0}});
    EXPECT_FALSE(console_.KeyWaiting());
    platform_->PushEvent({InputEvent::Kind::kKey, KeyEvent{false, 'A', 30, 'a', 0}});
    EXPECT_TRUE(console_.KeyWaiting());
    EXPECT_EQ(console_.GetKey(), 'a');
    EXPECT_FALSE(console_.KeyWaiting());  // the release waits for a further event
    platform_->PushEvent({InputEvent::Kind::kKey, KeyEvent{true, 'B', 48, 'b', 0}});
    EXPECT_FALSE(console_.KeyWaiting());  // the release was taken: nothing stands behind b
    platform_->PushEvent({InputEvent::Kind::kKey, KeyEvent{false, 'B', 48, 'b', 0}});
    EXPECT_EQ(DrainKeys(console_), std::vector<int>({'b'}));

    // Ctrl+C is an ordinary key.
    Stroke('C', 46, 3, kLeftCtrl);
    EXPECT_EQ(DrainKeys(console_), std::vector<int>({3}));
}

TEST_F(ConsoleTest, ModifierAndLockKeysAloneYieldNoKey) {
    for (std::uint16_t vk : {kVkShift, kVkControl, kVkMenu, kVkCapital, kVkNumLock, kVkScroll}) {
        Stroke(vk, 0, 0, 0);
    }
    platform_->PushEvent(InputEvent{InputEvent::Kind::kOther, {}});
    platform_->PushEvent(InputEvent{InputEvent::Kind::kOther, {}});
    EXPECT_TRUE(DrainKeys(console_).empty());
}

TEST_F(ConsoleTest, ExtendedKeysComeAsZeroThenTheirCode) {
    Stroke(kVkLeft, kScanLeft, 0, kEnhancedKey);
    Stroke(kVkLeft, kScanLeft, 0, kEnhancedKey | kLeftCtrl);
    Stroke(kVkF1 + 8, 67, 0, kRightCtrl);  // Ctrl+F9
    Stroke(kVkF1, kScanF1, 0, 0);
    Stroke('M', 50, 'm', kLeftAlt);             // exactly left Alt: extended
    Stroke('M', 50, 'm', kLeftAlt | kNumLock);  // with Num Lock on: the character
    Stroke('X', 45, 'x', 0);
    EXPECT_EQ(DrainKeys(console_),
              std::vector<int>({0, 75, 0, 115, 0, 102, 0, 59, 0, 50, 'm', 'x'}));

    // An extended code of 0: read by GetKey itself it comes as a single 0...
    Stroke(0, 0, 0, 0);
    Stroke('X', 45, 'x', 0);
    EXPECT_EQ(console_.GetKey(), 0);
    EXPECT_EQ(console_.GetKey(), 'x');
    // ...but once KeyWaiting has taken it, the look-ahead cannot hold it and it is lost.
    Stroke(0, 0, 0, 0);
    Stroke('X', 45, 'x', 0);
    EXPECT_TRUE(console_.KeyWaiting());
    EXPECT_EQ(console_.GetKey(), 'x');
}

// Hand-picked cells of the table of extended codes, each column and each kind of row, and
// the order in which the modifier flags choose the column.
TEST_F(ConsoleTest, ExtendedCodesBySelectedCellsOfTheTable) {
    const std::uint32_t shift = kShift, ctrl = kRightCtrl | kShift,
                        alt = kRightAlt | kLeftCtrl | kShift;
    struct Case {
        std::uint16_t scan;
        std::uint32_t state;
        int code;
    };
    const Case cases[] = {
        {15, ctrl, 148},       // Ctrl+Tab
        {15, alt, 15},         // Alt+Tab: the scan code
        {28, alt, 166},        // Alt+Enter
        {53, alt, 164},        // Alt+keypad /
        {59, shift, 84},       // Shift+F1
        {68, ctrl, 103},       // Ctrl+F10
        {68, alt, 113},        // Alt+F10
        {87, 0, 133},          // F11
        {88, alt, 140},        // Alt+F12
        {71, ctrl, 119},       // Ctrl+Home
        {83, alt, 163},        // Alt+Delete
        {78, ctrl, 78},        // keypad +: the same in every column
        {2, alt, 120},         // Alt+1
        {13, alt, 131},        // Alt+=
        {13, ctrl, 13},        // Ctrl+=: the scan code
        {57, alt, 57},         // a key the table lacks: its scan code
        {75, kLeftCtrl, 115},  // left and right Ctrl alike
        {75, kLeftAlt | kNumLock, 155},
        {0x14B, kShift, 75},  // only the scan code's low 8 bits count
    };
    for (const Case& c : cases) {
        Stroke(0x70, c.scan, 0, c.state);
        Stroke(0, 0, '.', 0);
        EXPECT_EQ(DrainKeys(console_), std::vector<int>({0, c.code, '.'}))
            << "scan " << c.scan << " state " << c.state;
    }
}

// The combinations that arrive as one of the game's keys, by scan code and the modifier in
// force, when they reach the table as keys without a character. README.md and the manual
// page list them for the player: should this change, they must change too.
TEST_F(ConsoleTest, CombinationsThatArriveAsTheGamesKeysAreTheDocumentedOnes) {
    const std::pair<const char*, std::uint32_t> columns[] = {
        {"", 0}, {"Shift+", kShift}, {"Ctrl+", kLeftCtrl}, {"Alt+", kLeftAlt}};
    std::vector<std::string> found;
    for (std::uint16_t scan = 1; scan <= 88; ++scan) {
        for (auto [name, state] : columns) {
            Stroke(0, scan, 0, state);
            Stroke(0, 0, '.', 0);
            std::vector<int> keys = DrainKeys(console_);
            ASSERT_EQ(keys.size(), 3u);
            if (std::string("2468sfk").find(static_cast<char>(keys[1])) != std::string::npos) {
                found.push_back(name + std::to_string(scan) + "=" + static_cast<char>(keys[1]));
            }
        }
    }
    // M (scan 50) and "." (52) with any modifier, and Right Shift (54) and Alt (56), which
    // are modifier keys and never arrive as keys; then Alt+F4, Ctrl+F9 and Ctrl+Left.
    std::vector<std::string> expected;
    for (const char* key : {"50=2", "52=4", "54=6", "56=8"}) {
        for (auto [name, state] : columns) {
            expected.push_back(name + std::string(key));
        }
    }
    expected.insert(expected.end(), {"Alt+62=k", "Ctrl+67=f", "Ctrl+75=s"});
    EXPECT_EQ(found, expected);

    for (const char* document : {"README.md", "docs/dungeon.6.in"}) {
        std::ifstream file(std::string(DUNGEON_SOURCE_DIR) + "/" + document);
        std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        for (const char* combination :
             {"Ctrl+Left", "Alt+M", "Alt+.", "Ctrl+.", "Alt+F4", "Ctrl+F9"}) {
            EXPECT_NE(text.find(combination), std::string::npos) << document << ": " << combination;
        }
    }
}

TEST_F(ConsoleTest, AltWithKeypadDigitsTypesACharacterCodeOnRelease) {
    auto altCode = [&](std::initializer_list<int> digits) {
        platform_->PushEvent({InputEvent::Kind::kKey, KeyEvent{true, kVkMenu, 56, 0, kLeftAlt}});
        for (int d : digits) {
            platform_->PushStroke(
                KeyEvent{true, static_cast<std::uint16_t>(kVkNumpad0 + d), 82, 0, kLeftAlt});
        }
        platform_->PushEvent({InputEvent::Kind::kKey, KeyEvent{false, kVkMenu, 56, 0, 0}});
        platform_->PushEvent({InputEvent::Kind::kKey,
                              KeyEvent{true, 'X', 45, 'x', 0}});  // stands behind the release
        platform_->PushEvent({InputEvent::Kind::kKey, KeyEvent{false, 'X', 45, 'x', 0}});
        return DrainKeys(console_);
    };
    EXPECT_EQ(altCode({6, 5}), std::vector<int>({'A', 'x'}));
    EXPECT_EQ(altCode({3, 0, 0}), std::vector<int>({',', 'x'}));  // 300 modulo 256
    EXPECT_EQ(altCode({0}), std::vector<int>({'x'}));             // code 0 is no key
    // Without Alt a keypad digit stands as itself.
    Stroke(kVkNumpad0 + 8, 72, '8', kNumLock);
    Stroke(0, 0, '.', 0);
    EXPECT_EQ(DrainKeys(console_), std::vector<int>({'8', '.'}));
}

TEST_F(ConsoleTest, LostInputEndsTheWaitWithoutAKey) {
    int waits = 0;
    platform_->SetWaitHook([&] {
        ++waits;
        if (waits == 1) {
            platform_->TypeCharacter('q');
            return true;
        }
        return false;
    });
    EXPECT_EQ(console_.GetKey(), 'q');
    EXPECT_FALSE(console_.InputLost());
    EXPECT_EQ(console_.GetKey(), 0);
    EXPECT_TRUE(console_.InputLost());
    EXPECT_EQ(console_.GetKey(), 0);  // and it does not wait again
    EXPECT_EQ(waits, 2);
    EXPECT_GE(platform_->presents, 2);  // the picture is shown before every wait
}

TEST_F(ConsoleTest, APresentThatDidNotGetThroughIsFollowedByTheWholeScreen) {
    platform_->failingPresent = 2;
    for (int turn = 1; turn <= 3; ++turn) {
        console_.WriteText(Text("x"));
        console_.KeyWaiting();
    }
    EXPECT_EQ(platform_->presentedKnown, (std::vector<bool>{true, true, false}));
}

}  // namespace
}  // namespace dungeon
