#include "objects/item.h"

#include <algorithm>

#include "base/number_text.h"

namespace dungeon {

void Item::Init(const Text& itemName, double itemValue, double itemAttackBonus,
                double itemArmorBonus, double itemSpecialBonus, double itemWeight,
                double itemCondition, double itemMaxCondition) {
    // The pane comes first. On a screen of fewer than 39 rows the console refuses its
    // rectangle, so this clears the window selected before (the message pane), and the
    // item's later lines are written there too.
    pane.Init(41, 30, 20, 10);
    name = itemName;
    value = itemValue;
    attackBonus = itemAttackBonus;
    armorBonus = itemArmorBonus;
    specialBonus = itemSpecialBonus;
    weight = itemWeight;
    condition = itemCondition;
    maxCondition = itemMaxCondition;
}

void Item::Damage(double amount) {
    condition = static_cast<double>(condition * (1 - ExtendedReal(amount) / 100));
    Rescale();
    if (condition <= 0) {
        pane.WriteLine(name + " ist kaputt");
    }
}

void Item::Repair(double amount) {
    condition =
        std::min(static_cast<double>(condition * (1 + ExtendedReal(amount) / 100)), maxCondition);
    Rescale();
    pane.WriteLine(name + " repariert.");
}

void Item::Patch() {
    // The quotient is 0.9 as an extended real.
    maxCondition = static_cast<double>(maxCondition * (ExtendedReal(9) / 10));
    condition = maxCondition;
    Rescale();
    pane.WriteLine(name + " geflickt.");
}

void Item::Rescale() {
    // The ratio hits the current stats, so wear compounds and a repair never gives back
    // what was lost. A maximum of 0 gives an infinite or undefined ratio, no trap.
    const double ratio = condition / maxCondition;
    value *= ratio;
    attackBonus *= ratio;
    armorBonus *= ratio;
    specialBonus *= ratio;
}

Text Item::ConditionText() const {
    const ExtendedReal percent = ExtendedReal(condition) / maxCondition * 100;
    return name + " hat den Zustand: " + FormatFixed(percent, 2, 0, RealKind::kExtended) + "%";
}

Text Item::GetName() const {
    return name;
}

}  // namespace dungeon
