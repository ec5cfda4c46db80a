#pragma once

#include <termios.h>

#include <csignal>
#include <string_view>

namespace dungeon::posix {

// What gives a terminal back when the program cannot: handlers of the signals that end the
// program (restored, then the signal takes its course, so the parent sees the real cause), of
// a stop (restored before, taken again after), and of a resize or continue (remembered, for the
// program to draw the picture anew). The handlers read what was written before they were
// installed, lock-free atomics, and the one of two sets of restore bytes that an atomic index
// names: the program fills the other set, then names it. Their writes are bounded, so a
// terminal that reads nothing cannot stop the program. One terminal at a time.

struct RestoreTarget {
    int fd = -1;  // the terminal
    termios original{};
    termios raw{};
};

// Installs the handlers for `target`, which is in raw mode.
void InstallRestore(const RestoreTarget& newTarget);
// Puts back the handlers found; from then on no handler touches the terminal.
void RemoveRestore();
// The signals that end the program, let in while the program waits for a slow terminal.
sigset_t MaskWithEndingSignalsOpen();
// Whether the handlers are installed (a terminal is in use).
bool RestoreInstalled();

// What the handlers send: `leave` gives the terminal back, `enter` takes it again after a
// stop, and `resume` follows then. Longer texts are cut.
void SetRestoreBytes(std::string_view leave, std::string_view enter, std::string_view resume);

// Whether a resize or continue came since the last call.
bool TakeResizeOrResume();
bool ResizedOrResumed();  // the same, leaving it to be taken

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
