#include "platform/posix/signal_restore.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <ctime>
#include <iterator>

namespace dungeon::posix {
namespace {

// Faults: their handlers run on the alternate stack, and they are never blocked (a blocked
// fault ends the process without its handler).
constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
// The other signals after which the process ends.
constexpr int kEndingSignals[] = {SIGTERM, SIGHUP,  SIGINT,  SIGQUIT, SIGABRT, SIGSYS,
                                  SIGTRAP, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU, SIGXFSZ};
// The signals after which the program goes on: a stop, a continue, a resize.
constexpr int kStopContinueResizeSignals[] = {SIGTSTP, SIGCONT, SIGWINCH};
constexpr int kHandlerTries = 20;
constexpr long kRetryPauseNs = 10L * 1000 * 1000;

struct RestoreBytes {
    char leave[128] = {};
    std::size_t leaveLength = 0;
    char enter[32] = {};
    std::size_t enterLength = 0;
    char resume[32] = {};
    std::size_t resumeLength = 0;
};

struct SavedHandler {
    int signal = 0;
    bool installed = false;
    struct sigaction action {};
};

// Written before the handlers are installed: the target and the saved handlers.
RestoreTarget target;
SavedHandler saved[std::size(kCrashSignals) + std::size(kEndingSignals) +
                   std::size(kStopContinueResizeSignals)];
stack_t previousStack{};
bool stackInstalled = false;
alignas(16) char alternateStack[64 * 1024];

// What the handlers and the program share while the handlers are installed. Lock-free
// atomics, so that a handler may read and write them whenever it interrupts the program.
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);
RestoreBytes restoreBytes[2];
std::atomic<int> currentBytes{0};  // the set the handlers send
std::atomic<bool> active{false};   // the terminal is ours: the handlers give it back
std::atomic<bool> resizedOrResumed{false};

// Async-signal-safe; a terminal that takes nothing gets kHandlerTries tries, kRetryPauseNs apart.
void WriteBounded(const char* bytes, std::size_t count) {
    for (int tries = 0; count > 0 && tries < kHandlerTries; ++tries) {
        ssize_t written = write(target.fd, bytes, count);
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

const RestoreBytes& Current() {
    return restoreBytes[currentBytes.load(std::memory_order_acquire)];
}

// The modes as found, not waiting for output to drain (a stalled terminal never does it),
// then the leave bytes.
void LeaveTerminal() {
    int savedErrno = errno;
    tcflush(target.fd, TCIFLUSH);  // keys typed at the game do not go to the shell
    tcsetattr(target.fd, TCSANOW, &target.original);
    WriteBounded(Current().leave, Current().leaveLength);
    errno = savedErrno;
}

void EnterTerminal() {
    tcsetattr(target.fd, TCSANOW, &target.raw);
    WriteBounded(Current().enter, Current().enterLength);
}

void OnEndingSignal(int signal) {
    if (active.exchange(false)) {
        LeaveTerminal();
    }
    // Reset to the default on entry, the signal raised again ends the process once this
    // returns (a crash repeats its fault and does the same).
    raise(signal);
}

void OnStop(int) {
    int savedErrno = errno;
    const bool wasActive = active.load();
    if (wasActive) {
        LeaveTerminal();
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
        WriteBounded(Current().resume, Current().resumeLength);
    }
    resizedOrResumed.store(true);
    errno = savedErrno;
}

// A continue or a resize: the picture is drawn anew.
void OnResizeOrContinue(int signal) {
    int savedErrno = errno;
    // Whoever stopped us may have changed the terminal; take it over again.
    if (signal == SIGCONT && active.load()) {
        EnterTerminal();
    }
    resizedOrResumed.store(true);
    errno = savedErrno;
}

// The signals a handler blocks, and a SignalBlock: all but the faults.
sigset_t BlockedSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kEndingSignals) {
        sigaddset(&set, signal);
    }
    for (int signal : kStopContinueResizeSignals) {
        sigaddset(&set, signal);
    }
    return set;
}

void Install(std::size_t slot, int signal, void (*handler)(int), int flags) {
    SavedHandler& entry = saved[slot];
    entry.signal = signal;
    entry.installed = false;
    // A signal someone chose to ignore (nohup, a background job) stays ignored, and a
    // handler installed by someone else (a sanitizer) stays in charge.
    if (sigaction(signal, nullptr, &entry.action) != 0 ||
        (entry.action.sa_flags & SA_SIGINFO) != 0 || entry.action.sa_handler != SIG_DFL) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_mask = BlockedSignals();
    action.sa_flags = flags;
    entry.installed = sigaction(signal, &action, nullptr) == 0;
}

}  // namespace

SignalBlock::SignalBlock() {
    sigset_t set = BlockedSignals();
    pthread_sigmask(SIG_BLOCK, &set, &previous_);
}

SignalBlock::~SignalBlock() {
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void InstallRestore(const RestoreTarget& newTarget) {
    target = newTarget;
    SetRestoreBytes({}, {}, {});  // none of an earlier terminal's, until the program sets them
    resizedOrResumed.store(false);
    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof(alternateStack);
    stackInstalled = sigaltstack(&stack, &previousStack) == 0;
    std::size_t slot = 0;
    // SA_RESETHAND is an unsigned constant on Linux; sa_flags is an int.
    const auto once = static_cast<int>(SA_RESETHAND);
    for (int signal : kCrashSignals) {
        Install(slot++, signal, OnEndingSignal, once | SA_ONSTACK);
    }
    for (int signal : kEndingSignals) {
        Install(slot++, signal, OnEndingSignal, once);
    }
    Install(slot++, SIGTSTP, OnStop, SA_RESTART);
    Install(slot++, SIGCONT, OnResizeOrContinue, SA_RESTART);
    Install(slot, SIGWINCH, OnResizeOrContinue, SA_RESTART);
    active.store(true);
}

void RemoveRestore() {
    active.store(false);
    for (SavedHandler& entry : saved) {
        if (entry.installed) {
            sigaction(entry.signal, &entry.action, nullptr);
            entry.installed = false;
        }
    }
    if (stackInstalled) {
        sigaltstack(&previousStack, nullptr);
        stackInstalled = false;
    }
    target = RestoreTarget{};
}

sigset_t MaskWithEndingSignalsOpen() {
    sigset_t mask;
    pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    for (int signal : kEndingSignals) {
        sigdelset(&mask, signal);
    }
    return mask;
}

bool RestoreInstalled() {
    return target.fd >= 0;
}

void SetRestoreBytes(std::string_view leave, std::string_view enter, std::string_view resume) {
    // The set not in use is filled, then named: a handler always finds a whole set.
    const int next = 1 - currentBytes.load(std::memory_order_relaxed);
    RestoreBytes& bytes = restoreBytes[next];
    bytes.leaveLength = leave.copy(bytes.leave, sizeof(bytes.leave));
    bytes.enterLength = enter.copy(bytes.enter, sizeof(bytes.enter));
    bytes.resumeLength = resume.copy(bytes.resume, sizeof(bytes.resume));
    currentBytes.store(next, std::memory_order_release);
}

bool ResizedOrResumed() {
    return resizedOrResumed.load();
}

bool TakeResizeOrResume() {
    return resizedOrResumed.exchange(false);
}

}  // namespace dungeon::posix
