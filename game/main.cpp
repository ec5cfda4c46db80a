#include <iostream>
#include <optional>

#include "console/system_platform.h"
#include "game/command_line.h"
#include "game/program.h"

int main(int argc, char* argv[]) {
    // Help, version and wrong arguments are answered before the terminal is touched.
    if (std::optional<int> status = dungeon::HandleCommandLine(argc, argv, std::cout, std::cerr)) {
        return *status;
    }
    return dungeon::RunProgram(dungeon::SystemPlatform());
}
