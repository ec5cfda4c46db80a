#include "base/random.h"
#include "game/world.h"

namespace dungeon {

Outcome World::Fight() {
    if (GridAt(hero.x, hero.y) != kMonster) {
        return Outcome::kGoOn;
    }
    // Every "M" stands for a living monster; should that ever fail, drawing would never end.
    bool anyAlive = false;
    for (const Monster& m : monsters) {
        anyAlive = anyAlive || !m.IsDead();
    }
    if (!anyAlive) {
        return Outcome::kGoOn;
    }
    std::int16_t index = 0;
    do {
        index = static_cast<std::int16_t>(Round(Random(kMonsters)) + 1);
    } while (monsters[index - 1].IsDead());
    Monster& monster = monsters[index - 1];

    for (;;) {
        messagePane.Clear();
        messagePane.WriteLine("Monster greift an!");
        messagePane.WriteLine(hero.GetName());
        messagePane.WriteLine(hero.StatusText());
        messagePane.WriteLine("trifft auf");
        messagePane.WriteLine(monster.GetName());
        messagePane.WriteLine(monster.StatusText());
        messagePane.WriteLine("");

        // The monster strikes first; the hero answers with what that hit left of its attack.
        hero.TakeHit(monster.GetAttack());
        monster.TakeHit(hero.TotalAttack());

        messagePane.WriteLine("Kampfergebnis");
        messagePane.WriteLine(hero.GetName());
        messagePane.WriteLine(hero.StatusText());
        messagePane.WriteLine(monster.GetName());
        messagePane.WriteLine(monster.StatusText());

        if (monster.IsDead()) {
            GridAt(hero.x, hero.y) = kKilled;
            messagePane.WriteLine(monster.GetName() + " tot!");
            return Outcome::kGoOn;
        }
        if (!hero.IsDead()) {
            messagePane.WriteLine(" ");
        }
        messagePane.WriteLine("(F)lucht oder weiter (K)aempfen?");

        char key = 0;
        do {
            key = messagePane.ReadKey();
            if (TextPane::KeyboardGone(key)) {
                return Outcome::kInputLost;
            }
        } while (key != 'f' && key != 'k');
        if (key == 'f') {
            return Outcome::kGoOn;
        }
    }
}

}  // namespace dungeon
