#include "game/program.h"

#include "console/console.h"
#include "game/world.h"

namespace dungeon {

int RunProgram(Platform& platform) {
    Console& console = TheConsole();
    if (!console.Start(platform)) {
        return 1;
    }
    World& world = TheWorld();
    world.Setup();
    world.DrawMap();
    Outcome outcome = world.MainLoop();
    console.Finish();
    return outcome == Outcome::kInputLost ? 1 : 0;
}

}  // namespace dungeon
