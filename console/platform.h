#pragma once

#include <cstdint>
#include <optional>

#include "console/key_event.h"
#include "console/screen.h"

namespace dungeon {

// What the console layer needs of a system, and no more. The picture lives in the
// console's Screen; a platform only carries it: it sizes the screen at Open (and puts in
// the cells its console already shows), shows what changed at Present, hands over the
// key events it has received without waiting, waits when asked, and tells the time.

enum class OpenError : std::uint8_t {
    kNoDevice,            // no console or terminal could be opened
    kInUse,               // another part of the program holds it
    kNotAConsole,         // what was opened is no console, or its size cannot be read
    kNoCursorAddressing,  // a terminal that cannot place the cursor (TERM is "dumb" or unset)
    kSetupFailed,         // its modes could not be set
};

enum class WaitResult : std::uint8_t {
    kInput,     // input may have arrived
    kDeadline,  // the deadline passed first
    kClosed,    // no input can ever arrive again
};

class Platform {
  public:
    virtual ~Platform() = default;

    // Takes hold of the console and sizes `screen` to it: its size, the attribute of its
    // text, the cursor, and the cells already shown. On failure nothing is left changed.
    virtual std::optional<OpenError> Open(Screen& screen) = 0;
    // Makes the console show what changed in `screen`, then marks it presented.
    virtual void Present(Screen& screen) = 0;
    // Gives the console back as it was found, the last picture left standing and the
    // prompt below its lowest row. Safe to call more than once.
    virtual void Close(const Screen& screen) = 0;

    // The oldest input event received and not yet taken. Never waits.
    virtual std::optional<InputEvent> NextEvent() = 0;
    // Blocks until input may have arrived, or until the clock reaches `deadline`.
    virtual WaitResult Wait(std::optional<std::uint32_t> deadline) = 0;
    // Milliseconds since an arbitrary start; wraps round.
    virtual std::uint32_t Milliseconds() = 0;
};

}  // namespace dungeon
