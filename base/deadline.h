#pragma once

#include <cstdint>

namespace dungeon {

// Deadlines on a millisecond clock that wraps round, as every platform's does.

// The milliseconds from `now` until `deadline`; 0 or less once it has been reached.
std::int32_t MillisecondsLeft(std::uint32_t deadline, std::uint32_t now);

}  // namespace dungeon
