#pragma once

#include "platform/posix/terminal_device.h"
#include "platform/vt/vt_terminal.h"

namespace dungeon {

// The console on a POSIX terminal: the VT terminal over the terminal device. Every way out
// (Close, the end of the program, an ending or crash signal) restores the terminal's modes,
// shows the cursor and leaves the prompt below the picture, never waiting for a terminal
// that stopped reading; a stop does so too, and a continue takes the terminal over again.
class PosixPlatform : protected TerminalDevice, public VtTerminal {
  public:
    explicit PosixPlatform(const char* terminalPath = "/dev/tty",
                           const char* terminalType = nullptr);
    ~PosixPlatform() override { CloseIfOpen(); }  // copies are refused by the terminal device
};

}  // namespace dungeon
