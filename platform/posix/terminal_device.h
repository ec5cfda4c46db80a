#pragma once

#include <sys/select.h>
#include <termios.h>

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <span>
#include <string_view>

#include "platform/vt/byte_channel.h"

namespace dungeon {

// A POSIX terminal device as the VT terminal's byte channel: normally /dev/tty, so that
// redirected standard streams do not matter. Opening sets raw mode and installs the signal
// handlers that give it back (signal_restore.h). Waits are pselect() calls, which a handled
// signal ends. A write to a slow terminal waits, with the ending signals let in, at most
// kStallLimitMs without progress. One at a time.
class TerminalDevice : public ByteChannel {
  public:
    // `terminalType` is the terminal's type as TERM names it; null: TERM itself. A type
    // without cursor addressing ("dumb", or none at all) is refused.
    explicit TerminalDevice(const char* path, const char* terminalType)
        : path_(path), type_(terminalType) {}
    ~TerminalDevice() override { CloseChannel(""); }
    TerminalDevice(const TerminalDevice&) = delete;
    TerminalDevice& operator=(const TerminalDevice&) = delete;

    std::optional<OpenError> OpenChannel() override;
    void CloseChannel(std::string_view leave) override;
    TerminalSize Size() override;
    bool Write(std::string_view bytes) override;
    std::span<const std::uint8_t> Read(std::span<std::uint8_t> into) override;
    ChannelWait WaitForInput(std::optional<int> timeoutMs) override;
    std::uint32_t Now() override;

    // How long a write waits for a terminal that takes nothing; then its bytes are lost, and
    // so are those of later writes until the terminal takes bytes again.
    static constexpr int kStallLimitMs = 5000;

  protected:
    // pselect() for readable descriptors; a test replaces it to play a failing system.
    virtual int Select(int count, fd_set* readable, const timespec* timeout, const sigset_t* mask) {
        return pselect(count, readable, nullptr, nullptr, timeout, mask);
    }

  private:
    std::optional<OpenError> OpenDescriptors();
    std::optional<OpenError> TakeTerminal();
    bool WaitWritable(int timeoutMs);
    void Release();

    const char* path_;
    const char* type_;
    int fd_ = -1;
    termios original_{};
    termios raw_{};
    bool inputGone_ = false;
    bool stalled_ = false;  // a write gave up on the terminal
};

}  // namespace dungeon
