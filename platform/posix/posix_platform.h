#pragma once

#include "platform/posix/terminal_device.h"
#include "platform/vt/vt_terminal.h"

namespace dungeon {

// The console on a POSIX terminal: the VT terminal over the terminal device. Every way
// out (Close, the end of the program, a terminating or crash signal) restores the
// terminal's modes, shows the cursor and leaves the prompt below the picture, and none of
// them waits for a terminal that has stopped reading; a stop (SIGTSTP) restores it as well
// and takes it over again on continuing, as does a continue after any other stop.
class PosixPlatform : protected TerminalDevice, public VtTerminal {
  public:
    explicit PosixPlatform(const char* terminalPath = "/dev/tty",
                           const char* terminalType = nullptr);
    ~PosixPlatform() override;  // copies are refused by the terminal device
};

}  // namespace dungeon
