#include "objects/item.h"

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
    condition = static_cast<double>(condition * (1.0L - amount / 100.0L));
    Rescale();
    if (condition <= 0) {
        pane.WriteLine(name + " ist kaputt");
    }
}

void Item::Repair(double amount) {
    condition = static_cast<double>(condition * (1.0L + amount / 100.0L));
    if (condition > maxCondition) {
        condition = maxCondition;
    }
    Rescale();
    pane.WriteLine(name + " repariert.");
}

void Item::Patch() {
    maxCondition = static_cast<double>(maxCondition * 0.9L);
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
    const long double percent = condition / static_cast<long double>(maxCondition) * 100.0L;
    return name + " hat den Zustand: " + FormatFixed(percent, 2, 0, RealKind::kExtended) + "%";
}

Text Item::GetName() const {
    return name;
}

}  // namespace dungeon
