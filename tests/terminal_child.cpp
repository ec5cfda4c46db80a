// What the terminal platform's tests run in a process of its own: the test program has
// threads, so a forked child of it may only call exec, and the scene it is to play runs
// here instead. Usage: dungeon_terminal_child SCENE TERMINAL
// Exit statuses 2 and up say what went wrong before the scene could be played.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "console/platform.h"
#include "game/program.h"
#include "platform/posix/posix_platform.h"

namespace dungeon {
namespace {

constexpr const char* kType = "xterm-256color";

// A terminal device whose wait reports the descriptor as invalid, as macOS's poll() does for
// a terminal: select() fails with EBADF.
class DeviceWithInvalidWait : public TerminalDevice {
  public:
    using TerminalDevice::TerminalDevice;

  protected:
    int Select(int, fd_set*, const timespec*, const sigset_t*) override {
        errno = EBADF;
        return -1;
    }
};

// The screen the scenes draw on, as the console would own it.
Screen screen;

// Draws a mark and shows it; false when the terminal cannot be opened.
bool OpenAndDraw(PosixPlatform& platform, int x, int y, char mark) {
    if (platform.Open(screen)) {
        return false;
    }
    screen.Write(x, y, Cell{static_cast<std::uint8_t>(mark), kDefaultAttribute});
    platform.Present(screen);
    screen.MarkPresented();
    return true;
}

// Waits for a key; false when the terminal is gone.
bool WaitForKey(PosixPlatform& platform) {
    while (!platform.NextEvent()) {
        if (platform.Wait() == WaitResult::kClosed) {
            return false;
        }
    }
    return true;
}

// The built game with this terminal as its controlling one, as a shell starts it: this
// process leads the session and runs the game as its child. It writes the game's process id
// to standard output, then the game's wait status once it has ended, and itself ends only
// when its standard input ends. So the terminal outlives the game for the test: macOS takes
// every descriptor of a controlling terminal away when the session's leader exits.
int RunGameLikeAShell(const char* path) {
    setsid();
    int fd = open(path, O_RDWR);
    if (fd < 0 || ioctl(fd, TIOCSCTTY, 0) != 0) {
        return 7;
    }
    pid_t game = fork();
    if (game == 0) {
        setenv("TERM", kType, 1);
        dup2(fd, 0);
        dup2(fd, 1);
        dup2(fd, 2);
        close(fd);
        execl(DUNGEON_EXECUTABLE, DUNGEON_EXECUTABLE, static_cast<char*>(nullptr));
        _exit(8);
    }
    if (game < 0) {
        return 8;
    }
    signal(SIGPIPE, SIG_IGN);  // the test may have stopped listening
    write(STDOUT_FILENO, &game, sizeof game);
    int status = 0;
    while (waitpid(game, &status, 0) < 0) {
        if (errno != EINTR) {
            return 10;
        }
    }
    write(STDOUT_FILENO, &status, sizeof status);
    char byte = 0;
    for (ssize_t count; (count = read(STDIN_FILENO, &byte, 1)) != 0;) {
        if (count < 0 && errno != EINTR) {
            break;
        }
    }
    // macOS drains a controlling terminal's output before its session leader may exit; a
    // terminal that reads nothing would block this process's exit forever.
    tcflush(fd, TCIOFLUSH);
    return 0;
}

int Play(const char* scene, const char* path) {
    if (std::strcmp(scene, "terminate") == 0) {
        PosixPlatform platform(path, kType);
        if (!OpenAndDraw(platform, 1, 21, 'W')) {
            return 2;
        }
        raise(SIGTERM);
        return 3;
    }
    if (std::strcmp(scene, "crash") == 0) {
        rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        PosixPlatform platform(path, kType);
        if (!OpenAndDraw(platform, 1, 21, 'W')) {
            return 2;
        }
        // A real fault: a write to a page that was just unmapped. That is SIGSEGV on Linux
        // and macOS alike; macOS reports a write to a read-only page as SIGBUS instead.
        const auto pageSize = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        void* page =
            mmap(nullptr, pageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (page == MAP_FAILED || munmap(page, pageSize) != 0) {
            return 4;
        }
        *static_cast<volatile char*>(page) = 1;
        return 3;
    }
    if (std::strcmp(scene, "stop") == 0) {
        setpgid(0, 0);  // a process group of its own, so that a stop is not discarded
        PosixPlatform platform(path, kType);
        if (!OpenAndDraw(platform, 3, 3, 'Z')) {
            return 2;
        }
        raise(SIGTSTP);
        // Continued: the picture is painted anew while waiting for a key.
        bool gotKey = platform.Wait() == WaitResult::kInput;
        platform.Close();
        return gotKey ? 0 : 4;
    }
    if (std::strcmp(scene, "wait") == 0) {
        PosixPlatform platform(path, kType);
        if (!OpenAndDraw(platform, 3, 3, 'Z')) {
            return 2;
        }
        bool gotKey = WaitForKey(platform);
        platform.Close();
        return gotKey ? 0 : 4;
    }
    if (std::strcmp(scene, "invalid-wait") == 0) {
        DeviceWithInvalidWait device(path, kType);
        VtTerminal terminal(device);
        return RunProgram(terminal);
    }
    if (std::strcmp(scene, "many-descriptors") == 0) {
        // Descriptors beyond select()'s reach: opening fails and changes nothing.
        rlimit limit{};
        getrlimit(RLIMIT_NOFILE, &limit);
        limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? FD_SETSIZE + 16 : limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        int filler = open("/dev/null", O_RDONLY);
        for (int fd = 0; fd < FD_SETSIZE; ++fd) {
            if (fcntl(fd, F_GETFD) == -1 && dup2(filler, fd) != fd) {
                return 5;
            }
        }
        PosixPlatform platform(path, kType);
        struct sigaction term {};
        bool refused = platform.Open(screen) == OpenError::kNoDevice;
        sigaction(SIGTERM, nullptr, &term);
        return refused && term.sa_handler == SIG_DFL ? 0 : 6;
    }
    if (std::strcmp(scene, "game") == 0) {
        return RunGameLikeAShell(path);
    }
    return 9;
}

}  // namespace
}  // namespace dungeon

// Under AddressSanitizer the crash scene's fault must reach the platform's handler, not
// the sanitizer's: the sanitizer reads this before main.
extern "C" const char* __asan_default_options();
extern "C" const char* __asan_default_options() {
    return "handle_segv=0:handle_sigbus=0";
}

int main(int argc, char** argv) {
    if (argc != 3) {
        return 9;
    }
    return dungeon::Play(argv[1], argv[2]);
}
