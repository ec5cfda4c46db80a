#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

namespace dungeon {

// The console counts cells from 0 in 16 bits, the layer from 1 in ints. A position beyond 16
// bits is pinned to the range's end, off every screen buffer, instead of wrapping onto one.
constexpr std::int16_t ToConsoleCoordinate(int position) {
    using Limits = std::numeric_limits<std::int16_t>;
    return static_cast<std::int16_t>(
        std::clamp<long long>(position - 1LL, Limits::min(), Limits::max()));
}

constexpr int FromConsoleCoordinate(std::int16_t coordinate) {
    return coordinate + 1;
}

}  // namespace dungeon
