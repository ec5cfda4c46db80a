#pragma once

#include <cstdint>
#include <optional>

#include "console/key_event.h"
#include "platform/vt/vt_keys.h"
#include "platform/vt/vt_tokenizer.h"

namespace dungeon {

// The cursor, editing and function keys as xterm, rxvt and the Linux console send them in
// their CSI forms ("ESC [ 1 ; 5 D", "ESC [ 3 ^", "ESC [ [ A").

// The keys that xterm names by a final letter alone, in its SS3 and CSI forms alike: the
// cursor keys, Home, End, keypad 5 and F1..F4.
std::optional<NamedKey> FinalLetterKey(std::uint8_t final);
// rxvt's cursor keys with a modifier, named by a lower-case final letter.
std::optional<NamedKey> RxvtCursorKey(std::uint8_t final);

// The key of a sequence without marker or intermediate byte; nothing if it is none.
std::optional<KeyEvent> LegacyCsiKey(const CsiParameters& p, std::uint8_t final);
// The Linux console's F1..F5, "ESC [ [ A" .. "ESC [ [ E".
std::optional<KeyEvent> LinuxFunctionKey(std::uint8_t final);

}  // namespace dungeon
