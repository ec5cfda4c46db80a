#include "platform/browser/browser_platform.h"

#include "platform/system_platform.h"

namespace dungeon {

Platform& SystemPlatform() {
    static BrowserPlatform platform;
    return platform;
}

// In a web page the program outlives its games: the page keeps the last picture, shows how
// the game ended and starts the next one when the player asks, without a reload.
int RunOnSystemPlatform(int (*program)(Platform&)) {
    for (;;) {
        int status = program(SystemPlatform());
        if (dungeon_page_await_next_game(status) == 0) {
            return status;
        }
    }
}

}  // namespace dungeon
