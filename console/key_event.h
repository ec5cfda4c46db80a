#pragma once

#include <cstdint>

namespace dungeon {

// The key event records of a PC console, which every platform hands the console layer.

enum ControlKeyState : std::uint32_t {
    kRightAlt = 0x0001,
    kLeftAlt = 0x0002,
    kRightCtrl = 0x0004,
    kLeftCtrl = 0x0008,
    kShift = 0x0010,
    kNumLock = 0x0020,
    kScrollLock = 0x0040,
    kCapsLock = 0x0080,
    kEnhancedKey = 0x0100,
};

// Either Alt key, either Ctrl key: the console treats the two sides alike.
inline constexpr std::uint32_t kAltFlags = kRightAlt | kLeftAlt;
inline constexpr std::uint32_t kCtrlFlags = kRightCtrl | kLeftCtrl;

struct KeyEvent {
    bool keyDown = true;
    std::uint16_t virtualKey = 0;
    std::uint16_t scanCode = 0;
    std::uint8_t character = 0;
    std::uint32_t controlKeyState = 0;

    friend constexpr bool operator==(const KeyEvent&, const KeyEvent&) = default;
};

struct InputEvent {
    enum class Kind : std::uint8_t { kKey, kOther };
    Kind kind = Kind::kKey;
    KeyEvent key;
};

}  // namespace dungeon
