// Forced in front of the portability check's build of the POSIX terminal (see
// platform/posix/CMakeLists.txt). That build already hides glibc's extensions; these are the
// Linux names glibc declares even then. They are taken away after the system headers have
// made them, so that a use fails here and not first on macOS or a BSD.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>

#undef SIGPWR
#undef SIGSTKFLT
#undef SIGPOLL
#undef SIGCLD
#undef CLOCK_BOOTTIME
#undef CLOCK_BOOTTIME_ALARM
#undef CLOCK_REALTIME_ALARM
#undef CLOCK_MONOTONIC_COARSE
#undef CLOCK_REALTIME_COARSE
#undef CLOCK_TAI
#undef TCGETS
#undef TCSETS
#undef TCSETSW
#undef TCSETSF
#undef TIOCINQ
#undef IUCLC
#undef OLCUC
#undef VSWTC
