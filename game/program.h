#pragma once

#include "console/platform.h"

namespace dungeon {

// The whole program run on the given console: start-up, setup, the first drawing and
// the main loop. Returns the exit status: 0 for every ending of the game (exit, death,
// "s"), 1 when the console cannot be set up or the keyboard is lost. The console is
// always handed back before this returns.
int RunProgram(Platform& platform);

}  // namespace dungeon
