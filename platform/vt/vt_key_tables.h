#pragma once

#include <cstdint>
#include <optional>

#include "console/key_event.h"
#include "platform/vt/vt_tokenizer.h"

namespace dungeon {

// The kitty protocol's flag, in the answer to "CSI ? u", that key events report their type.
inline constexpr std::uint32_t kKittyEventTypesFlag = 2;

// The PC key event record that a token names, as a PC keyboard would have sent it, from
// the tables of the legacy CSI forms of xterm, rxvt and the Linux console ("ESC [ 1 ; 5 D",
// "ESC [ 3 ^", "ESC [ [ A"), of the SS3 keys and keypad ("ESC O A", "ESC O p"), and of the
// kitty protocol ("CSI code:shifted:base ; modifiers:event ; text u") with xterm's
// modifyOtherKeys ("CSI 27 ; modifiers ; code ~"). Nothing for a token that is no key.
std::optional<KeyEvent> KeyOf(const Token& token);
// The token reports the release of a key (the kitty protocol with event types).
bool IsKittyRelease(const Token& token);

}  // namespace dungeon
