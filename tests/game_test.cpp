#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "base/random.h"
#include "console/console.h"
#include "console/pc_keyboard.h"
#include "game/program.h"
#include "game/world.h"
#include "platform/memory/memory_platform.h"
#include "tests/memory_screen.h"

namespace dungeon {
namespace {

using test_support::PressSpecialKey;
using test_support::ScreenPicture;
using test_support::ScreenRow;

std::string TrimRight(std::string s) {
    while (!s.empty() && s.back() == ' ') {
        s.pop_back();
    }
    return s;
}

// A game on the in-memory console, driven by a script: whenever the game waits for a
// key, the screen is kept and the next step of the script queues the next keys.
class GameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform_.SetWaitHook([this] {
            screens_.push_back(ScreenPicture(platform_));
            if (script_.empty()) {
                return false;
            }
            auto step = std::move(script_.front());
            script_.pop_front();
            step();
            return true;
        });
    }
    // The console is given back, so that no test leaves it on a platform that is gone.
    void TearDown() override { TheConsole().Finish(); }

    // Starts the console and sets up a dungeon drawn from the given clock reading.
    void Start(std::uint32_t ticks) {
        platform_.SetTickCount(ticks);
        ASSERT_TRUE(TheConsole().Start(platform_));
        world_.Setup();
    }

    // A dungeon with nothing inside the walls but the exit, for controlled scenes.
    void EmptyInterior() {
        for (int x = 2; x <= 39; ++x) {
            for (int y = 2; y <= 19; ++y) {
                world_.GridAt(x, y) = ' ';
                world_.SeenAt(x, y) = 0;
            }
        }
        world_.GridAt(2, 2) = '>';
        world_.SeenAt(2, 2) = 1;
    }

    void Place(int x, int y, char symbol) {
        world_.GridAt(x, y) = symbol;
        world_.SeenAt(x, y) = 1;
    }

    // Each call is one wait of the game: the characters are typed while it waits.
    void Then(const std::string& keys) {
        script_.push_back([this, keys] { platform_.Type(keys); });
    }
    void Then(std::function<void()> step) { script_.push_back(std::move(step)); }

    Outcome Play() {
        world_.DrawMap();
        return world_.MainLoop();
    }

    // Rows 1..20 of the message pane (columns 42..80) of a kept screen, trailing blanks cut.
    std::vector<std::string> Messages(const std::string& screen) const {
        std::vector<std::string> rows;
        for (int y = 0; y < 20; ++y) {
            rows.push_back(TrimRight(screen.substr(static_cast<std::size_t>(y * 81 + 41), 39)));
        }
        return rows;
    }
    std::vector<std::string> Messages() const { return Messages(ScreenPicture(platform_)); }
    std::string MapRow(int y) const { return ScreenRow(platform_, y).substr(0, 40); }

    int CountOnGrid(char symbol) const {
        int n = 0;
        for (const auto& row : world_.grid) {
            for (char c : row) {
                n += c == symbol;
            }
        }
        return n;
    }

    MemoryPlatform platform_{80, 25};
    World& world_ = TheWorld();
    std::deque<std::function<void()>> script_;
    std::vector<std::string> screens_;
};

std::vector<std::string> Rows(std::initializer_list<const char*> lines) {
    std::vector<std::string> rows(lines.begin(), lines.end());
    rows.resize(20);
    return rows;
}

