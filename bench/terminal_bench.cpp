// What the POSIX terminal platform costs: bytes per frame, CPU while waiting for a key,
// the time from a key to the end of the frame it causes, and the speed of its parts.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <optional>
#include <random>
#include <span>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/whole_game.h"
#include "platform/vt/key_decoder.h"
#include "platform/vt/screen_renderer.h"

namespace {

using Clock = std::chrono::steady_clock;

// The built game on a pseudo-terminal of 80 x 25 whose other side is played here, as a
// terminal without the kitty protocol (like xterm or tmux) would, which knows synchronized
// output or not.
class GameOnTerminal {
  public:
    explicit GameOnTerminal(bool synchronizedOutput) : synchronizedOutput_(synchronizedOutput) {
        setenv("TERM", "xterm-256color", 1);
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
            return;
        }
        std::string slave = ptsname(master_);
        winsize size{};
        size.ws_col = 80;
        size.ws_row = 25;
        ioctl(master_, TIOCSWINSZ, &size);
        pid_ = fork();
        if (pid_ == 0) {
            setsid();
            int fd = open(slave.c_str(), O_RDWR);  // becomes the controlling terminal
            ioctl(fd, TIOCSCTTY, 0);
            dup2(fd, 0);
            dup2(fd, 1);
            dup2(fd, 2);
            execl(DUNGEON_EXECUTABLE, DUNGEON_EXECUTABLE, static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~GameOnTerminal() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            Read(100);
            waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0) {
            close(master_);
        }
    }
    bool Ok() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }

    // Reads what arrives within `quietMs` of the last byte; answers the start-up queries.
    std::string Read(int quietMs) {
        std::string got;
        for (;;) {
            pollfd fd{master_, POLLIN, 0};
            if (poll(&fd, 1, quietMs) <= 0) {
                return got;
            }
            char bytes[8192];
            ssize_t n = read(master_, bytes, sizeof(bytes));
            if (n <= 0) {
                return got;
            }
            got.append(bytes, static_cast<std::size_t>(n));
            if (got.find("\x1b[c") != std::string::npos && !answered_) {
                answered_ = true;
                Type(synchronizedOutput_ ? "\x1b[?2026;2$y\x1b[?62;22c" : "\x1b[?62;22c");
            }
        }
    }
    // Sends a key; returns the bytes of the frame it causes and the time until its last
    // byte arrived (a frame is over once 20 ms pass without a byte), -1 if none came.
    std::string Turn(char key, double& milliseconds) {
        Clock::time_point start = Clock::now();
        Type(std::string(1, key));
        std::string got;
        milliseconds = -1;
        for (int wait = 500;; wait = 20) {
            pollfd fd{master_, POLLIN, 0};
            if (poll(&fd, 1, wait) <= 0) {
                return got;
            }
            char bytes[8192];
            ssize_t n = read(master_, bytes, sizeof(bytes));
            if (n <= 0) {
                return got;
            }
            got.append(bytes, static_cast<std::size_t>(n));
            milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        }
    }
    // User and system CPU time of the game so far, in milliseconds.
    double CpuMilliseconds() const {
        std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        std::size_t close = text.rfind(')');
        if (close == std::string::npos) {
            return -1;
        }
        std::istringstream fields(text.substr(close + 2));
        std::string field;
        long long user = 0;
        long long system = 0;
        for (int i = 3; fields >> field; ++i) {
            if (i == 14) {
                user = std::stoll(field);
            } else if (i == 15) {
                system = std::stoll(field);
                break;
            }
        }
        return static_cast<double>(user + system) * 1000.0 /
               static_cast<double>(sysconf(_SC_CLK_TCK));
    }

  private:
    void Type(const std::string& bytes) {
        ssize_t ignored = write(master_, bytes.data(), bytes.size());
        (void)ignored;
    }

    bool synchronizedOutput_;
    int master_ = -1;
    pid_t pid_ = -1;
    bool answered_ = false;
};

