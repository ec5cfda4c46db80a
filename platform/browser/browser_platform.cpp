#include "platform/browser/browser_platform.h"

#include "platform/system_platform.h"
#include "platform/vt/vt_terminal.h"

namespace dungeon {

// The console in the page: the VT terminal over the page's terminal.
Platform& SystemPlatform() {
    static BrowserChannel channel;
    static VtTerminal terminal(channel);
    return terminal;
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
