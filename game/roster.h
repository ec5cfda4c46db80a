#pragma once

#include <cstdint>

namespace dungeon {

// The fixed starting data of every game: the same in each run, only the places of the
// markers on the grid are drawn at random.

struct ItemData {
    const char* name;
    double value;
    double attackBonus;
    double armorBonus;
    double specialBonus;
    double weight;
    double condition;
    double maxCondition;
};

struct FighterData {
    const char* name;
    double life;
    double maxLife;
    double attack;
    double armor;
    std::int16_t x;
    std::int16_t y;
};

inline constexpr ItemData kItemRoster[7] = {
    {"Krummsaebel", 10, 30, 0, 0, 7, 100, 100}, {"Degen", 15, 20, 0, 0, 1, 100, 100},
    {"Goldbrocken", 50, 0, 0, 2, 5, 100, 100},  {"Schild", 5, 0, 20, 0, 5, 100, 100},
    {"Dolch", 15, 20, 0, 0, 3, 100, 100},       {"Helm", 5, 0, 20, 0, 5, 100, 100},
    {"Universal", 5, 5, 5, 5, 5, 100, 100},
};

inline constexpr FighterData kHeroStart = {"Quirn", 5, 5, 80, 50, 3, 3};

// Monsters 1 and 5 are twins, name included; 1, 5 and 7 start at half their life.
inline constexpr FighterData kMonsterRoster[7] = {
    {"Schlabber1", 1, 2, 30, 10, 0, 0}, {"Spider1", 2, 2, 40, 30, 0, 0},
    {"Tyrannus", 2, 2, 50, 40, 0, 0},   {"Spider2", 2, 2, 40, 30, 0, 0},
    {"Schlabber1", 1, 2, 30, 10, 0, 0}, {"Spider3", 2, 2, 40, 30, 0, 0},
    {"Schlabber3", 1, 2, 30, 10, 0, 0},
};

}  // namespace dungeon
