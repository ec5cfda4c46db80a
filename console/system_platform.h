#pragma once

#include "console/platform.h"

namespace dungeon {

// The platform of the system the program was built for: a POSIX terminal or the
// Windows console. One static instance; nothing above the console layer knows which.
Platform& SystemPlatform();

}  // namespace dungeon
