#pragma once

#include <cstdint>
#include <limits>

namespace dungeon {

// The Windows console counts cells from 0 in 16-bit coordinates, the console layer from
// 1 in ints. A position beyond the 16-bit range is pinned to its end: that still lies
// outside every screen buffer, so a scroll meant to land "off the screen" (as clearing a
// window does) can never wrap round and land on it.
constexpr std::int16_t ToConsoleCoordinate(int position) {
    const long long zeroBased = static_cast<long long>(position) - 1;
    if (zeroBased < std::numeric_limits<std::int16_t>::min()) {
        return std::numeric_limits<std::int16_t>::min();
    }
    if (zeroBased > std::numeric_limits<std::int16_t>::max()) {
        return std::numeric_limits<std::int16_t>::max();
    }
    return static_cast<std::int16_t>(zeroBased);
}

constexpr int FromConsoleCoordinate(std::int16_t coordinate) {
    return coordinate + 1;
}

}  // namespace dungeon
