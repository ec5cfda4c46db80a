#include "objects/backpack.h"

namespace dungeon {
namespace {

double Sum(const Backpack& backpack, double Item::*field) {
    double sum = 0;
    for (int i = 0; i < backpack.count; ++i) {
        sum += backpack.slots[i].*field;
    }
    return sum;
}

}  // namespace

void Backpack::Clear() {
    count = 0;
}

void Backpack::Add(const Item& item) {
    if (count < kSlots) {
        slots[count] = item;
        ++count;
    }
}

void Backpack::Remove(std::int16_t index) {
    // Slot numbers start at 1: one outside 1..count names no slot and is ignored.
    if (index < 1 || index > count) {
        return;
    }
    slots[index - 1] = slots[count - 1];
    --count;
}

Text Backpack::ListNames() const {
    Text list;
    for (int i = 0; i < count; ++i) {
        list += slots[i].GetName();
        list += '\n';
        list += '\r';
    }
    return list;
}

void Backpack::DamageAll(std::int16_t amount) {
    for (int i = 0; i < count; ++i) {
        slots[i].Damage(static_cast<double>(amount));
    }
}

double Backpack::SumValue() const {
    return Sum(*this, &Item::value);
}
double Backpack::SumAttackBonus() const {
    return Sum(*this, &Item::attackBonus);
}
double Backpack::SumArmorBonus() const {
    return Sum(*this, &Item::armorBonus);
}
double Backpack::SumWeight() const {
    return Sum(*this, &Item::weight);
}

}  // namespace dungeon