void BM_GameOnATerminal(benchmark::State& state) {
    for (auto _ : state) {
        GameOnTerminal game(state.range(0) == 1);
        if (!game.Ok()) {
            state.SkipWithError("no pseudo-terminal");
            return;
        }
        std::string first = game.Read(300);
        state.counters["first_frame_bytes"] = static_cast<double>(first.size());

        double cpuBefore = game.CpuMilliseconds();
        std::this_thread::sleep_for(std::chrono::seconds(5));
        state.counters["cpu_ms_in_5s_wait"] = game.CpuMilliseconds() - cpuBefore;

        // Down and up again and again: ordinary turns, each redrawing the whole map.
        std::vector<double> latencies;
        std::vector<double> bytes;
        for (int turn = 0; turn < 40; ++turn) {
            double ms = 0;
            std::string frame = game.Turn(turn % 2 == 0 ? '2' : '8', ms);
            if (ms < 0) {
                game.Turn('f', ms);  // a fight asks a question: flee and go on
                continue;
            }
            latencies.push_back(ms);
            bytes.push_back(static_cast<double>(frame.size()));
        }
        if (latencies.empty()) {
            state.SkipWithError("the game drew no turn");
            return;
        }
        std::sort(latencies.begin(), latencies.end());
        std::sort(bytes.begin(), bytes.end());
        state.counters["turn_bytes_median"] = bytes[bytes.size() / 2];
        state.counters["key_to_flush_ms_median"] = latencies[latencies.size() / 2];
        state.counters["key_to_flush_ms_max"] = latencies.back();
    }
}
BENCHMARK(BM_GameOnATerminal)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("synchronized")
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

void BM_DecodePastedText(benchmark::State& state) {
    std::string text;
    for (int i = 0; i < 1000; ++i) {
        text += "abc\x1b[1;5D\xc3\xa4";
    }
    dungeon::KeyDecoder decoder;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    for (auto _ : state) {
        // As a platform feeds it: a read's worth at a time, every event taken before the next.
        for (std::size_t at = 0; at < text.size(); at += dungeon::KeyDecoder::kMaxFeed) {
            std::size_t piece = std::min(text.size() - at, dungeon::KeyDecoder::kMaxFeed);
            decoder.Feed(std::span<const std::uint8_t>(bytes + at, piece), 0);
            while (std::optional<dungeon::TerminalEvent> event = decoder.Next()) {
                benchmark::DoNotOptimize(*event);
            }
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_DecodePastedText);

void Discard(void*, const char*, std::size_t) {}

void BM_RenderFrames(benchmark::State& state) {
    bool fullFrame = state.range(0) == 1;
    dungeon::Screen screen;
    screen.Reset(80, 25, dungeon::kDefaultAttribute);
    for (int y = 1; y <= 20; ++y) {
        for (int x = 1; x <= 40; ++x) {
            bool wall = x == 1 || x == 40 || y == 1 || y == 20;
            screen.Write(x, y, {static_cast<std::uint8_t>(wall ? 'W' : '.'), 7});
        }
    }
    screen.SetCursorVisible(false);
    dungeon::ScreenRenderer renderer;
    dungeon::OutputBuffer out(64 * 1024, &Discard, nullptr);
    renderer.Render(screen, 80, 25, out);
    screen.MarkPresented();
    out.Flush();
    std::size_t sentBefore = out.Sent();
    int hero = 0;
    for (auto _ : state) {
        if (fullFrame) {
            screen.Forget();
        } else {
            // The hero steps one cell: two cells change.
            screen.Write(3 + hero, 6, {' ', 7});
            hero = (hero + 1) % 30;
            screen.Write(3 + hero, 6, {'H', 7});
        }
        renderer.Render(screen, 80, 25, out);
        screen.MarkPresented();
        out.Flush();
    }
    state.counters["bytes_per_frame"] =
        static_cast<double>(out.Sent() - sentBefore) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_RenderFrames)->Arg(0)->Arg(1)->ArgName("full");

void Collect(void* context, const char* bytes, std::size_t count) {
    static_cast<std::string*>(context)->append(bytes, count);
}

// A whole game (always the same one), each picture sent as the terminal platform sends it,
// to a terminal that knows synchronized output or not.
void BM_WholeGame(benchmark::State& state) {
    for (auto _ : state) {
        std::string sent;
        dungeon::ScreenRenderer renderer;
        renderer.SetSynchronizedOutput(state.range(0) == 1);
        dungeon::OutputBuffer out(64 * 1024, &Collect, &sent);
        std::vector<double> frames;
        dungeon::bench::WholeGame game([&](const dungeon::Screen& screen) {
            renderer.Render(screen, screen.Width(), screen.Height(), out);
            out.Flush();
            if (!sent.empty()) {
                frames.push_back(static_cast<double>(sent.size()));
                sent.clear();
            }
        });
        game.Play();
        if (frames.empty()) {
            state.SkipWithError("the game drew nothing");
            return;
        }
        double total = 0;
        for (double bytes : frames) {
            total += bytes;
        }
        state.counters["frames"] = static_cast<double>(frames.size());
        state.counters["game_bytes"] = total;
        state.counters["first_frame_bytes"] = frames.front();
        std::vector<double> turns(frames.begin() + 1, frames.end());
        std::sort(turns.begin(), turns.end());
        state.counters["turn_bytes_median"] = turns.empty() ? 0 : turns[turns.size() / 2];
    }
}
BENCHMARK(BM_WholeGame)->Arg(0)->Arg(1)->ArgName("synchronized")->Iterations(1);

}  // namespace
