#include <string_view>

#include "game/world.h"

namespace dungeon {

void World::DrawMap() {
    char rows[kHeight][kWidth];
    for (int y = 1; y <= kHeight; ++y) {
        for (int x = 1; x <= kWidth; ++x) {
            // Chosen by a mask, not a jump: which cells were seen follows no pattern.
            const auto seenMask = static_cast<char>(-static_cast<int>(SeenAt(x, y) == 1));
            rows[y - 1][x - 1] = static_cast<char>((GridAt(x, y) & seenMask) | ('.' & ~seenMask));
        }
    }
    // Forty characters fill each of the pane's rows; the cursor wraps to the next one.
    mapPane.ShowLines(std::string_view(&rows[0][0], sizeof rows), kWidth);
    mapPane.WriteAt(hero.x, hero.y, "H");
    messagePane.WriteAt(1, 20, hero.GetName() + ": " + hero.StatusText());
}

}  // namespace dungeon
