#pragma once

#include <cstdint>
#include <optional>

#include "console/key_event.h"
#include "platform/vt/vt_tokenizer.h"

namespace dungeon {

// The kitty keyboard protocol ("CSI code:shifted:base ; modifiers:event ; text u") and
// xterm's modifyOtherKeys ("CSI 27 ; modifiers ; code ~"), which name a key by the
// character it types or by a key number of their own.

// The kitty protocol's numbers of keys that type no character (or type one on the keypad).
enum KittyKey : std::uint32_t {
    kKittyFirstFunctional = 57344,  // its numbers lie in the Private Use Area
    kKittyCapsLock = 57358,
    kKittyScrollLock = 57359,
    kKittyNumLock = 57360,
    kKittyKeypad0 = 57399,  // keypad 0..9, then the other keypad keys in KeypadKey's order
    kKittyKeypad9 = 57408,
    kKittyKeypadSeparator = 57416,
    kKittyKeypadLeft = 57417,
    kKittyKeypadRight = 57418,
    kKittyKeypadUp = 57419,
    kKittyKeypadDown = 57420,
    kKittyKeypadPageUp = 57421,
    kKittyKeypadPageDown = 57422,
    kKittyKeypadHome = 57423,
    kKittyKeypadEnd = 57424,
    kKittyKeypadInsert = 57425,
    kKittyKeypadDelete = 57426,
    kKittyKeypadBegin = 57427,  // keypad 5 without Num Lock
    kKittyLeftShift = 57441,
    kKittyLeftControl = 57442,
    kKittyLeftAlt = 57443,
    kKittyRightShift = 57447,
    kKittyRightControl = 57448,
    kKittyRightAlt = 57449,
    kKittyLastFunctional = 63743,
};

// The protocol's flag, in the answer to "CSI ? u", that key events carry their type.
inline constexpr std::uint32_t kKittyEventTypesFlag = 2;

// The type of a key event, a sub-field of its modifiers (0 where none was sent).
enum KittyEventType : std::uint32_t {
    kKittyPress = 1,
    kKittyRepeat = 2,
    kKittyRelease = 3,
};

struct KittyKeyFields {
    std::uint32_t code = 0;     // the character of the key without modifiers, or a KittyKey
    std::uint32_t shifted = 0;  // the character with Shift, if sent
    std::uint32_t base = 0;     // the key of the US layout in the same place, if sent
    std::uint32_t modifiers = 1;
    std::uint32_t eventType = 0;
    std::uint32_t text = 0;  // the character the key typed, if sent
};

// The fields of a key event in either form, from a sequence without marker or intermediate
// byte; nothing for other sequences.
std::optional<KittyKeyFields> KittyFields(const CsiParameters& p, std::uint8_t final);

// The PC key of such an event; nothing for keys the PC has not got.
std::optional<KeyEvent> KittyKeyEvent(const KittyKeyFields& key);

}  // namespace dungeon
