#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "console/platform.h"

namespace dungeon {

struct TerminalSize {
    int width = 80;
    int height = 25;
};

enum class ChannelWait : std::uint8_t {
    kReadable,  // bytes have arrived
    kTimeout,   // the time given passed first
    kNotice,    // the terminal changed under us (resized, or the program was resumed)
    kClosed,    // nothing can ever arrive again
};

// What carries a VT terminal's bytes, written once per transport: a POSIX terminal device
// or a page's terminal emulator. It knows nothing of escape sequences.
class ByteChannel {
  public:
    virtual ~ByteChannel() = default;

    // Takes hold of the terminal (raw mode and the like). On failure nothing is changed.
    virtual std::optional<OpenError> OpenChannel() = 0;
    // Gives the terminal back: its modes as they were found, then `leave`.
    virtual void CloseChannel(std::string_view leave) = 0;
    virtual TerminalSize Size() = 0;
    // Writes every byte, unless the terminal has gone; never waits without bound for a
    // terminal that reads nothing.
    virtual void Write(std::string_view bytes) = 0;
    // The bytes that have arrived, at most `into.size()` (none: empty); never waits.
    virtual std::span<const std::uint8_t> Read(std::span<std::uint8_t> into) = 0;
    // Waits until bytes arrive, a notice comes, or `timeoutMs` passes (nullopt: no limit).
    virtual ChannelWait WaitForInput(std::optional<int> timeoutMs) = 0;
    // Whether a notice came since the last wait or look, without waiting; it is taken.
    virtual bool TakeNotice() = 0;
    virtual std::uint32_t Now() = 0;
    // Kept current by the terminal: what gives it back should a signal end the program, what
    // takes it again after any stop, and what follows after our own stop, whose leave undid it.
    virtual void SetRestoreBytes(std::string_view leave, std::string_view enter,
                                 std::string_view resume) = 0;
};

}  // namespace dungeon
