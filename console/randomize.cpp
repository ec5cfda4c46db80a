#include "console/randomize.h"

#include "base/random.h"
#include "console/console.h"

namespace dungeon {

void Randomize() {
    TheRandom().SetSeed(TheConsole().TickCount());
}

}  // namespace dungeon
