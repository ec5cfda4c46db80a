#pragma once

#include "platform/posix/terminal_device.h"
#include "platform/vt/vt_terminal.h"

namespace dungeon {

// The console on a POSIX terminal: the VT terminal over the terminal device, and the signal
// handlers' part. Every exit (Close, the end of the program, a signal that ends it or a
// crash) restores the terminal's modes, shows the cursor and leaves the prompt below the
// picture, never waiting for a terminal that stopped reading; a stop does so too, and a
// continue takes the terminal over again. After a resize or a continue the whole picture is
// drawn anew.
class PosixPlatform : public Platform {
  public:
    explicit PosixPlatform(const char* terminalPath = "/dev/tty",
                           const char* terminalType = nullptr)
        : device_(terminalPath, terminalType) {}

    std::optional<OpenError> Open(Screen& screen) override;
    bool Present(const Screen& screen) override;
    void Close() override { terminal_.Close(); }
    std::optional<InputEvent> NextEvent() override;
    WaitResult Wait() override;
    std::uint32_t Milliseconds() override { return terminal_.Milliseconds(); }

  private:
    void GiveRestoreBytesToHandlers();
    void RepaintAfterResizeOrResume();

    TerminalDevice device_;
    // Declared after the device it writes to, so that it is closed before the device goes.
    VtTerminal terminal_{device_};
};

}  // namespace dungeon
