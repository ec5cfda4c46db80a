#include "base/deadline.h"

namespace dungeon {

std::int32_t MillisecondsLeft(std::uint32_t deadline, std::uint32_t now) {
    return static_cast<std::int32_t>(deadline - now);
}

}  // namespace dungeon
