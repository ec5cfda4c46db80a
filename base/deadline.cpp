#include "base/deadline.h"

#include <algorithm>

namespace dungeon {

std::int32_t MillisecondsLeft(std::uint32_t deadline, std::uint32_t now) {
    return static_cast<std::int32_t>(deadline - now);
}

std::optional<int> MillisecondsToNearest(
    std::uint32_t now, std::initializer_list<std::optional<std::uint32_t>> deadlines) {
    std::optional<int> nearest;
    for (std::optional<std::uint32_t> deadline : deadlines) {
        if (deadline) {
            const int left = std::max(0, MillisecondsLeft(*deadline, now));
            nearest = nearest ? std::min(*nearest, left) : left;
        }
    }
    return nearest;
}

}  // namespace dungeon
