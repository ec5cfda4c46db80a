#pragma once

#include <termios.h>

#include <csignal>
#include <string_view>

namespace dungeon::posix {

// What gives a terminal back when the program cannot: handlers of the signals that end the
// program (restored, then the signal takes its course, so the parent sees the real cause), of
// a stop (restored before, taken again after), of a resize or continue (a notice). They read
// what was written before they were installed, or a volatile sig_atomic_t; their writes are
// bounded, so a terminal that reads nothing cannot hold the program. One terminal at a time.

struct RestoreTarget {
    int fd = -1;  // the terminal
    termios original{};
    termios raw{};
    // Raw, but a read returns at once: what a notice leaves, so that a waiting read ends.
    termios wake{};
};

// Installs the handlers for `target`; they restore it once ActivateRestore has been called.
void InstallRestore(const RestoreTarget& newTarget);
void ActivateRestore();
// Puts back the handlers found; from then on no handler touches the terminal.
void RemoveRestore();
// The signals that end the program, open while the program waits for a slow terminal.
sigset_t MaskWithEndingSignalsOpen();
// Whether a handler restores the terminal now (it is in use by us).
bool RestoreInstalled();

// What the handlers send: see ByteChannel::SetRestoreBytes. Longer texts are cut.
void SetRestoreBytes(std::string_view leave, std::string_view enter, std::string_view resume);

// Whether a resize or continue came since the last look; it is taken. The terminal is in the
// `wake` modes until the program puts it back into raw mode.
bool TakeNotice();
bool NoticePending();  // the same, without taking it

// Blocks the handled signals while a handler could see the terminal half given back or
// half taken. Crash signals stay open: blocked, a crash ends the process without handler.
class SignalBlock {
  public:
    SignalBlock();
    ~SignalBlock();
    SignalBlock(const SignalBlock&) = delete;
    SignalBlock& operator=(const SignalBlock&) = delete;

    // The mask as it was before: what a wait lets in while it waits.
    const sigset_t& Previous() const { return previous_; }

  private:
    sigset_t previous_;
};

}  // namespace dungeon::posix
