#include "objects/hero.h"

#include <algorithm>

#include "base/number_text.h"

namespace dungeon {

void Hero::Init(const Text& heroName, double heroLife, double heroMaxLife, double heroAttack,
                double heroArmor, std::int16_t heroX, std::int16_t heroY) {
    name = heroName;
    life = heroLife;
    maxLife = heroMaxLife;
    attack = heroAttack;
    armor = heroArmor;
    backpack.Clear();
    x = heroX;
    y = heroY;
}

void Hero::Rescale() {
    // A maxLife of 0 gives an infinite or undefined ratio, no trap.
    const double ratio = life / maxLife;
    attack *= ratio;
    armor *= ratio;
}

Text Hero::StatusText() const {
    // The attack is summed on the spot, so it is formatted as the wider real it is.
    const ExtendedReal totalAttack = ExtendedReal(attack) + backpack.SumAttackBonus();
    return Text(" L: ") + FormatFixed(life, 3, 0, RealKind::kDouble) +
           " A: " + FormatFixed(totalAttack, 3, 0, RealKind::kExtended) +
           " R:" + FormatFixed(TotalArmor(), 3, 0, RealKind::kDouble);
}

Text Hero::GetName() const {
    return name;
}

void Hero::TakeHit(double damage) {
    // The effective strength is rounded to a stored real before it takes its share of
    // life; the rescale runs even when the armor absorbed the whole hit.
    const auto effective = static_cast<double>(damage * (1 - ExtendedReal(TotalArmor()) / 100));
    life = static_cast<double>(life * (1 - ExtendedReal(effective) / 100));
    Rescale();
}

void Hero::PickUp(const Item& item) {
    backpack.Add(item);
}

double Hero::TotalAttack() const {
    return attack + backpack.SumAttackBonus();
}

double Hero::TotalArmor() const {
    return std::min(armor + backpack.SumArmorBonus(), 100.0);
}

bool Hero::IsDead() const {
    return life < 0.5;
}

}  // namespace dungeon
