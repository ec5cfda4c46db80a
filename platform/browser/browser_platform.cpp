#include "platform/browser/browser_platform.h"

#include "platform/system_platform.h"

namespace dungeon {

Platform& SystemPlatform() {
    static BrowserPlatform platform;
    return platform;
}

int RunOnSystemPlatform(int (*program)(Platform&)) {
    for (;;) {
        int status = program(SystemPlatform());
        if (dungeon_page_await_next_game(status) == 0) {
            return status;
        }
    }
}

}  // namespace dungeon
