#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>

namespace dungeon {

// Deadlines on a millisecond clock that wraps round, as every platform's does.

// The milliseconds from `now` until `deadline`; 0 or less once it has been reached.
std::int32_t MillisecondsLeft(std::uint32_t deadline, std::uint32_t now);

// The milliseconds from `now` until the nearest of `deadlines` that are set, 0 for one
// already reached; nullopt when none is set.
std::optional<int> MillisecondsToNearest(
    std::uint32_t now, std::initializer_list<std::optional<std::uint32_t>> deadlines);

}  // namespace dungeon
