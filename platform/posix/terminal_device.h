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
// handlers that give it back (signal_restore.h). A wait without a limit is a blocking read (the
// cheapest way to be woken by a key), one with a limit a pselect(); a write to a slow terminal
// waits, the ending signals let in, at most kStallLimitMs without progress. One at a time.
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
    void Write(std::string_view bytes) override;
    std::span<const std::uint8_t> Read(std::span<std::uint8_t> into) override;
    ChannelWait WaitForInput(std::optional<int> timeoutMs) override;
    bool TakeNotice() override;
    std::uint32_t Now() override;
    void SetRestoreBytes(std::string_view leave, std::string_view enter,
                         std::string_view resume) override;

    // How long a write waits for a terminal that takes nothing; then its bytes are lost,
    // and the next look repaints the whole picture.
    static constexpr int kStallLimitMs = 5000;

  protected:
    // pselect() for readable descriptors; a test replaces it to play a failing system.
    virtual int Select(int count, fd_set* readable, const timespec* timeout, const sigset_t* mask) {
        return pselect(count, readable, nullptr, nullptr, timeout, mask);
    }

  private:
    bool WaitWritable(int timeoutMs);
    ChannelWait ReadWaiting();
    std::optional<std::uint32_t> DrainedAt(std::size_t count, std::size_t room);
    void Release();

    const char* path_;
    const char* type_;
    int fd_ = -1;
    int waitFd_ = -1;  // the terminal again, blocking: a wait for a key reads from it
    termios original_{};
    termios raw_{};
    bool inputGone_ = false;
    bool outputLost_ = false;  // to a stalled terminal: the picture must be drawn anew
    std::optional<std::uint32_t> drainedAt_;  // when a read last took all there was
    // What a wait for a key read, handed on by the next Read.
    std::uint8_t arrived_[256] = {};
    std::size_t arrivedBegin_ = 0;
    std::size_t arrivedEnd_ = 0;
};

}  // namespace dungeon
