#pragma once

#include <cstdint>

#include "base/text.h"
#include "objects/item.h"

namespace dungeon {

// The hero's container: copies of up to 20 items, and the sums of their stats that
// feed the hero's attack and armor. Slots 1 to count are occupied, without gaps; the
// others are left as they were and never read.
struct Backpack {
    static constexpr int kSlots = 20;

    Item slots[kSlots];  // slot k (1-based) is slots[k-1]
    std::uint8_t count = 0;

    void Clear();
    // Stores a copy; a full backpack silently ignores the item.
    void Add(const Item& item);
    // The item in the last occupied slot takes the place of the removed one.
    void Remove(std::int16_t index);
    // Each name followed by a line feed and a carriage return, cut at 255 characters.
    Text ListNames() const;
    void DamageAll(std::int16_t amount);
    double SumValue() const;
    double SumAttackBonus() const;
    double SumArmorBonus() const;
    double SumWeight() const;
};

}  // namespace dungeon
