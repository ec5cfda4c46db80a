#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "console/platform.h"

namespace dungeon {

// The size of a terminal in columns and rows; a PC's 80 x 25 where nothing else is known.
struct TerminalSize {
    int width = 80;
    int height = 25;
};

enum class ChannelWait : std::uint8_t {
    kReadable,     // bytes have arrived
    kTimeout,      // the time given passed first
    kInterrupted,  // a signal came that the platform acts on (a resize, a continue)
    kClosed,       // nothing can ever arrive again
};

// The transport of a VT terminal's bytes, written once for each kind: a POSIX terminal device
// or a page's terminal emulator. It knows nothing of escape sequences.
class ByteChannel {
  public:
    virtual ~ByteChannel() = default;

    // Takes over the terminal (raw mode and the like). On failure nothing is changed.
    virtual std::optional<OpenError> OpenChannel() = 0;
    // Gives the terminal back: its modes as they were found, then the bytes `leave`.
    virtual void CloseChannel(std::string_view leave) = 0;
    // The terminal's size; 0 x 0 when it cannot be read.
    virtual TerminalSize Size() = 0;
    // Writes every byte, unless the terminal has gone; never waits without bound for a
    // terminal that reads nothing. False when bytes were lost.
    virtual bool Write(std::string_view bytes) = 0;
    // The bytes that have arrived, at most `into.size()` (none: empty); never waits.
    virtual std::span<const std::uint8_t> Read(std::span<std::uint8_t> into) = 0;
    // Waits until bytes arrive, a signal comes, or `timeoutMs` passes (nullopt: no limit).
    virtual ChannelWait WaitForInput(std::optional<int> timeoutMs) = 0;
    virtual std::uint32_t Now() = 0;
};

}  // namespace dungeon
