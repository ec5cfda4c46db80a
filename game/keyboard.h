#pragma once

#include "console/console.h"

namespace dungeon {

// A 0 after which nothing can follow: the keyboard is gone and no key is left. A key
// read loop must stop then instead of waiting for ever.
inline bool KeyboardGone(char key) {
    return key == 0 && TheConsole().InputLost() && !TheConsole().KeyWaiting();
}

}  // namespace dungeon
