// How fast the game answers a key, against the fastest answer a terminal program can give:
// a raw-mode program that echoes each byte. Each runs on a pseudo-terminal of its own; keys
// go to one and the other in turn, and the time is taken from the write of the key to the
// first byte of the answer. Usage: dungeon_latency [runs] [keys per run]
// Two builds of the game against each other, the same way:
//   dungeon_latency --compare FIRST SECOND [runs] [keys per run]
// A number of turns played on a command, e.g. a game under callgrind:
//   dungeon_latency --play KEYS COMMAND [ARGUMENTS...]
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

// The key the i-th turn types: down and up again and again, ordinary turns that each
// redraw the whole map.
char StepKey(int i) {
    return i % 2 == 0 ? '2' : '8';
}

// One key to a game: its answer time, or nullopt when a fight ignored the step and asked
// its question instead, which is then answered with flee.
std::optional<double> Turn(Program& game, int i) {
    std::optional<double> micros = game.Answer(StepKey(i));
    if (!micros) {
        game.Answer('f');
    }
    return micros;
}

struct Times {
    std::vector<double> answers;
    double cpuBefore = 0;
};

void Report(const char* name, const Times& times, const Program& program, int keys) {
    std::printf("%s: median %.0f us, p90 %.0f us (%zu keys), CPU per key %.1f us; ", name,
                Percentile(times.answers, 0.5), Percentile(times.answers, 0.9),
                times.answers.size(), (program.CpuMicroseconds() - times.cpuBefore) / keys);
}

// One run of the game against the echo, or of two builds of the game against each other,
// the keys going to one and the next in turn; false when a program could not be started
// or answered nothing.
bool Run(const char* self, const char* first, const char* second, int keys) {
    setenv("TERM", "xterm-256color", 1);
    const bool againstEcho = second == nullptr;
    Program a({first});
    Program b = againstEcho ? Program({self, "--echo"}) : Program({second});
    if (!a.Ok() || !b.Ok()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return false;
    }
    a.Drain(300);
    b.Drain(againstEcho ? 50 : 300);
    Times timesA{{}, a.CpuMicroseconds()};
    Times timesB{{}, b.CpuMicroseconds()};
    for (int i = 0; i < keys; ++i) {
        if (std::optional<double> micros = Turn(a, i)) {
            timesA.answers.push_back(*micros);
        }
        std::optional<double> micros = againstEcho ? b.Answer(StepKey(i)) : Turn(b, i);
        if (micros) {
            timesB.answers.push_back(*micros);
        }
    }
    if (timesA.answers.empty() || timesB.answers.empty()) {
        std::fprintf(stderr, "no answers\n");
        return false;
    }
    Report(againstEcho ? "game" : "first", timesA, a, keys);
    Report(againstEcho ? "echo" : "second", timesB, b, keys);
    std::printf("ratio of medians, first / second: %.2f\n",
                Percentile(timesA.answers, 0.5) / Percentile(timesB.answers, 0.5));
    return true;
}

// Plays `keys` turns on `command` and quits with "s": for counting the instructions of a
// number of turns under a tool such as callgrind, which starts slowly.
int Play(int keys, const std::vector<const char*>& command) {
    setenv("TERM", "xterm-256color", 1);
    Program game(command);
    if (!game.Ok()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    game.Drain(3000);
    for (int i = 0; i < keys; ++i) {
        Turn(game, i);
    }
    game.Answer('s');
    game.Drain(3000);
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc == 2 && std::strcmp(argv[1], "--echo") == 0) {
        return Echo();
    }
    if (argc >= 4 && std::strcmp(argv[1], "--play") == 0) {
        return Play(std::atoi(argv[2]), std::vector<const char*>(argv + 3, argv + argc));
    }
    const char* first = DUNGEON_EXECUTABLE;
    const char* second = nullptr;
    int at = 1;
    if (argc >= 4 && std::strcmp(argv[1], "--compare") == 0) {
        first = argv[2];
        second = argv[3];
        at = 4;
    }
    int runs = argc > at ? std::atoi(argv[at]) : 3;
    int keys = argc > at + 1 ? std::atoi(argv[at + 1]) : 300;
    for (int run = 0; run < runs; ++run) {
        if (!Run(argv[0], first, second, keys)) {
            return 1;
        }
    }
    return 0;
}
