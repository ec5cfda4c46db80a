#pragma once

#include <cstdint>
#include <string>

#include "console/key_event.h"
#include "platform/memory/memory_platform.h"

namespace dungeon::test_support {

// A row of the in-memory console's screen as the characters it holds.
inline std::string ScreenRow(const MemoryPlatform& platform, int y) {
    std::string row;
    for (int x = 1; x <= platform.Width(); ++x) {
        row.push_back(static_cast<char>(platform.At(x, y).character));
    }
    return row;
}

// All rows, each followed by a line end.
inline std::string ScreenPicture(const MemoryPlatform& platform) {
    std::string picture;
    for (int y = 1; y <= platform.Height(); ++y) {
        picture += ScreenRow(platform, y) + "\n";
    }
    return picture;
}

// The stroke of a key without a character (arrows, function keys), with these modifiers.
inline void PressSpecialKey(MemoryPlatform& platform, std::uint16_t virtualKey,
                            std::uint16_t scanCode, std::uint32_t controlKeyState = kEnhancedKey) {
    platform.PushStroke(KeyEvent{true, virtualKey, scanCode, 0, controlKeyState});
}

}  // namespace dungeon::test_support