TEST_F(GameTest, FirstDrawingShowsWallsExitMarkersAndTheHero) {
    Start(0);
    world_.DrawMap();

    EXPECT_EQ(CountOnGrid('W'), 116);
    EXPECT_EQ(CountOnGrid('>'), 1);
    EXPECT_EQ(CountOnGrid('M'), 7);
    for (char d = '1'; d <= '7'; ++d) {
        EXPECT_EQ(CountOnGrid(d), 1) << d;
    }
    EXPECT_EQ(CountOnGrid(' '), 669);
    int seen = 0;
    for (const auto& row : world_.seen) {
        for (auto flag : row) {
            seen += flag;
        }
    }
    EXPECT_EQ(seen, 131);

    std::string screen = ScreenPicture(platform_);
    int shown = 0;
    for (int y = 1; y <= 20; ++y) {
        std::string row = MapRow(y);
        for (int x = 1; x <= 40; ++x) {
            char expected = world_.SeenAt(x, y) ? world_.GridAt(x, y) : '.';
            if (x == 3 && y == 3) {
                expected = 'H';
            }
            EXPECT_EQ(row[static_cast<std::size_t>(x - 1)], expected) << x << "," << y;
            shown += row[static_cast<std::size_t>(x - 1)] != '.';
        }
    }
    EXPECT_EQ(shown, seen + 1);  // the seen cells, and the hero on its not yet seen start
    EXPECT_EQ(MapRow(1), std::string(40, 'W'));
    EXPECT_EQ(MapRow(2).substr(0, 3), "W>.");
    EXPECT_EQ(TrimRight(ScreenRow(platform_, 21)), "");  // the map pane's last row stays blank
    EXPECT_EQ(Messages(screen),
              Rows({"", "", "", "", "", "", "", "", "", "",
                    "", "", "", "", "", "", "", "", "", "Quirn:  L:   5 A:  80 R: 50"}));
    EXPECT_EQ(ScreenRow(platform_, 20).substr(40, 2), " Q");  // column 41 stays empty
}

// The whole first screen for a clock reading of 0. The first draws of the generator from
// that seed are 0.7132419314, 0.5111267601 and 0.0638171629, so the first monster stands at
// column trunc(38 x 0.713) + 2 = 29, row trunc(18 x 0.511) + 2 = 11, and the second one in
// column trunc(38 x 0.064) + 2 = 4.
TEST_F(GameTest, FirstScreenForAKnownClock) {
    Start(0);
    world_.DrawMap();
    const char* const expected[] = {
        "WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW                                        ",
        "W>.....................................W                                        ",
        "W.H....................4.2.............W                                        ",
        "W..............M..........M............W                                        ",
        "W...............6......................W                                        ",
        "W......................................W                                        ",
        "W......................................W                                        ",
        "W.............1........................W                                        ",
        "W......................................W                                        ",
        "W............................M.........W                                        ",
        "W...........................M..........W                                        ",
        "W...............................M......W                                        ",
        "W......................................W                                        ",
        "W......................................W                                        ",
        "W....................................M.W                                        ",
        "W..M...................................W                                        ",
        "W......................................W                                        ",
        "W..................7...............5...W                                        ",
        "W..................3...................W                                        ",
        "WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW Quirn:  L:   5 A:  80 R: 50            ",
        "                                                                                ",
    };
    for (int y = 1; y <= 21; ++y) {
        EXPECT_EQ(ScreenRow(platform_, y), expected[y - 1]) << "row " << y;
    }
    EXPECT_EQ(world_.GridAt(29, 11), 'M');
    EXPECT_EQ(world_.GridAt(4, 16), 'M');
}

TEST_F(GameTest, SameClockGivesTheSameDungeon) {
    Start(123456789);
    std::vector<char> first(&world_.grid[0][0], &world_.grid[0][0] + 800);
    Start(123456789);
    std::vector<char> again(&world_.grid[0][0], &world_.grid[0][0] + 800);
    EXPECT_EQ(first, again);
    Start(123456790);
    std::vector<char> other(&world_.grid[0][0], &world_.grid[0][0] + 800);
    EXPECT_NE(first, other);
}

