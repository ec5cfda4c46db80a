#include "platform/posix/posix_platform.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <sys/time.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <optional>
#include <span>

#include "console/system_platform.h"

namespace dungeon {
namespace {

// Larger terminals are used only up to this size.
constexpr int kMaxWidth = 512;
constexpr int kMaxHeight = 512;
constexpr std::size_t kOutputCapacity = 64 * 1024;

// Kitty keyboard protocol flags asked for: disambiguate, event types, alternate keys,
// all keys as escape codes, associated text.
constexpr const char* kKittyPush = "\x1b[>31u";
constexpr const char* kKittyPop = "\x1b[<u";
constexpr const char* kKeypadApplication = "\x1b=";
constexpr const char* kKeypadNormal = "\x1b>";
// Cancels an escape sequence a frame may have left half sent when a signal came.
constexpr const char* kCancel = "\x18";
constexpr const char* kSynchronizedOutputEnd = "\x1b[?2026l";
// On the way out the terminal gets this many chances, kRetryPauseNs apart, to take the
// restore bytes: a terminal that reads nothing must not hold the program.
constexpr int kLeaveTries = 20;
constexpr long kRetryPauseNs = 10L * 1000 * 1000;

// Signals after which the process ends: the terminal is restored first, then the signal
// takes its ordinary course, so the parent sees the real cause.
constexpr int kEndingSignals[] = {SIGTERM, SIGHUP,  SIGINT,  SIGQUIT, SIGABRT, SIGSEGV,
                                  SIGBUS,  SIGFPE,  SIGILL,  SIGSYS,  SIGTRAP, SIGALRM,
                                  SIGUSR1, SIGUSR2, SIGXCPU, SIGXFSZ};
constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};

// What the signal handlers need, kept where they can reach it without the platform:
// everything is set up before the handlers are installed and changed only while the
// signals are blocked.
struct TerminalState {
    volatile sig_atomic_t active = 0;
    int fd = -1;
    int wakeFd = -1;
    termios original{};
    termios raw{};
    bool kittyPushed = false;
    bool synchronizedOutput = false;
    // Restores the terminal's modes and puts the cursor below the picture.
    char leave[96] = {};
    std::size_t leaveLength = 0;
    struct Saved {
        int signal = 0;
        bool installed = false;
        struct sigaction action {};
    } saved[std::size(kEndingSignals) + 3];
    stack_t previousStack{};
    bool stackInstalled = false;
};

TerminalState state;
alignas(16) char alternateStack[64 * 1024];

// Waits until the terminal takes output again. The signals that end the program are let
// through meanwhile, so a terminal that reads nothing cannot hold it.
void WaitUntilWritable(int fd) {
    sigset_t open;
    pthread_sigmask(SIG_BLOCK, nullptr, &open);
    for (int signal : kEndingSignals) {
        sigdelset(&open, signal);
    }
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(fd, &writable);
    pselect(fd + 1, nullptr, &writable, nullptr, nullptr, &open);
}

// The terminal's descriptor does not block: a full terminal is waited for, with the
// ending signals deliverable.
void WriteAll(int fd, const char* bytes, std::size_t count) {
    while (count > 0) {
        ssize_t written = write(fd, bytes, count);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                WaitUntilWritable(fd);
                continue;
            }
            return;  // the terminal is gone; nothing more can be shown
        }
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
}

void WriteAll(int fd, const char* text) {
    WriteAll(fd, text, std::strlen(text));
}

// Async-signal-safe, and bounded: a terminal that takes nothing gets a few short chances.
void WriteBounded(int fd, const char* bytes, std::size_t count) {
    for (int tries = 0; count > 0 && tries < kLeaveTries; ++tries) {
        ssize_t written = write(fd, bytes, count);
        if (written > 0) {
            bytes += written;
            count -= static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
            return;  // the terminal is gone
        }
        timespec pause{0, kRetryPauseNs};
        nanosleep(&pause, nullptr);
    }
}

// Async-signal-safe and never waiting for the terminal: its modes as they were found
// (without waiting for output to drain, which a stalled terminal never does), then the
// restore bytes: the picture is left standing and the prompt goes below it.
void LeaveTerminal() {
    int savedErrno = errno;
    tcflush(state.fd, TCIFLUSH);  // keys typed at the game do not go to the shell
    tcsetattr(state.fd, TCSANOW, &state.original);
    WriteBounded(state.fd, state.leave, state.leaveLength);
    errno = savedErrno;
}

