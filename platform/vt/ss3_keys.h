#pragma once

#include <cstdint>
#include <optional>

#include "console/key_event.h"

namespace dungeon {

// The keys that xterm sends as "ESC O final" in its application cursor and keypad modes
// ("ESC O A", "ESC O p"), with an optional modifier before the final ("ESC O 5 P", an old
// form), and rxvt's Ctrl with the cursor keys ("ESC O d"). `modifiers` is xterm's
// modifier parameter; nothing if the sequence is no key.
std::optional<KeyEvent> Ss3Key(std::uint32_t modifiers, std::uint8_t final);

}  // namespace dungeon
