#include <string_view>

#include "game/world.h"

namespace dungeon {

void World::DrawMap() {
    char rows[kHeight][kWidth];
    // One pass over the map as it lies in memory, each character chosen by a mask: which
    // cells were seen follows no pattern a jump could predict, and compilers take many
    // cells at once.
    const char* symbols = &grid[0][0];
    const std::int16_t* seenFlags = &seen[0][0];
    char* out = &rows[0][0];
    for (int i = 0; i < kWidth * kHeight; ++i) {
        const auto seenMask = static_cast<char>(-static_cast<int>(seenFlags[i] == 1));
        out[i] = static_cast<char>((symbols[i] & seenMask) | ('.' & ~seenMask));
    }
    // Forty characters fill each of the pane's rows; the cursor wraps to the next one.
    mapPane.ShowLines(std::string_view(&rows[0][0], sizeof rows), kWidth);
    mapPane.WriteAt(hero.x, hero.y, "H");
    messagePane.WriteAt(1, 20, CurrentStatusLine());
}

const Text& World::CurrentStatusLine() {
    const Hero::StatusFigures figures = hero.Figures();
    if (!statusLine_.made || statusLine_.figures != figures || !(statusLine_.name == hero.name)) {
        statusLine_ = {hero.name, figures, hero.GetName() + ": " + hero.StatusText(), true};
    }
    return statusLine_.text;
}

}  // namespace dungeon
