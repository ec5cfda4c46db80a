#include <string_view>

#include "game/world.h"

namespace dungeon {

void World::DrawMap() {
    mapPane.Clear();
    for (int y = 1; y <= kHeight; ++y) {
        char row[kWidth];
        for (int x = 1; x <= kWidth; ++x) {
            row[x - 1] = SeenAt(x, y) == 1 ? GridAt(x, y) : '.';
        }
        // Forty characters fill the pane's row; the cursor wraps to the next one.
        mapPane.WriteLine(Text(std::string_view(row, kWidth)));
    }
    mapPane.WriteAt(hero.x, hero.y, "H");
    messagePane.WriteAt(1, 20, hero.GetName() + ": " + hero.StatusText());
}

}  // namespace dungeon