// Async-signal-safe: our modes again after a stop.
void EnterTerminal() {
    tcsetattr(state.fd, TCSANOW, &state.raw);
    WriteBounded(state.fd, kKeypadApplication, std::strlen(kKeypadApplication));
}

void Wake() {
    if (state.wakeFd >= 0) {
        char notice = 1;
        ssize_t ignored = write(state.wakeFd, &notice, 1);
        (void)ignored;  // a full pipe already holds a notice
    }
}

void OnEndingSignal(int signal) {
    if (state.active != 0) {
        state.active = 0;
        LeaveTerminal();
    }
    // The handler was reset to the default on entry; raised again, the signal ends the
    // process once this handler returns (a crash repeats its fault and does the same).
    raise(signal);
}

void OnStop(int) {
    int savedErrno = errno;
    bool wasActive = state.active != 0;
    if (wasActive) {
        LeaveTerminal();  // pops the keyboard protocol too
    }
    struct sigaction stop {};
    stop.sa_handler = SIG_DFL;
    sigemptyset(&stop.sa_mask);
    struct sigaction ours {};
    sigaction(SIGTSTP, &stop, &ours);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(SIGTSTP);  // stops here until continued
    sigprocmask(SIG_BLOCK, &set, nullptr);
    sigaction(SIGTSTP, &ours, nullptr);
    if (wasActive) {
        EnterTerminal();
        if (state.kittyPushed) {
            WriteBounded(state.fd, kKittyPush, std::strlen(kKittyPush));
        }
    }
    Wake();
    errno = savedErrno;
}

void OnContinue(int) {
    int savedErrno = errno;
    // Whoever stopped us may have changed the terminal; take it over again and repaint.
    if (state.active != 0) {
        EnterTerminal();
    }
    Wake();
    errno = savedErrno;
}

void OnResize(int) {
    int savedErrno = errno;
    Wake();
    errno = savedErrno;
}

sigset_t HandledSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kEndingSignals) {
        sigaddset(&set, signal);
    }
    sigaddset(&set, SIGTSTP);
    sigaddset(&set, SIGCONT);
    sigaddset(&set, SIGWINCH);
    return set;
}

// Blocks the handled signals for its lifetime, so a frame or a state change is never
// cut in half by a handler that writes to the terminal. Crash signals stay open: a
// blocked crash would end the process without its handler.
class SignalBlock {
  public:
    SignalBlock() {
        sigset_t set = HandledSignals();
        for (int crash : kCrashSignals) {
            sigdelset(&set, crash);
        }
        pthread_sigmask(SIG_BLOCK, &set, &previous_);
    }
    ~SignalBlock() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    SignalBlock(const SignalBlock&) = delete;
    SignalBlock& operator=(const SignalBlock&) = delete;

  private:
    sigset_t previous_;
};

bool IsCrashSignal(int signal) {
    for (int crash : kCrashSignals) {
        if (crash == signal) {
            return true;
        }
    }
    return false;
}

void InstallHandlers() {
    sigset_t all = HandledSignals();
    std::size_t slot = 0;
    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof(alternateStack);
    stack.ss_flags = 0;
    state.stackInstalled = sigaltstack(&stack, &state.previousStack) == 0;
    auto install = [&](int signal, void (*handler)(int), int flags) {
        TerminalState::Saved& saved = state.saved[slot++];
        saved.signal = signal;
        saved.installed = false;
        if (sigaction(signal, nullptr, &saved.action) != 0) {
            return;
        }
        // A signal someone chose to ignore (nohup, a background job) stays ignored, and
        // a handler installed by someone else (a sanitizer) stays in charge.
        bool isDefault =
            (saved.action.sa_flags & SA_SIGINFO) == 0 && saved.action.sa_handler == SIG_DFL;
        if (!isDefault) {
            return;
        }
        struct sigaction action {};
        action.sa_handler = handler;
        action.sa_mask = all;
        action.sa_flags = flags;
        saved.installed = sigaction(signal, &action, nullptr) == 0;
    };
    for (int signal : kEndingSignals) {
        // SA_RESETHAND is an unsigned constant on Linux; sa_flags is an int.
        int flags = static_cast<int>(SA_RESETHAND);
        if (IsCrashSignal(signal)) {
            flags |= SA_ONSTACK;
        }
        install(signal, OnEndingSignal, flags);
    }
    install(SIGTSTP, OnStop, SA_RESTART);
    install(SIGCONT, OnContinue, SA_RESTART);
    install(SIGWINCH, OnResize, SA_RESTART);
}

