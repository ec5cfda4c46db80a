#include "console/system_platform.h"
#include "game/program.h"

#if defined(__EMSCRIPTEN__)
#include "platform/browser/browser_platform.h"

// In a web page the program outlives its games: the page keeps the last picture, shows how
// the game ended and starts the next one when the player asks, without a reload.
int main() {
    for (;;) {
        int status = dungeon::RunProgram(dungeon::SystemPlatform());
        if (!dungeon::AwaitNextGame(status)) {
            return status;
        }
    }
}
#else
#include <iostream>
#include <optional>

#include "game/command_line.h"

int main(int argc, char* argv[]) {
    // Help, version and wrong arguments are answered before the terminal is touched.
    if (std::optional<int> status = dungeon::HandleCommandLine(argc, argv, std::cout, std::cerr)) {
        return *status;
    }
    return dungeon::RunProgram(dungeon::SystemPlatform());
}
#endif
