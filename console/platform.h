#pragma once

#include <cstdint>
#include <optional>

#include "console/key_event.h"
#include "console/screen.h"

namespace dungeon {

// What the console layer needs of a system, and no more. The picture lives in the
// console's Screen, which the platform only sizes and shows.

enum class OpenError : std::uint8_t {
    kNoDevice,            // no console or terminal could be opened
    kInUse,               // another part of the program holds it
    kNotAConsole,         // what was opened is no console, or its size cannot be read
    kNoCursorAddressing,  // a terminal that cannot place the cursor (TERM is "dumb" or unset)
    kSetupFailed,         // its modes could not be set
};

enum class WaitResult : std::uint8_t {
    kInput,   // input may have arrived
    kClosed,  // no input can ever arrive again
};

class Platform {
  public:
    virtual ~Platform() = default;

    // Takes hold of the console and sizes `screen` to it: its size, the attribute of its
    // text, the cursor, and the cells already shown, which count as presented when the
    // console's picture is known. On failure nothing is left changed.
    virtual std::optional<OpenError> Open(Screen& screen) = 0;
    // Shows what changed in `screen` (its DifferingSpan rows and the cursor). True when all
    // of it reached the console; false when what the console shows is no longer known.
    virtual bool Present(const Screen& screen) = 0;
    // Gives the console back as it was found, the last picture left standing and the
    // prompt below its lowest row. Safe to call more than once.
    virtual void Close() = 0;

    // The oldest input event received and not yet taken. Never waits.
    // A key press counts only once another event stands behind it, normally its release.
    // Releases matter only for that and for the codes typed with Alt on the keypad.
    virtual std::optional<InputEvent> NextEvent() = 0;
    // Blocks until input may have arrived.
    virtual WaitResult Wait() = 0;
    // Milliseconds since an arbitrary start; wraps round.
    virtual std::uint32_t Milliseconds() = 0;
};

}  // namespace dungeon