void RestoreHandlers() {
    for (TerminalState::Saved& saved : state.saved) {
        if (saved.installed) {
            sigaction(saved.signal, &saved.action, nullptr);
            saved.installed = false;
        }
    }
    if (state.stackInstalled) {
        sigaltstack(&state.previousStack, nullptr);
        state.stackInstalled = false;
    }
}

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

// The terminal is watched with select(), not poll(): macOS's poll() does not support
// devices and reports a terminal as an invalid descriptor. select() works on every
// system, but only on descriptors below FD_SETSIZE.
bool Selectable(int fd) {
    return fd >= 0 && fd < FD_SETSIZE;
}

// Close-on-exec and non-blocking, set in the way every system knows (no pipe2()).
bool MakeWakePipeEnd(int fd) {
    int flags = fcntl(fd, F_GETFL);
    return fcntl(fd, F_SETFD, FD_CLOEXEC) == 0 && flags != -1 &&
           fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// Milliseconds left until `deadline`, from CLOCK_MONOTONIC.
int MillisecondsUntil(const timespec& deadline) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    long long left = (static_cast<long long>(deadline.tv_sec) - now.tv_sec) * 1000 +
                     (deadline.tv_nsec - now.tv_nsec) / 1000000;
    return left < 0 ? 0 : static_cast<int>(left);
}

// Appending to the fixed buffer of the leave bytes.
std::size_t AppendText(char* buffer, std::size_t size, std::size_t capacity, const char* text) {
    while (*text != '\0' && size < capacity) {
        buffer[size++] = *text++;
    }
    return size;
}

std::size_t AppendNumber(char* buffer, std::size_t size, std::size_t capacity, int value) {
    char digits[12];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0);
    while (n > 0 && size < capacity) {
        buffer[size++] = digits[--n];
    }
    return size;
}

}  // namespace

Platform& SystemPlatform() {
    static PosixPlatform platform;
    return platform;
}

PosixPlatform::PosixPlatform(const char* terminalPath, const char* terminalType)
    : path_(terminalPath),
      type_(terminalType),
      output_(kOutputCapacity, &PosixPlatform::WriteToTerminal, this) {}

PosixPlatform::~PosixPlatform() {
    if (open_) {
        // The program ends without closing the console: what it drew still goes out.
        Present();
        Close();
    }
}

void PosixPlatform::WriteToTerminal(void* context, const char* bytes, std::size_t count) {
    auto* platform = static_cast<PosixPlatform*>(context);
    WriteAll(platform->fd_, bytes, count);
}

