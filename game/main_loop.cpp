#include "game/world.h"

namespace dungeon {

Outcome World::MainLoop() {
    for (;;) {
        // The exit is looked at before the hero's life...
        if (GridAt(hero.x, hero.y) == kExit || hero.IsDead()) {
            break;
        }
        Outcome outcome = TurnInput();
        if (outcome != Outcome::kGoOn) {
            return outcome;
        }
        DrawMap();
    }
    // ...and death before the exit when the game is told.
    if (hero.IsDead()) {
        messagePane.WriteLine(hero.GetName() + " tot!");
    } else {
        messagePane.WriteLine("Ausgang erreicht!");
    }
    return Outcome::kGoOn;
}

}  // namespace dungeon
