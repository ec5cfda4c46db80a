#pragma once

#include "console/platform.h"

namespace dungeon {

// The platform of the system the program was built for: a POSIX terminal, the Windows
// console or a web page. One static instance; nothing above the platforms knows which.
Platform& SystemPlatform();

// Runs `program` on that platform as the system runs programs: once in a terminal or a
// console window; in a web page again whenever the player asks for a new game, for as
// long as the page stays. Returns the exit status of the last run.
int RunOnSystemPlatform(int (*program)(Platform&));

}  // namespace dungeon
