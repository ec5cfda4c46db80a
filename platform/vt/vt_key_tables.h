#pragma once

#include <cstdint>
#include <optional>

#include "console/key_event.h"
#include "platform/vt/vt_tokenizer.h"

namespace dungeon {

// The kitty protocol's flag, in the answer to "CSI ? u", that key events carry their type,
// and the type of a release (a press is 1, a repeat 2).
inline constexpr std::uint32_t kKittyEventTypesFlag = 2;
inline constexpr std::uint32_t kKittyRelease = 3;

// A PC key event record, with the kitty protocol's event type (0 where none was sent).
struct TokenKey {
    KeyEvent key;
    std::uint32_t eventType = 0;
};

// The PC key that a token names, as a PC keyboard would have sent it, so that the console
// layer hands out the same characters as on the PC console: plain and UTF-8 text, control
// characters and Alt as an Escape prefix; the CSI, rxvt and Linux-console forms of the
// cursor, editing and function keys with xterm's modifier parameter ("ESC [ 1 ; 5 D",
// "ESC [ 3 ^", "ESC [ [ A"); the SS3 keys and the application keypad ("ESC O A",
// "ESC O p"); the kitty keyboard protocol ("CSI code:shifted:base ; modifiers:event ;
// text u") and xterm's modifyOtherKeys ("CSI 27 ; modifiers ; code ~"). Nothing for a
// token that is no key, such as a sequence with a marker or an intermediate byte.
std::optional<TokenKey> KeyOf(const Token& token);

}  // namespace dungeon