OpenResult PosixPlatform::Open() {
    if (open_) {
        return OpenResult::kOk;
    }
    if (state.fd >= 0) {
        return OpenResult::kNoConsoleHandle;  // another instance holds the terminal
    }
    // A terminal without cursor addressing (an editor's shell buffer, a plain line) would
    // show the escape sequences as text: refuse it before anything is changed.
    const char* type = type_ != nullptr ? type_ : std::getenv("TERM");
    if (type == nullptr || type[0] == '\0' || std::strcmp(type, "dumb") == 0) {
        return OpenResult::kNoScreenBufferInfo;
    }
    int fd = open(path_, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return OpenResult::kNoConsoleHandle;
    }
    if (!Selectable(fd)) {
        close(fd);
        return OpenResult::kNoConsoleHandle;
    }
    termios original{};
    winsize size{};
    if (isatty(fd) == 0 || tcgetattr(fd, &original) != 0 || ioctl(fd, TIOCGWINSZ, &size) != 0) {
        close(fd);
        return OpenResult::kNoScreenBufferInfo;
    }
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        close(fd);
        return OpenResult::kNoScreenBufferInfo;
    }
    // Neither the wake-up pipe (written by signal handlers) nor the terminal may ever
    // block: a handler must not hang, and the game waits only where it chooses to.
    int terminalFlags = fcntl(fd, F_GETFL);
    if (!Selectable(pipeFds[0]) || !MakeWakePipeEnd(pipeFds[0]) || !MakeWakePipeEnd(pipeFds[1]) ||
        terminalFlags == -1 || fcntl(fd, F_SETFL, terminalFlags | O_NONBLOCK) != 0) {
        close(fd);
        close(pipeFds[0]);
        close(pipeFds[1]);
        return OpenResult::kNoScreenBufferInfo;
    }

    fd_ = fd;
    wakeRead_ = pipeFds[0];
    wakeWrite_ = pipeFds[1];
    // A terminal that reports no size is taken as the PC's 80 x 25.
    width_ = size.ws_col > 0 ? (size.ws_col < kMaxWidth ? size.ws_col : kMaxWidth) : 80;
    height_ = size.ws_row > 0 ? (size.ws_row < kMaxHeight ? size.ws_row : kMaxHeight) : 25;
    terminalWidth_ = width_;
    terminalHeight_ = height_;
    grid_.Reset(width_, height_, Cell{' ', 7});
    renderer_.Resize(width_, height_);
    cursorX_ = 1;
    cursorY_ = 1;
    cursor_ = CursorInfo{};
    areaBottom_ = 0;
    inputGone_ = false;
    kittyPushed_ = false;
    synchronizedOutput_ = false;
    renderer_.SetSynchronizedOutput(false);
    changed_ = true;
    decoder_.Reset();
    eventHead_ = 0;
    eventCount_ = 0;
    kittyReplies_ = 0;
    deviceAttributeReplies_ = 0;
    synchronizedOutputMode_ = 0;

    {
        SignalBlock block;
        state.fd = fd_;
        state.wakeFd = wakeWrite_;
        state.original = original;
        state.raw = RawMode(original);
        state.kittyPushed = false;
        state.synchronizedOutput = false;
        UpdateLeaveBytes();
        InstallHandlers();
        if (tcsetattr(fd_, TCSANOW, &state.raw) != 0) {
            Release();
            return OpenResult::kNoScreenBufferInfo;
        }
        state.active = 1;
    }
    open_ = true;
    AskTerminal();
    WriteAll(fd_, kKeypadApplication);
    Present();  // the first frame clears the terminal (and whatever a query left on it)
    return OpenResult::kOk;
}

void PosixPlatform::AskTerminal() {
    // The kitty protocol's flags and the state of synchronized output, then the primary
    // device attributes, which every terminal answers: an answer to one of the first two
    // before that one means the terminal knows it.
    WriteAll(fd_, "\x1b[?u\x1b[?2026$p\x1b[c");
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_nsec += static_cast<long>(kQueryTimeoutMs) * 1000000L;
    deadline.tv_sec += deadline.tv_nsec / 1000000000L;
    deadline.tv_nsec %= 1000000000L;
    while (deviceAttributeReplies_ == 0) {
        int left = MillisecondsUntil(deadline);
        if (left == 0) {
            break;
        }
        bool terminalReady = false;
        bool unused = false;
        int ready = WaitReadable(left, false, terminalReady, unused);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (!terminalReady) {
            break;  // no answer in time, or the terminal cannot be watched
        }
        ReadTerminal();
        if (inputGone_) {
            break;
        }
    }
    bool synchronizedOutput = synchronizedOutputMode_ == 1 || synchronizedOutputMode_ == 2;
    if (synchronizedOutput && deviceAttributeReplies_ > 0) {
        SignalBlock block;
        synchronizedOutput_ = true;
        renderer_.SetSynchronizedOutput(true);
        state.synchronizedOutput = true;
        UpdateLeaveBytes();
    }
    if (kittyReplies_ > 0 && deviceAttributeReplies_ > 0) {
        SignalBlock block;
        // Asking again tells the decoder when the new flags are in force.
        WriteAll(fd_, kKittyPush);
        WriteAll(fd_, "\x1b[?u");
        kittyPushed_ = true;
        state.kittyPushed = true;
        UpdateLeaveBytes();
    }
}

