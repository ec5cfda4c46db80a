#include "objects/monster.h"

#include "base/number_text.h"

namespace dungeon {

void Monster::Init(const Text& monsterName, double monsterLife, double monsterMaxLife,
                   double monsterAttack, double monsterArmor, std::int16_t monsterX,
                   std::int16_t monsterY) {
    name = monsterName;
    life = monsterLife;
    maxLife = monsterMaxLife;
    attack = monsterAttack;
    armor = monsterArmor;
    x = monsterX;
    y = monsterY;
}

void Monster::Rescale() {
    // A maxLife of 0 gives an infinite or undefined ratio, no trap.
    const double ratio = life / maxLife;
    attack *= ratio;
    armor *= ratio;
}

Text Monster::StatusText() const {
    return Text(" L:") + FormatFixed(life, 3, 0, RealKind::kDouble) +
           " A:" + FormatFixed(attack, 3, 0, RealKind::kDouble) +
           " R:" + FormatFixed(armor, 3, 0, RealKind::kDouble);
}

Text Monster::GetName() const {
    return name;
}

void Monster::TakeHit(double damage) {
    // Armor above 100 turns the hit into a gain of life; nothing caps it.
    const auto effective = static_cast<double>(damage * (1 - ExtendedReal(armor) / 100));
    life = static_cast<double>(life * (1 - ExtendedReal(effective) / 100));
    Rescale();
}

double Monster::GetAttack() const {
    return attack;
}

bool Monster::IsDead() const {
    return life < 0.5;
}

}  // namespace dungeon
