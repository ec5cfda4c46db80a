#include "platform/posix/terminal_device.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/posix/signal_restore.h"

namespace dungeon {
namespace {

termios RawMode(const termios& original) {
    termios raw = original;
    // No echo, no line editing, no signals or flow control from keys, bytes unchanged.
    raw.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON | IXOFF);
    raw.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    raw.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB);
    raw.c_cflag |= CS8;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    return raw;
}

timespec ToTimespec(int milliseconds) {
    return timespec{static_cast<time_t>(milliseconds / 1000), milliseconds % 1000 * 1000000L};
}

// A terminal without cursor addressing (an editor's shell buffer, a plain line) would show
// the escape sequences as text.
bool HasCursorAddressing(const char* type) {
    return type != nullptr && type[0] != '\0' && std::strcmp(type, "dumb") != 0;
}

bool WouldBlock() {
    return errno == EAGAIN || errno == EWOULDBLOCK;
}

}  // namespace

std::optional<OpenError> TerminalDevice::OpenChannel() {
    if (fd_ >= 0 || posix::RestoreInstalled()) {
        return OpenError::kInUse;  // this or another device has the terminal
    }
    if (!HasCursorAddressing(type_ != nullptr ? type_ : std::getenv("TERM"))) {
        return OpenError::kNoCursorAddressing;  // refused before anything is changed
    }
    std::optional<OpenError> error = OpenDescriptors();
    error = error ? error : TakeTerminal();
    if (error) {
        Release();
    }
    return error;
}

std::optional<OpenError> TerminalDevice::OpenDescriptors() {
    fd_ = open(path_, O_RDWR | O_NOCTTY | O_CLOEXEC);
    // Watched with select(), not poll(): macOS's poll() reports a terminal as an invalid
    // descriptor. select() takes only descriptors below FD_SETSIZE.
    if (fd_ < 0 || fd_ >= FD_SETSIZE) {
        return OpenError::kNoDevice;
    }
    winsize size{};
    if (isatty(fd_) == 0 || tcgetattr(fd_, &original_) != 0 || ioctl(fd_, TIOCGWINSZ, &size) != 0) {
        return OpenError::kNotAConsole;
    }
    // The terminal never blocks the game where it did not choose to wait, and a handler's
    // write never hangs.
    int flags = fcntl(fd_, F_GETFL);
    if (flags == -1 || fcntl(fd_, F_SETFL, flags | O_NONBLOCK) != 0) {
        return OpenError::kSetupFailed;
    }
    return std::nullopt;
}

// Raw mode, and the handlers that give the terminal back; no handler runs in between.
std::optional<OpenError> TerminalDevice::TakeTerminal() {
    raw_ = RawMode(original_);
    inputGone_ = stalled_ = false;
    posix::SignalBlock block;
    if (tcsetattr(fd_, TCSANOW, &raw_) != 0) {
        return OpenError::kSetupFailed;
    }
    posix::InstallRestore(posix::RestoreTarget{fd_, original_, raw_});
    return std::nullopt;
}

void TerminalDevice::CloseChannel(std::string_view leave) {
    if (fd_ < 0) {
        return;
    }
    // No handler restores while this is half done. A slow terminal is waited for, to get the
    // leave bytes whole; an ending signal still gets through, and its handler restores again.
    posix::SignalBlock block;
    tcflush(fd_, TCIFLUSH);  // keys typed at the game do not go to the shell
    tcsetattr(fd_, TCSANOW, &original_);
    stalled_ = false;
    Write(leave);
    posix::RemoveRestore();
    Release();
}

void TerminalDevice::Release() {
    if (fd_ >= 0) {
        close(fd_);
    }
    fd_ = -1;
}

TerminalSize TerminalDevice::Size() {
    winsize size{};
    const bool known = fd_ >= 0 && ioctl(fd_, TIOCGWINSZ, &size) == 0;
    return known ? TerminalSize{size.ws_col, size.ws_row} : TerminalSize{0, 0};
}

bool TerminalDevice::WaitWritable(int timeoutMs) {
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(fd_, &writable);
    timespec timeout = ToTimespec(timeoutMs);
    sigset_t open = posix::MaskWithEndingSignalsOpen();
    return pselect(fd_ + 1, nullptr, &writable, nullptr, &timeout, &open) > 0;
}

bool TerminalDevice::Write(std::string_view bytes) {
    // A stalled terminal gets bytes again only once it takes them.
    if (fd_ < 0 || (stalled_ && !WaitWritable(0))) {
        return false;
    }
    stalled_ = false;
    while (!bytes.empty()) {
        ssize_t written = write(fd_, bytes.data(), bytes.size());
        if (written > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(written));
            continue;
        }
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0 && !WouldBlock()) {
            return false;  // the terminal is gone; nothing more can be shown
        }
        // A write that took nothing is waited out, not repeated at once.
        if (!WaitWritable(kStallLimitMs)) {
            stalled_ = true;
            return false;
        }
    }
    return true;
}

std::span<const std::uint8_t> TerminalDevice::Read(std::span<std::uint8_t> into) {
    if (fd_ < 0 || inputGone_ || into.empty()) {
        return {};
    }
    ssize_t count = read(fd_, into.data(), into.size());
    if (count > 0) {
        return into.first(static_cast<std::size_t>(count));
    }
    inputGone_ = count == 0 || (errno != EINTR && !WouldBlock());  // end of file or hang-up
    return {};
}

ChannelWait TerminalDevice::WaitForInput(std::optional<int> timeoutMs) {
    if (fd_ < 0 || inputGone_) {
        return ChannelWait::kClosed;
    }
    for (;;) {
        // Signals come in only while pselect() waits: none slips in after the look.
        posix::SignalBlock block;
        if (posix::ResizedOrResumed()) {
            return ChannelWait::kInterrupted;
        }
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(fd_, &readable);
        const timespec timeout = ToTimespec(timeoutMs.value_or(0));
        int ready = Select(fd_ + 1, &readable, timeoutMs ? &timeout : nullptr, &block.Previous());
        if (ready < 0 && errno == EINTR) {
            continue;  // a handler ran: what it left is looked at above
        }
        if (ready < 0) {  // the descriptor reported invalid, or the wait failed: no key comes
            inputGone_ = true;
            return ChannelWait::kClosed;
        }
        // A hang-up shows as readable, then as the end.
        return ready == 0 ? ChannelWait::kTimeout : ChannelWait::kReadable;
    }
}

std::uint32_t TerminalDevice::Now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                                      static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
}

}  // namespace dungeon
