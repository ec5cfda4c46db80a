#pragma once

#include <cstdint>

#include "base/text.h"
#include "objects/backpack.h"
#include "objects/item.h"

namespace dungeon {

// The player character: a place on the grid, life, the own attack and armor, and the
// backpack whose items add their bonuses on top. Every hit shrinks life by a
// percentage and then scales attack and armor by what is left of the life.
struct Hero {
    std::int16_t x = 0;
    std::int16_t y = 0;
    double life = 0;
    double maxLife = 1;
    double attack = 0;
    double armor = 0;
    Text name;
    Backpack backpack;

    void Init(const Text& name, double life, double maxLife, double attack, double armor,
              std::int16_t x, std::int16_t y);
    // Scales attack and armor by life / maxLife; the reductions compound.
    void Rescale();
    Text StatusText() const;
    Text GetName() const;
    // damage is a percentage of the current life before the total armor softens it.
    void TakeHit(double damage);
    void PickUp(const Item& item);
    double TotalAttack() const;
    // Own armor plus the backpack's bonuses, capped at 100 but not bounded below.
    double TotalArmor() const;
    bool IsDead() const;
};

}  // namespace dungeon
