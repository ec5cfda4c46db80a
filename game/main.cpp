#include <cstdio>
#include <optional>

#include "game/command_line.h"
#include "game/program.h"
#include "platform/system_platform.h"

int main(int argc, char* argv[]) {
    dungeon::StdioSink out(stdout);
    dungeon::StdioSink err(stderr);
    if (std::optional<int> status = dungeon::HandleCommandLine(argc, argv, out, err)) {
        return *status;
    }
    return dungeon::RunOnSystemPlatform(&dungeon::RunProgram);
}
