// How fast the game answers a key, against the fastest answer a terminal program can give:
// a raw-mode program that echoes each byte. Each runs on a pseudo-terminal of its own; keys
// go to one and the other in turn, and the time is taken from the write of the key to the
// first byte of the answer. Usage: dungeon_latency [runs] [keys per run]
// Also the echo program itself: dungeon_latency --echo
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Reads a byte and writes it back, until the terminal goes away.
int Echo() {
    termios raw{};
    tcgetattr(STDIN_FILENO, &raw);
    cfmakeraw(&raw);
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    char byte = 0;
    while (read(STDIN_FILENO, &byte, 1) == 1) {
        if (write(STDOUT_FILENO, &byte, 1) != 1) {
            break;
        }
    }
    return 0;
}

// A program on a pseudo-terminal of 80 x 25 that is its controlling terminal.
class Program {
  public:
    explicit Program(const std::vector<const char*>& command) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
            return;
        }
        std::string slave = ptsname(master_);
        winsize size{};
        size.ws_col = 80;
        size.ws_row = 25;
        ioctl(master_, TIOCSWINSZ, &size);
        std::vector<char*> argv;
        for (const char* word : command) {
            argv.push_back(const_cast<char*>(word));
        }
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            setsid();
            int fd = open(slave.c_str(), O_RDWR);
            ioctl(fd, TIOCSCTTY, 0);
            dup2(fd, 0);
            dup2(fd, 1);
            dup2(fd, 2);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~Program() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            Drain(100);
            waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0) {
            close(master_);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Ok() const { return pid_ > 0; }

    // CPU time of the program so far, in microseconds (the scheduler's count, in ns).
    double CpuMicroseconds() const {
        std::FILE* stat = std::fopen(("/proc/" + std::to_string(pid_) + "/schedstat").c_str(), "r");
        unsigned long long nanoseconds = 0;
        if (stat != nullptr) {
            if (std::fscanf(stat, "%llu", &nanoseconds) != 1) {
                nanoseconds = 0;
            }
            std::fclose(stat);
        }
        return static_cast<double>(nanoseconds) / 1000.0;
    }

    // What arrives until `quietMs` pass without a byte. A terminal's answer goes to the
    // questions the game asks at start.
    std::string Drain(int quietMs) {
        std::string got;
        while (Readable(quietMs)) {
            char bytes[8192];
            ssize_t n = read(master_, bytes, sizeof(bytes));
            if (n <= 0) {
                break;
            }
            got.append(bytes, static_cast<std::size_t>(n));
            if (!answered_ && got.find("\x1b[c") != std::string::npos) {
                answered_ = true;
                Type("\x1b[?62;22c");
            }
        }
        return got;
    }

    // Microseconds from the write of `key` to the first byte of the answer; nullopt when
    // none comes within a second. The rest of the answer is read before this returns.
    std::optional<double> Answer(char key) {
        Clock::time_point start = Clock::now();
        Type(std::string(1, key));
        if (!Readable(1000)) {
            return std::nullopt;
        }
        double micros = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        Drain(5);
        return micros;
    }

  private:
    bool Readable(int timeoutMs) const {
        pollfd fd{master_, POLLIN, 0};
        return poll(&fd, 1, timeoutMs) > 0 && (fd.revents & POLLIN) != 0;
    }
    void Type(const std::string& bytes) const {
        ssize_t ignored = write(master_, bytes.data(), bytes.size());
        (void)ignored;
    }

    int master_ = -1;
    pid_t pid_ = -1;
    bool answered_ = false;
};

double Percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    auto at = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1));
    return values[at];
}

// One run; false when a program could not be started or answered nothing.
bool Run(const char* self, int keys) {
    setenv("TERM", "xterm-256color", 1);
    Program game({DUNGEON_EXECUTABLE});
    Program echo({self, "--echo"});
    if (!game.Ok() || !echo.Ok()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return false;
    }
    game.Drain(300);
    echo.Drain(50);
    std::vector<double> gameTimes;
    std::vector<double> echoTimes;
    const double cpuBefore = game.CpuMicroseconds();
    const double echoCpuBefore = echo.CpuMicroseconds();
    for (int i = 0; i < keys; ++i) {
        // Down and up again and again: ordinary turns, each redrawing the whole map.
        if (std::optional<double> micros = game.Answer(i % 2 == 0 ? '2' : '8')) {
            gameTimes.push_back(*micros);
        } else {
            game.Answer('f');  // a fight ignores steps and asks its question: flee
        }
        if (std::optional<double> micros = echo.Answer(i % 2 == 0 ? '2' : '8')) {
            echoTimes.push_back(*micros);
        }
    }
    if (gameTimes.empty() || echoTimes.empty()) {
        std::fprintf(stderr, "no answers\n");
        return false;
    }
    const double cpuPerKey = (game.CpuMicroseconds() - cpuBefore) / keys;
    const double echoCpuPerKey = (echo.CpuMicroseconds() - echoCpuBefore) / keys;
    double gameMedian = Percentile(gameTimes, 0.5);
    double echoMedian = Percentile(echoTimes, 0.5);
    std::printf(
        "game: median %.0f us, p90 %.0f us (%zu keys); echo: median %.0f us, p90 %.0f us "
        "(%zu keys); ratio of medians %.2f; CPU per key: game %.1f us, echo %.1f us\n",
        gameMedian, Percentile(gameTimes, 0.9), gameTimes.size(), echoMedian,
        Percentile(echoTimes, 0.9), echoTimes.size(), gameMedian / echoMedian, cpuPerKey,
        echoCpuPerKey);
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc == 2 && std::strcmp(argv[1], "--echo") == 0) {
        return Echo();
    }
    int runs = argc > 1 ? std::atoi(argv[1]) : 3;
    int keys = argc > 2 ? std::atoi(argv[2]) : 300;
    for (int run = 0; run < runs; ++run) {
        if (!Run(argv[0], keys)) {
            return 1;
        }
    }
    return 0;
}
