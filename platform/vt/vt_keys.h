#pragma once

#include <cstdint>
#include <optional>

#include "console/key_event.h"
#include "console/pc_keyboard.h"

namespace dungeon {

// The PC keys that terminal keys become, shared by the tables of every protocol.

// Control characters a terminal sends for keys of their own.
enum ControlCharacter : std::uint8_t {
    kBackspaceCharacter = 8,
    kTabCharacter = 9,
    kLineFeedCharacter = 10,
    kReturnCharacter = 13,
    kEscapeCharacter = 27,
    kDeleteCharacter = 127,  // what most terminals send for Backspace
};

// A key that types no character.
struct NamedKey {
    std::uint16_t virtualKey = 0;
    std::uint16_t scanCode = 0;
    bool enhanced = false;  // a key of the separate cursor and editing block
};

inline constexpr NamedKey kUpKey{kVkUp, kScanUp, true};
inline constexpr NamedKey kDownKey{kVkDown, kScanDown, true};
inline constexpr NamedKey kRightKey{kVkRight, kScanRight, true};
inline constexpr NamedKey kLeftKey{kVkLeft, kScanLeft, true};
inline constexpr NamedKey kHomeKey{kVkHome, kScanHome, true};
inline constexpr NamedKey kEndKey{kVkEnd, kScanEnd, true};
inline constexpr NamedKey kInsertKey{kVkInsert, kScanInsert, true};
inline constexpr NamedKey kDeleteKey{kVkDelete, kScanDelete, true};
inline constexpr NamedKey kPageUpKey{kVkPrior, kScanPageUp, true};
inline constexpr NamedKey kPageDownKey{kVkNext, kScanPageDown, true};
inline constexpr NamedKey kKeypadBeginKey{kVkClear, kScanKeypad5, false};

// F1..F12.
constexpr NamedKey FunctionKey(int number) {
    auto virtualKey = static_cast<std::uint16_t>(kVkF1 + number - 1);
    if (number <= 10) {
        return {virtualKey, static_cast<std::uint16_t>(kScanF1 + number - 1), false};
    }
    return {virtualKey, number == 11 ? kScanF11 : kScanF12, false};
}

// The same key on the numeric keypad (with Num Lock off), which is no enhanced key.
constexpr NamedKey OnKeypad(NamedKey key) {
    key.enhanced = false;
    return key;
}

// The keys of the numeric keypad that type characters, in the order of the kitty
// protocol's key numbers.
enum class KeypadKey : std::uint8_t {
    k0,
    k1,
    k2,
    k3,
    k4,
    k5,
    k6,
    k7,
    k8,
    k9,
    kDecimal,
    kDivide,
    kMultiply,
    kSubtract,
    kAdd,
    kEnter,
    kEqual,
    kSeparator,
};

// xterm's modifier parameter (1 + bits, as the kitty protocol has it too) as PC control key
// state. Alt counts as the left one: terminals do not tell the two apart.
std::uint32_t ModifierState(std::uint32_t parameter);

KeyEvent NamedKeyEvent(const NamedKey& key, std::uint32_t state);
KeyEvent KeypadEvent(KeypadKey key, std::uint32_t state);
// The key of a single byte below 128, as a PC keyboard types it.
KeyEvent AsciiKeyEvent(std::uint8_t byte);
// The key of a typed character: ASCII, or one with a code page 437 glyph, which no US key
// types. Nothing for a character the PC cannot show.
std::optional<KeyEvent> CharacterKeyEvent(std::uint32_t codePoint);

}  // namespace dungeon
