#include "game/world.h"

namespace dungeon {
namespace {

constexpr double kWallHit = 3.0;

}  // namespace

Outcome World::TurnInput() {
    for (;;) {
        SeenAt(hero.x, hero.y) = 1;
        char key = messagePane.ReadKey();
        // Each character counts by itself: an arrow's 0 is ignored, its code judged.
        switch (key) {
            case '2':
                return MoveDown();
            case '4':
                return MoveLeft();
            case '6':
                return MoveRight();
            case '8':
                return MoveUp();
            case 's':
                return Outcome::kQuit;
            default:
                if (TextPane::KeyboardGone(key)) {
                    return Outcome::kInputLost;
                }
                break;
        }
    }
}

Outcome World::MoveUp() {
    return Move(0, -1);
}
Outcome World::MoveDown() {
    return Move(0, 1);
}
Outcome World::MoveLeft() {
    return Move(-1, 0);
}
Outcome World::MoveRight() {
    return Move(1, 0);
}

Outcome World::Move(int dx, int dy) {
    int x = hero.x + dx;
    int y = hero.y + dy;
    if (SymbolAt(x, y) == kWall) {
        hero.TakeHit(kWallHit);
        messagePane.WriteLine("AU!!");
        return Outcome::kGoOn;
    }
    hero.x = static_cast<std::int16_t>(x);
    hero.y = static_cast<std::int16_t>(y);
    return EnterCell();
}

}  // namespace dungeon