TEST_F(GameTest, QuitKeysEndTheGameAtOnceWithNothingRedrawn) {
    Start(7);
    world_.DrawMap();
    std::string firstDrawing = ScreenPicture(platform_);
    Then("S5 \r");
    Then([this] {
        PressSpecialKey(platform_, kVkLeft, kScanLeft);  // 0, 'K'
        PressSpecialKey(platform_, kVkF1, kScanF1, 0);   // 0, ';'
        PressSpecialKey(platform_, kVkEscape, 1, 0);     // Escape has a character: 27
        platform_.TypeCharacter('s');
    });
    EXPECT_EQ(world_.MainLoop(), Outcome::kQuit);
    ASSERT_EQ(screens_.size(), 2u);
    EXPECT_EQ(screens_[1], firstDrawing);  // ignored keys change nothing
    EXPECT_EQ(ScreenPicture(platform_), firstDrawing);
    EXPECT_DOUBLE_EQ(world_.hero.life, 5.0);

    // Ctrl with the left arrow arrives as 0 and then "s": it quits as well.
    Start(7);
    Then([this] { PressSpecialKey(platform_, kVkLeft, kScanLeft, kEnhancedKey | kLeftCtrl); });
    EXPECT_EQ(Play(), Outcome::kQuit);
}

TEST_F(GameTest, ProgramRunEndsWithStatusZeroAndGivesTheConsoleBack) {
    platform_.SetTickCount(99);
    Then("s");
    EXPECT_EQ(RunProgram(platform_), 0);
    EXPECT_FALSE(platform_.IsOpen());
    EXPECT_FALSE(platform_.CursorVisible());
    EXPECT_EQ(Messages()[19], "Quirn:  L:   5 A:  80 R: 50");

    // Without keys the game cannot go on: it ends, and not as a game ending.
    MemoryPlatform silent(80, 25);
    EXPECT_EQ(RunProgram(silent), 1);
    EXPECT_FALSE(silent.IsOpen());

    MemoryPlatform broken(80, 25);
    broken.SetOpenError(OpenError::kNoDevice);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunProgram(broken), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "No way to get the console handle\r\n");
}

TEST_F(GameTest, ExitReachedInTwoMoves) {
    Start(1);
    EmptyInterior();
    Then("8");
    Then("4");
    EXPECT_EQ(Play(), Outcome::kGoOn);
    EXPECT_EQ(MapRow(2).substr(0, 4), "WH .");  // cells stood on at a turn's start are seen
    EXPECT_EQ(MapRow(3).substr(0, 4), "W. .");
    EXPECT_EQ(Messages()[0], "Ausgang erreicht!");
    EXPECT_EQ(Messages()[19], "Quirn:  L:   5 A:  80 R: 50");
}

TEST_F(GameTest, PickingUpAnItemShowsThreeLinesAndRaisesTheStatus) {
    Start(2);
    EmptyInterior();
    Place(4, 3, '4');
    Then("6");
    Then("4");
    world_.DrawMap();
    EXPECT_EQ(world_.MainLoop(), Outcome::kInputLost);
    ASSERT_EQ(screens_.size(), 3u);
    EXPECT_EQ(Messages(screens_[1]), Rows({"Quirn findet Schild",
                                           "Schild hat den Zustand: 100%",
                                           "Steckt Schild in den Rucksack",
                                           "",
                                           "",
                                           "",
                                           "",
                                           "",
                                           "",
                                           "",
                                           "",
                                           "",
                                           "",
                                           "",
                                           "",
                                           "",
                                           "",
                                           "",
                                           "",
                                           "Quirn:  L:   5 A:  80 R: 70"}));
    EXPECT_EQ(world_.GridAt(4, 3), ' ');
    EXPECT_EQ(world_.SeenAt(4, 3), 1);
    EXPECT_EQ(world_.hero.backpack.count, 1);
    EXPECT_EQ(MapRow(3).substr(0, 5), "W.H .");  // the digit is gone for good
    Then("6");
    world_.MainLoop();
    EXPECT_EQ(world_.hero.backpack.count, 1);  // entering the empty cell again does nothing
}

