#include "base/random.h"
#include "console/randomize.h"
#include "game/roster.h"
#include "game/world.h"

namespace dungeon {

World& TheWorld() {
    static World world;
    return world;
}

char World::SymbolAt(int x, int y) const {
    if (x < 1 || x > kWidth || y < 1 || y > kHeight) {
        return kWall;
    }
    return grid[y - 1][x - 1];
}

// Draws cells of the interior, column first, until one is floor. There are always at
// least 670 free cells, so this ends.
void World::PlaceOnFreeCell(char symbol) {
    int x = 0;
    int y = 0;
    do {
        x = Random(kWidth - 2) + 2;
        y = Random(kHeight - 2) + 2;
    } while (GridAt(x, y) != kFloor);
    GridAt(x, y) = symbol;
    SeenAt(x, y) = 1;
}

void World::Setup() {
    Randomize();

    // The first, full-width message pane blanks the whole top of the screen.
    messagePane.Init(1, 1, 80, 20);
    messagePane.Clear();
    mapPane.Init(1, 1, 40, 21);
    messagePane.Init(42, 1, 39, 20);

    CreateObjects();
    BuildGrid();
    for (int k = 0; k < kMonsters; ++k) {
        PlaceOnFreeCell(kMonster);
    }
    for (char digit = '1'; digit <= '7'; ++digit) {
        PlaceOnFreeCell(digit);
    }
}

// The items, the hero and the monsters with their starting data.
void World::CreateObjects() {
    for (int k = 0; k < kItems; ++k) {
        const ItemData& d = kItemRoster[k];
        items[k].Init(d.name, d.value, d.attackBonus, d.armorBonus, d.specialBonus, d.weight,
                      d.condition, d.maxCondition);
    }
    hero.Init(kHeroStart.name, kHeroStart.life, kHeroStart.maxLife, kHeroStart.attack,
              kHeroStart.armor, kHeroStart.x, kHeroStart.y);
    for (int k = 0; k < kMonsters; ++k) {
        const FighterData& d = kMonsterRoster[k];
        monsters[k].Init(d.name, d.life, d.maxLife, d.attack, d.armor, d.x, d.y);
    }
}

// Floor everywhere, unseen; then the seen walls around it and the exit at (2, 2).
void World::BuildGrid() {
    for (int x = 1; x <= kWidth; ++x) {
        for (int y = 1; y <= kHeight; ++y) {
            const bool edge = x == 1 || x == kWidth || y == 1 || y == kHeight;
            GridAt(x, y) = edge ? kWall : kFloor;
            SeenAt(x, y) = edge ? 1 : 0;
        }
    }
    GridAt(2, 2) = kExit;
    SeenAt(2, 2) = 1;
}

}  // namespace dungeon
