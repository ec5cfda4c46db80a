// Plays a whole game with arbitrary key events: the first four bytes set the clock (and
// so the dungeon), every further four bytes make one event. Whatever comes, the game must
// end without a crash or a hang and give the console back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "game/program.h"
#include "platform/memory/memory_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    dungeon::MemoryPlatform platform(80, 40);
    std::uint32_t ticks = 0;
    std::size_t at = 0;
    for (; at < 4 && at < size; ++at) {
        ticks = ticks << 8 | data[at];
    }
    platform.SetTickCount(ticks);
    for (; at + 4 <= size; at += 4) {
        std::uint8_t flags = data[at];
        dungeon::InputEvent event;
        event.kind = (flags & 0x80) != 0 ? dungeon::InputEvent::Kind::kOther
                                         : dungeon::InputEvent::Kind::kKey;
        event.key.keyDown = (flags & 0x40) == 0;
        // Modifiers from the low bits: right/left Alt, right/left Ctrl, Shift, Num Lock.
        event.key.controlKeyState = flags & 0x3F;
        event.key.virtualKey = data[at + 1];
        event.key.scanCode = data[at + 2];
        event.key.character = data[at + 3];
        platform.PushEvent(event);
    }
    int status = dungeon::RunProgram(platform);
    if ((status != 0 && status != 1) || platform.IsOpen()) {
        std::abort();
    }
    return 0;
}
