#include "console/system_platform.h"
#include "game/program.h"

int main() {
    return dungeon::RunProgram(dungeon::SystemPlatform());
}
