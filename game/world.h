#pragma once

#include <cstdint>

#include "console/text_pane.h"
#include "objects/hero.h"
#include "objects/item.h"
#include "objects/monster.h"

namespace dungeon {

// How a part of a turn ended: the game goes on, the player quit with "s", or the
// keyboard is gone for good. The last two end the run at once, without a redraw.
enum class Outcome : std::uint8_t { kGoOn, kQuit, kInputLost };

// The whole state of one game: the dungeon map, which cells the player has seen, the
// hero, the monsters, the items and the two panes. Owns everything by value; exactly
// one exists, in static storage (TheWorld).
struct World {
    static constexpr int kWidth = 40;
    static constexpr int kHeight = 20;
    static constexpr int kMonsters = 7;
    static constexpr int kItems = 7;

    static constexpr char kWall = 'W';
    static constexpr char kExit = '>';
    static constexpr char kMonster = 'M';
    static constexpr char kKilled = 'L';
    static constexpr char kFloor = ' ';

    // Indexed [y - 1][x - 1].
    char grid[kHeight][kWidth] = {};
    std::int16_t seen[kHeight][kWidth] = {};
    Hero hero;
    Monster monsters[kMonsters];
    Item items[kItems];
    TextPane mapPane;
    TextPane messagePane;

    void Setup();
    void DrawMap();
    Outcome TurnInput();
    Outcome MoveUp();
    Outcome MoveDown();
    Outcome MoveLeft();
    Outcome MoveRight();
    Outcome EnterCell();
    Outcome Fight();
    // Plays turns until the hero stands on the exit or is dead, then writes the end
    // message. Returns early, with nothing written, on quit or on a lost keyboard.
    Outcome MainLoop();

    // 1-based access; a cell off the map reads as wall.
    char SymbolAt(int x, int y) const;
    char& GridAt(int x, int y) { return grid[y - 1][x - 1]; }
    std::int16_t& SeenAt(int x, int y) { return seen[y - 1][x - 1]; }

  private:
    Outcome Move(int dx, int dy);
    void CreateObjects();
    void BuildGrid();
    void PlaceOnFreeCell(char symbol);
    // A living monster drawn at random; none when all are dead.
    Monster* DrawLivingMonster();
    // One round's messages, the monster's hit and the hero's answer, and the result.
    void FightRound(Monster& monster);
    // 'f' or 'k', whichever the player types first; 0 when the keyboard is gone.
    char ReadFleeOrFight();
};

World& TheWorld();

}  // namespace dungeon
