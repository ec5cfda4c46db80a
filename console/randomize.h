#pragma once

namespace dungeon {

// Seeds the program's generator (TheRandom) from the console's millisecond clock. It lives
// here rather than beside the generator because the clock belongs to the console.
void Randomize();

}  // namespace dungeon