void PosixPlatform::Close() {
    if (!open_) {
        return;
    }
    {
        SignalBlock block;
        if (state.active != 0) {
            // Not in a handler: a slow terminal is waited for, so that it gets the restore
            // bytes whole. A signal that ends the program meanwhile still gets through, and
            // its handler restores once more, in the bounded way.
            tcflush(fd_, TCIFLUSH);
            tcsetattr(fd_, TCSANOW, &state.original);
            WriteAll(fd_, state.leave, state.leaveLength);
            state.active = 0;
        }
        Release();
    }
    open_ = false;
}

// Called with the signals blocked: the handlers go before the descriptors they use.
void PosixPlatform::Release() {
    RestoreHandlers();
    state.fd = -1;
    state.wakeFd = -1;
    close(fd_);
    close(wakeRead_);
    close(wakeWrite_);
    fd_ = wakeRead_ = wakeWrite_ = -1;
}

void PosixPlatform::UpdateLeaveBytes() {
    constexpr std::size_t kCapacity = sizeof(state.leave);
    std::size_t n = 0;
    n = AppendText(state.leave, n, kCapacity, kCancel);
    if (state.synchronizedOutput) {
        n = AppendText(state.leave, n, kCapacity, kSynchronizedOutputEnd);
    }
    n = AppendText(state.leave, n, kCapacity, "\x1b[m");
    if (state.kittyPushed) {
        n = AppendText(state.leave, n, kCapacity, kKittyPop);
    }
    n = AppendText(state.leave, n, kCapacity, kKeypadNormal);
    n = AppendText(state.leave, n, kCapacity, "\x1b[?25h");
    if (areaBottom_ > 0) {
        // The prompt starts on the line below the picture, never on top of it.
        int row = areaBottom_ < terminalHeight_ ? areaBottom_ : terminalHeight_;
        n = AppendText(state.leave, n, kCapacity, "\x1b[");
        n = AppendNumber(state.leave, n, kCapacity, row);
        n = AppendText(state.leave, n, kCapacity, "H\r\n");
    }
    state.leaveLength = n;
}

bool PosixPlatform::GetScreenBufferInfo(ScreenBufferInfo& info) {
    if (!open_) {
        return false;
    }
    info.width = width_;
    info.height = height_;
    info.cursorX = cursorX_;
    info.cursorY = cursorY_;
    info.attribute = 7;
    return true;
}

void PosixPlatform::ScrollRect(const Rect& source, const Rect& clip, int destX, int destY,
                               Cell fill) {
    if (!open_) {
        return;
    }
    areaBottom_ = std::max(areaBottom_, grid_.Scroll(source, clip, destX, destY, fill));
    changed_ = true;
}

void PosixPlatform::WriteCell(int x, int y, Cell cell) {
    if (!open_ || !grid_.Inside(x, y)) {
        return;
    }
    grid_.Write(x, y, cell);
    areaBottom_ = std::max(areaBottom_, y);
    changed_ = true;
}

void PosixPlatform::SetCursorPosition(int x, int y) {
    if (grid_.Inside(x, y) && (x != cursorX_ || y != cursorY_)) {
        cursorX_ = x;
        cursorY_ = y;
        changed_ = true;
    }
}

bool PosixPlatform::GetCursorInfo(CursorInfo& info) {
    info = cursor_;
    return open_;
}

void PosixPlatform::SetCursorInfo(const CursorInfo& info) {
    changed_ = changed_ || info.visible != cursor_.visible;
    cursor_ = info;
}

int PosixPlatform::PendingEventCount() {
    if (open_) {
        // Looking for keys: the picture goes out if it changed, and whatever the terminal
        // has sent so far is taken in, without waiting for more.
        Present();
        TakeNotices();
        if (!inputGone_) {
            ReadTerminal();
        }
        decoder_.Advance(TickCount());  // nothing more came in time: a lone Escape
        TakeDecoded();
    }
    return eventCount_;
}

bool PosixPlatform::ReadEvent(InputEvent& event) {
    if (eventCount_ == 0) {
        return false;
    }
    event = events_[eventHead_];
    eventHead_ = (eventHead_ + 1) % kEventCapacity;
    --eventCount_;
    return true;
}