TEST_F(GameTest, FightAgainstASpiderRoundByRound) {
    Start(3);
    EmptyInterior();
    Place(4, 3, 'M');
    for (int k = 0; k < 7; ++k) {
        if (k != 1) {
            world_.monsters[k].life = 0;  // only Spider1 is left to be drawn
        }
    }
    Then("6");
    Then("FK");  // upper case does nothing
    Then("k");
    Then("k");
    Then("k");
    Then("4");
    world_.DrawMap();
    world_.MainLoop();
    ASSERT_EQ(screens_.size(), 7u);

    EXPECT_EQ(Messages(screens_[1]),
              Rows({"Monster greift an!", "Quirn", " L:   5 A:  80 R: 50", "trifft auf", "Spider1",
                    " L:  2 A: 40 R: 30", "", "Kampfergebnis", "Quirn", " L:   4 A:  64 R: 40",
                    "Spider1", " L:  1 A: 22 R: 17", "", "(F)lucht oder weiter (K)aempfen?"}));
    EXPECT_EQ(screens_[2], screens_[1]);
    EXPECT_EQ(Messages(screens_[3])[9], " L:   3 A:  44 R: 28");
    EXPECT_EQ(Messages(screens_[3])[11], " L:  1 A:  8 R:  6");
    EXPECT_EQ(Messages(screens_[4])[9], " L:   3 A:  29 R: 18");
    EXPECT_EQ(Messages(screens_[4])[11], " L:  1 A:  2 R:  1");  // life 0.504: alive
    EXPECT_EQ(Messages(screens_[5]), Rows({"Monster greift an!",
                                           "Quirn",
                                           " L:   3 A:  29 R: 18",
                                           "trifft auf",
                                           "Spider1",
                                           " L:  1 A:  2 R:  1",
                                           "",
                                           "Kampfergebnis",
                                           "Quirn",
                                           " L:   3 A:  19 R: 12",
                                           "Spider1",
                                           " L:  0 A:  0 R:  0",
                                           "Spider1 tot!",
                                           "",
                                           "",
                                           "",
                                           "",
                                           "",
                                           "",
                                           "Quirn:  L:   3 A:  19 R: 12"}));
    EXPECT_NEAR(world_.hero.life, 3.2259, 1e-4);
    EXPECT_NEAR(world_.hero.attack, 18.79, 1e-2);
    EXPECT_NEAR(world_.monsters[1].life, 0.4108, 1e-4);
    EXPECT_EQ(world_.GridAt(4, 3), 'L');
    EXPECT_EQ(MapRow(3).substr(0, 5), "W.HL.");
}

TEST_F(GameTest, FleeingLeavesTheMarkerAndStepsBackStartAFreshFight) {
    Start(4);
    EmptyInterior();
    Place(4, 3, 'M');
    for (int k : {0, 2, 4, 5, 6}) {
        world_.monsters[k].life = 0;  // two spiders are left, neither dies in one round
    }
    Then("6");
    Then([this] {
        // Ctrl+F9 arrives as 0 and then "f": the 0 is dropped, the "f" counts.
        PressSpecialKey(platform_, kVkF1 + 8, 67, kLeftCtrl);
    });
    Then("4");
    Then("6");
    world_.DrawMap();
    world_.MainLoop();
    ASSERT_EQ(screens_.size(), 5u);
    EXPECT_EQ(Messages(screens_[2])[13], "(F)lucht oder weiter (K)aempfen?");
    EXPECT_EQ(Messages(screens_[2])[19], "Quirn:  L:   4 A:  64 R: 40");
    EXPECT_EQ(world_.GridAt(4, 3), 'M');
    EXPECT_EQ(Messages(screens_[3])[0], "Monster greift an!");  // status line covers row 20
    EXPECT_EQ(MapRow(3).substr(0, 5), "W.HM.");
    EXPECT_EQ(Messages(screens_[4])[0], "Monster greift an!");
}

