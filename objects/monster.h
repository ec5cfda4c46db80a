#pragma once

#include <cstdint>

#include "base/text.h"

namespace dungeon {

// One opponent of the hero: the same kind of life, attack and armor and the same
// percentage hits, but no backpack, and its armor is its own field with no cap.
// x and y are stored for symmetry with the hero; nothing reads them.
struct Monster {
    double life = 0;
    double maxLife = 1;
    double attack = 0;
    double armor = 0;
    Text name;
    std::int16_t x = 0;
    std::int16_t y = 0;

    void Init(const Text& name, double life, double maxLife, double attack, double armor,
              std::int16_t x, std::int16_t y);
    // Scales attack and armor by life / maxLife; the reductions compound.
    void Rescale();
    Text StatusText() const;
    Text GetName() const;
    // damage is a percentage of the current life before the armor softens it.
    void TakeHit(double damage);
    double GetAttack() const;
    bool IsDead() const;
};

}  // namespace dungeon
