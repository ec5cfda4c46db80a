#include "base/random.h"
#include "game/world.h"

namespace dungeon {

Monster* World::DrawLivingMonster() {
    // Every "M" stands for a living monster; should that ever fail, drawing would never end.
    bool anyAlive = false;
    for (const Monster& m : monsters) {
        anyAlive = anyAlive || !m.IsDead();
    }
    if (!anyAlive) {
        return nullptr;
    }
    std::int16_t index = 0;
    do {
        index = static_cast<std::int16_t>(Round(Random(kMonsters)) + 1);
    } while (monsters[index - 1].IsDead());
    return &monsters[index - 1];
}

void World::FightRound(Monster& monster) {
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
}

char World::ReadFleeOrFight() {
    char key = 0;
    do {
        key = messagePane.ReadKey();
        if (TextPane::KeyboardGone(key)) {
            return 0;
        }
    } while (key != 'f' && key != 'k');
    return key;
}

Outcome World::Fight() {
    if (GridAt(hero.x, hero.y) != kMonster) {
        return Outcome::kGoOn;
    }
    Monster* monster = DrawLivingMonster();
    if (monster == nullptr) {
        return Outcome::kGoOn;
    }
    for (;;) {
        FightRound(*monster);
        if (monster->IsDead()) {
            GridAt(hero.x, hero.y) = kKilled;
            messagePane.WriteLine(monster->GetName() + " tot!");
            return Outcome::kGoOn;
        }
        if (!hero.IsDead()) {
            messagePane.WriteLine(" ");
        }
        messagePane.WriteLine("(F)lucht oder weiter (K)aempfen?");
        const char key = ReadFleeOrFight();
        if (key != 'k') {
            return key == 'f' ? Outcome::kGoOn : Outcome::kInputLost;
        }
    }
}

}  // namespace dungeon
