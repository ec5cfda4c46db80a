#pragma once

#include <cstdint>
#include <optional>

#include "console/key_event.h"

namespace dungeon {

// Virtual key codes of a PC keyboard that the console layer and the platforms name.
enum VirtualKey : std::uint16_t {
    kVkBack = 8,
    kVkTab = 9,
    kVkReturn = 13,
    kVkShift = 16,
    kVkControl = 17,
    kVkMenu = 18,  // Alt
    kVkCapital = 20,
    kVkEscape = 27,
    kVkSpace = 32,
    kVkPrior = 33,
    kVkNext = 34,
    kVkEnd = 35,
    kVkHome = 36,
    kVkLeft = 37,
    kVkUp = 38,
    kVkRight = 39,
    kVkDown = 40,
    kVkInsert = 45,
    kVkDelete = 46,
    kVkNumpad0 = 96,
    kVkMultiply = 106,
    kVkAdd = 107,
    kVkSubtract = 109,
    kVkDecimal = 110,
    kVkDivide = 111,
    kVkF1 = 112,
    kVkNumLock = 144,
    kVkScroll = 145,
    kVkClear = 12,       // keypad 5 without Num Lock
    kVkSeparator = 108,  // the keypad's separator key (a comma on some layouts)
    kVkOemPlus = 187,    // the "=" / "+" key of the main block
};

// The ten digit keys of the numeric keypad, 0 to 9.
constexpr bool IsKeypadDigit(std::uint16_t virtualKey) {
    return virtualKey >= kVkNumpad0 && virtualKey <= kVkNumpad0 + 9;
}

// Set-1 scan codes of the keys that produce no character.
enum ScanCode : std::uint16_t {
    kScanEscape = 1,
    kScanBackspace = 14,
    kScanTab = 15,
    kScanSpace = 57,
    kScanEnter = 28,
    kScanF1 = 59,  // F1..F10 are 59..68
    kScanHome = 71,
    kScanUp = 72,
    kScanPageUp = 73,
    kScanKeypadMinus = 74,
    kScanLeft = 75,
    kScanKeypad5 = 76,
    kScanRight = 77,
    kScanKeypadPlus = 78,
    kScanEnd = 79,
    kScanDown = 80,
    kScanPageDown = 81,
    kScanInsert = 82,
    kScanDelete = 83,
    kScanF11 = 87,
    kScanEquals = 13,  // the "=" / "+" key of the main block
    kScanControl = 29,
    kScanLeftShift = 42,
    kScanKeypadDivide = 53,
    kScanRightShift = 54,
    kScanKeypadMultiply = 55,
    kScanAlt = 56,
    kScanCapsLock = 58,
    kScanNumLock = 69,
    kScanScrollLock = 70,
};

// The key of a US-layout PC keyboard that types an ASCII character.
struct PcKey {
    std::uint16_t virtualKey = 0;
    std::uint16_t scanCode = 0;
    bool shift = false;  // Shift must be held to type the character
    bool ctrl = false;   // a control character, typed with Ctrl held
};

// Every character 0..127 has a key: control characters are their Ctrl combinations (0 is
// Ctrl+2; 28..31 are Ctrl+\, Ctrl+], Ctrl+6 and Ctrl+-), 127 is Ctrl+Backspace. False for
// the characters above 127, which no single key of a US keyboard types.
std::optional<PcKey> PcKeyForCharacter(std::uint8_t character);
// The press of the key that types `character` (a character without a key of its own
// comes with virtual key and scan code 0).
KeyEvent PcKeyPress(std::uint8_t character);

// The presses of the keys that type no character, as a PC keyboard reports them; the keys
// of the separate cursor and editing block, and the right-hand modifiers, are enhanced keys.
namespace pc_key {
inline constexpr KeyEvent kUp{true, kVkUp, kScanUp, 0, kEnhancedKey},
    kDown{true, kVkDown, kScanDown, 0, kEnhancedKey},
    kRight{true, kVkRight, kScanRight, 0, kEnhancedKey},
    kLeft{true, kVkLeft, kScanLeft, 0, kEnhancedKey},
    kHome{true, kVkHome, kScanHome, 0, kEnhancedKey}, kEnd{true, kVkEnd, kScanEnd, 0, kEnhancedKey},
    kInsert{true, kVkInsert, kScanInsert, 0, kEnhancedKey},
    kDelete{true, kVkDelete, kScanDelete, 0, kEnhancedKey},
    kPageUp{true, kVkPrior, kScanPageUp, 0, kEnhancedKey},
    kPageDown{true, kVkNext, kScanPageDown, 0, kEnhancedKey},
    kKeypadBegin{true, kVkClear, kScanKeypad5}, kCapsLock{true, kVkCapital, kScanCapsLock},
    kScrollLock{true, kVkScroll, kScanScrollLock},
    kNumLock{true, kVkNumLock, kScanNumLock, 0, kEnhancedKey},
    kLeftShift{true, kVkShift, kScanLeftShift}, kRightShift{true, kVkShift, kScanRightShift},
    kLeftControl{true, kVkControl, kScanControl},
    kRightControl{true, kVkControl, kScanControl, 0, kEnhancedKey},
    kLeftAlt{true, kVkMenu, kScanAlt}, kRightAlt{true, kVkMenu, kScanAlt, 0, kEnhancedKey};

// F1..F12.
constexpr KeyEvent Function(int number) {
    const int scanCode = number <= 10 ? kScanF1 + number - 1 : kScanF11 + number - 11;
    return {true, static_cast<std::uint16_t>(kVkF1 + number - 1),
            static_cast<std::uint16_t>(scanCode)};
}
}  // namespace pc_key

// The character that the US-layout key typing `character` types with Shift held; the
// character itself where Shift changes nothing (or it is no ASCII character).
std::uint32_t ShiftedCharacter(std::uint32_t character);
// The control character that the key typing `character` types with Ctrl held on a PC;
// 0 where it types none.
std::uint8_t CtrlCharacter(std::uint32_t character);

}  // namespace dungeon