void PosixPlatform::TakeDecoded() {
    while (std::optional<TerminalEvent> event = decoder_.Next()) {
        switch (event->kind) {
            case TerminalEvent::Kind::kKey:
                if (eventCount_ < kEventCapacity) {
                    events_[(eventHead_ + eventCount_) % kEventCapacity] =
                        InputEvent{InputEvent::Kind::kKey, event->key};
                    ++eventCount_;
                }
                break;
            case TerminalEvent::Kind::kKittyFlags:
                ++kittyReplies_;
                break;
            case TerminalEvent::Kind::kDeviceAttributes:
                ++deviceAttributeReplies_;
                break;
            case TerminalEvent::Kind::kSynchronizedOutput:
                synchronizedOutputMode_ = event->value;
                break;
        }
    }
}

void PosixPlatform::ReadTerminal() {
    std::uint8_t bytes[4096];
    ssize_t count = read(fd_, bytes, sizeof(bytes));
    if (count > 0) {
        std::uint32_t now = TickCount();
        std::span<const std::uint8_t> left(bytes, static_cast<std::size_t>(count));
        while (!left.empty()) {
            std::size_t piece = std::min(left.size(), KeyDecoder::kMaxFeed);
            decoder_.Feed(left.first(piece), now);
            TakeDecoded();
            left = left.subspan(piece);
        }
    } else if (count == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
        inputGone_ = true;  // end of file or hang-up: no key will ever come
    }
}

void PosixPlatform::TakeNotices() {
    char notices[64];
    bool any = false;
    while (read(wakeRead_, notices, sizeof(notices)) > 0) {
        any = true;
    }
    if (!any) {
        return;
    }
    // Resized or continued: the terminal's picture is not what it was; draw it anew.
    ReadTerminalSize();
    renderer_.Invalidate();
    changed_ = true;
    Present();
}

void PosixPlatform::ReadTerminalSize() {
    winsize size{};
    if (ioctl(fd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0) {
        terminalWidth_ = size.ws_col;
        terminalHeight_ = size.ws_row;
    }
}

int PosixPlatform::Select(int count, fd_set* readable, timeval* timeout) {
    return select(count, readable, nullptr, nullptr, timeout);
}

int PosixPlatform::WaitReadable(int timeoutMs, bool notices, bool& terminalReady,
                                bool& noticeReady) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(fd_, &readable);
    if (notices) {
        FD_SET(wakeRead_, &readable);
    }
    timeval timeout{};
    timeout.tv_sec = static_cast<time_t>(timeoutMs / 1000);
    timeout.tv_usec = static_cast<suseconds_t>(timeoutMs % 1000 * 1000);
    int ready = Select(std::max(fd_, wakeRead_) + 1, &readable, timeoutMs < 0 ? nullptr : &timeout);
    terminalReady = ready > 0 && FD_ISSET(fd_, &readable);
    noticeReady = ready > 0 && notices && FD_ISSET(wakeRead_, &readable);
    return ready;
}

bool PosixPlatform::WaitForInput() {
    if (!open_ || inputGone_) {
        return false;
    }
    int before = eventCount_;
    for (;;) {
        bool terminalReady = false;
        bool noticeReady = false;
        int timeout = -1;
        if (std::optional<std::uint32_t> deadline = decoder_.Deadline()) {
            auto left = static_cast<std::int32_t>(*deadline - TickCount());
            timeout = left > 0 ? left : 0;
        }
        int ready = WaitReadable(timeout, true, terminalReady, noticeReady);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            // The terminal's descriptor is reported invalid, or the wait itself failed:
            // no key can be waited for any more.
            inputGone_ = true;
            return false;
        }
        if (ready == 0) {
            // Nothing more came: a lone Escape, or a broken sequence.
            decoder_.Advance(TickCount());
            TakeDecoded();
        }
        if (noticeReady) {
            TakeNotices();
        }
        if (terminalReady) {
            ReadTerminal();  // a hang-up shows as readable, then as the end of the input
        }
        if (eventCount_ != before) {
            return true;
        }
        if (inputGone_) {
            return false;
        }
    }
}

std::uint32_t PosixPlatform::TickCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
              static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

void PosixPlatform::Present() {
    if (!open_ || !changed_) {
        return;
    }
    changed_ = false;
    SignalBlock block;
    renderer_.Render(grid_.Data(), terminalWidth_, terminalHeight_, cursorX_, cursorY_,
                     cursor_.visible, output_);
    output_.Flush();
    UpdateLeaveBytes();
}

Cell PosixPlatform::At(int x, int y) const {
    return grid_.At(x, y);
}

}  // namespace dungeon