TEST_F(GameTest, WallBumpsUntilDeath) {
    Start(5);
    EmptyInterior();
    world_.hero.x = 2;
    Then([this] { platform_.Type(std::string(400, '4')); });
    world_.DrawMap();
    EXPECT_EQ(world_.MainLoop(), Outcome::kGoOn);
    EXPECT_TRUE(world_.hero.IsDead());
    std::vector<std::string> messages = Messages();
    for (int row = 0; row < 19; ++row) {
        EXPECT_EQ(messages[static_cast<std::size_t>(row)], "AU!!");
    }
    // The death message lands on row 20 over the start of the last status line.
    EXPECT_EQ(messages[19], "Quirn tot!   0 A:   0 R:  0");
    EXPECT_EQ(MapRow(3).substr(0, 3), "WH.");
}

TEST_F(GameTest, DeathInAFightIsToldAfterTheFightIsOver) {
    Start(6);
    EmptyInterior();
    Place(4, 3, 'M');
    world_.hero.life = 0.6;  // the first hit kills the hero
    for (int k = 0; k < 7; ++k) {
        if (k != 2) {
            world_.monsters[k].life = 0;  // Tyrannus alone
        }
    }
    Then("6");
    Then("k");
    Then("f");
    world_.DrawMap();
    EXPECT_EQ(world_.MainLoop(), Outcome::kGoOn);
    ASSERT_EQ(screens_.size(), 3u);
    std::vector<std::string> round = Messages(screens_[1]);
    EXPECT_EQ(round[11].substr(0, 4), " L: ");
    EXPECT_EQ(round[12], "(F)lucht oder weiter (K)aempfen?");  // no blank line: hero dead
    EXPECT_EQ(Messages()[13], "Quirn tot!");
    EXPECT_EQ(Messages()[19].substr(0, 8), "Quirn:  ");
}

// The status line is made again whenever the name or a figure in it changes between two
// drawings, however the change came about, and only then.
TEST_F(GameTest, StatusLineFollowsTheNameAndEveryFigure) {
    Start(7);
    EmptyInterior();
    Then([this] {
        world_.hero.name = "Xaver";
        platform_.Type("2");
    });
    Then([this] {
        world_.hero.life = 57.4;
        platform_.Type("8");
    });
    Then([this] {
        world_.hero.attack = 12.6;
        platform_.Type("2");
    });
    Then([this] {
        world_.hero.armor = 31;
        platform_.Type("8");
    });
    Then([this] {
        world_.hero.backpack.Add(world_.items[0]);
        platform_.Type("2");
    });
    Then([this] {
        world_.hero.backpack.Add(world_.items[3]);
        platform_.Type("8");
    });
    Then("2");
    Then("s");
    world_.hero.name = "Quirn";
    world_.hero.life = 100;
    world_.hero.attack = 10;
    world_.hero.armor = 10;
    world_.DrawMap();
    EXPECT_EQ(world_.MainLoop(), Outcome::kQuit);
    ASSERT_EQ(screens_.size(), 8u);
    const auto status = [this](std::size_t wait) { return Messages(screens_[wait])[19]; };
    EXPECT_EQ(status(0), "Quirn:  L: 100 A:  10 R: 10");
    EXPECT_EQ(status(1), "Xaver:  L: 100 A:  10 R: 10");
    EXPECT_EQ(status(2), "Xaver:  L:  57 A:  10 R: 10");
    EXPECT_EQ(status(3), "Xaver:  L:  57 A:  13 R: 10");
    EXPECT_EQ(status(4), "Xaver:  L:  57 A:  13 R: 31");
    EXPECT_EQ(status(5), "Xaver:  L:  57 A:  43 R: 31");  // a sabre's attack
    EXPECT_EQ(status(6), "Xaver:  L:  57 A:  43 R: 51");  // a shield's armor
    EXPECT_EQ(status(7), status(6));
}

}  // namespace
}  // namespace dungeon
