#pragma once

#include "base/text.h"
#include "console/text_pane.h"

namespace dungeon {

// A piece of equipment: a name, its worth and bonuses, its wear, and a pane of its own
// for messages about that wear. Only the attack and armor bonuses act on play, while
// the item is in the backpack. A plain value: a copy has its own copy of the pane record
// and is independent of the original from then on.
struct Item {
    Text name;
    double value = 0;
    double attackBonus = 0;
    double armorBonus = 0;
    double specialBonus = 0;
    double weight = 0;
    double condition = 0;
    double maxCondition = 0;
    TextPane pane;

    void Init(const Text& name, double value, double attackBonus, double armorBonus,
              double specialBonus, double weight, double condition, double maxCondition);
    // Wear by a percentage of the current condition; reports when the item breaks.
    void Damage(double amount);
    // Mends by a percentage of the current condition, never above the maximum.
    void Repair(double amount);
    // A makeshift fix: back to full condition, but the maximum drops by a tenth.
    void Patch();
    // Scales the worth-related stats by condition / maxCondition.
    void Rescale();
    Text ConditionText() const;
    Text GetName() const;
};

}  // namespace dungeon
