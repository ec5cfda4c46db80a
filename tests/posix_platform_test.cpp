#include "platform/posix/posix_platform.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "console/console.h"
#include "game/program.h"
#include "platform/memory/memory_platform.h"
#include "tests/vt_screen.h"

namespace dungeon {
namespace {

using namespace std::chrono_literals;

// Keypad back to normal and the cursor shown: sent only when the terminal is given back.
constexpr const char* kLeaveMark = "\x1b>\x1b[?25h";

// How long a test waits for something the code under test is to do. Generous, because
// the machine may be busy; a test that passes never waits this long.
constexpr auto kWaitLimit = 10s;

// Polls `done` until it holds or the wait limit has passed.
template <typename Condition>
bool WaitUntil(Condition done) {
    auto deadline = std::chrono::steady_clock::now() + kWaitLimit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// Terminal bytes with the control characters spelled out, for failure messages.
std::string Printable(const std::string& bytes) {
    std::string text;
    for (char c : bytes) {
        auto byte = static_cast<unsigned char>(c);
        if (byte == 0x1b) {
            text += "\\e";
        } else if (byte < 0x20 || byte >= 0x7f) {
            static constexpr char kHex[] = "0123456789abcdef";
            text += "\\x";
            text += kHex[byte >> 4];
            text += kHex[byte & 15];
        } else {
            text += c;
        }
    }
    return text;
}

// A pseudo-terminal with a terminal emulator's side played by the test: it answers the
// platform's start-up queries (or stays silent) and collects everything sent to it.
class FakeTerminal {
  public:
    enum class Answers { kNone, kLegacy, kKitty };

    explicit FakeTerminal(Answers answers, int width = 100, int height = 30) : answers_(answers) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
            return;
        }
        slaveName_ = ptsname(master_);
        Resize(width, height);
        // Held open so the terminal stays alive between the platform's opens.
        slave_ = open(slaveName_.c_str(), O_RDWR | O_NOCTTY);
        reader_ = std::thread([this] { Serve(); });
    }
    ~FakeTerminal() {
        stop_ = true;
        if (reader_.joinable()) {
            reader_.join();
        }
        HangUp();
        if (slave_ >= 0) {
            close(slave_);
        }
    }

    bool Ok() const { return master_ >= 0 && slave_ >= 0; }
    const char* Path() const { return slaveName_.c_str(); }
    void Resize(int width, int height) {
        winsize size{};
        size.ws_col = static_cast<unsigned short>(width);
        size.ws_row = static_cast<unsigned short>(height);
        ioctl(master_, TIOCSWINSZ, &size);
    }
    void Type(const std::string& bytes) {
        ssize_t written = write(master_, bytes.data(), bytes.size());
        EXPECT_EQ(written, static_cast<ssize_t>(bytes.size()));
    }
    std::string Received() {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }
    // Waits until the terminal side has sent `count` answers to queries. Keys typed
    // afterwards reach the platform behind those answers, as on a real terminal.
    bool WaitForAnswers(int count) {
        return WaitUntil([&] { return answersSent_.load() >= count; });
    }
    // Waits until `text` has been received, starting at offset `from` of all received bytes.
    bool WaitFor(const std::string& text, std::size_t from = 0) {
        return WaitUntil([&] { return Received().find(text, from) != std::string::npos; });
    }
    termios Modes() const {
        termios modes{};
        tcgetattr(slave_, &modes);
        return modes;
    }
    void HangUp() {
        if (master_ >= 0) {
            close(master_);
            master_ = -1;
        }
    }

  private:
    void Serve() {
        while (!stop_) {
            pollfd fd{master_, POLLIN, 0};
            if (poll(&fd, 1, 20) <= 0 || (fd.revents & POLLIN) == 0) {
                continue;
            }
            char bytes[4096];
            ssize_t count = read(master_, bytes, sizeof(bytes));
            if (count <= 0) {
                continue;
            }
            std::string answer;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                std::size_t before = received_.size();
                received_.append(bytes, static_cast<std::size_t>(count));
                auto arrived = [&](const std::string& text) {
                    std::size_t at = received_.find(text, before > 16 ? before - 16 : 0);
                    return at != std::string::npos && at + text.size() > before;
                };
                if (arrived("\x1b[?u\x1b[c")) {
                    if (answers_ == Answers::kKitty) {
                        answer = "\x1b[?0u\x1b[?62;22c";
                    } else if (answers_ == Answers::kLegacy) {
                        answer = "\x1b[?62;22c";
                    }
                }
                if (arrived("\x1b[>31u\x1b[?u")) {
                    answer += "\x1b[?31u";
                }
            }
            if (!answer.empty()) {
                Type(answer);
                ++answersSent_;
            }
        }
    }

    Answers answers_;
    int master_ = -1;
    int slave_ = -1;
    std::string slaveName_;
    std::thread reader_;
    std::atomic<bool> stop_{false};
    std::atomic<int> answersSent_{0};
    std::mutex mutex_;
    std::string received_;
};

bool SameModes(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::equal(std::begin(a.c_cc), std::end(a.c_cc), b.c_cc);
}

std::vector<KeyEvent> Drain(PosixPlatform& platform) {
    std::vector<KeyEvent> events;
    InputEvent event;
    while (platform.ReadEvent(event)) {
        events.push_back(event.key);
    }
    return events;
}

bool HandlerIsDefault(int signal) {
    struct sigaction action {};
    sigaction(signal, nullptr, &action);
    return action.sa_handler == SIG_DFL;
}

TEST(PosixPlatformTest, OpenTakesTheTerminalAndCloseGivesItBackExactly) {
    FakeTerminal terminal(FakeTerminal::Answers::kLegacy, 100, 30);
    ASSERT_TRUE(terminal.Ok());
    termios before = terminal.Modes();
    bool termWasDefault = HandlerIsDefault(SIGTERM);

    PosixPlatform platform(terminal.Path());
    ASSERT_EQ(platform.Open(), OpenResult::kOk);
    EXPECT_FALSE(platform.KittyProtocol());
    termios raw = terminal.Modes();
    EXPECT_EQ(raw.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(raw.c_iflag & (IXON | ICRNL), 0u);
    EXPECT_EQ(raw.c_oflag & OPOST, 0u);

    ScreenBufferInfo info;
    ASSERT_TRUE(platform.GetScreenBufferInfo(info));
    EXPECT_EQ(info.width, 100);
    EXPECT_EQ(info.height, 30);
    EXPECT_EQ(info.cursorX, 1);
    EXPECT_EQ(info.cursorY, 1);
    EXPECT_EQ(info.attribute, 7);

    // The game draws; the terminal shows it once presented.
    platform.WriteCell(5, 3, Cell{'H', 7});
    platform.WriteCell(6, 3, Cell{2, 7});
    CursorInfo cursor;
    platform.GetCursorInfo(cursor);
    cursor.visible = false;
    platform.SetCursorInfo(cursor);
    platform.Present();
    ASSERT_TRUE(terminal.WaitFor("\x1b[?2026l"));

    platform.Close();
    platform.Close();  // a second close changes nothing
    ASSERT_TRUE(terminal.WaitFor(kLeaveMark));
    EXPECT_TRUE(SameModes(terminal.Modes(), before));
    EXPECT_EQ(HandlerIsDefault(SIGTERM), termWasDefault);

    std::string sent = terminal.Received();
    testing::VtScreen screen(100, 30);
    screen.Feed(sent);
    EXPECT_EQ(screen.Clears(), 1);
    EXPECT_EQ(screen.Glyph(5, 3), "H");
    EXPECT_EQ(screen.Glyph(6, 3), "\u263b");
    EXPECT_EQ(screen.Unknown(), 0);
    // Restored: cursor shown, keypad back to normal, the prompt below the picture.
    EXPECT_TRUE(screen.CursorVisible());
    EXPECT_FALSE(screen.KeypadApplication());
    EXPECT_EQ(screen.CursorY(), 4);
    EXPECT_EQ(screen.CursorX(), 1);
}

TEST(PosixPlatformTest, FailuresLeaveEverythingAsItWas) {
    bool termWasDefault = HandlerIsDefault(SIGTERM);
    PosixPlatform missing("/nonexistent/terminal");
    EXPECT_EQ(missing.Open(), OpenResult::kNoConsoleHandle);
    PosixPlatform notATerminal("/dev/null");
    EXPECT_EQ(notATerminal.Open(), OpenResult::kNoScreenBufferInfo);
    EXPECT_EQ(HandlerIsDefault(SIGTERM), termWasDefault);
    ScreenBufferInfo info;
    EXPECT_FALSE(notATerminal.GetScreenBufferInfo(info));
    EXPECT_FALSE(notATerminal.WaitForInput());
    notATerminal.Close();
}

TEST(PosixPlatformTest, KeysArriveAsPcKeyEventsAndALoneEscapeAfterTheTimeout) {
    FakeTerminal terminal(FakeTerminal::Answers::kNone);
    ASSERT_TRUE(terminal.Ok());
    PosixPlatform platform(terminal.Path());
    ASSERT_EQ(platform.Open(), OpenResult::kOk);  // no answer: the legacy keyboard

    terminal.Type("6\x1b[1;5D");
    while (platform.PendingEventCount() < 4) {
        ASSERT_TRUE(platform.WaitForInput());
    }
    std::vector<KeyEvent> events = Drain(platform);
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0], (KeyEvent{true, '6', 7, '6', 0}));
    EXPECT_EQ(events[1], (KeyEvent{false, '6', 7, '6', 0}));
    EXPECT_EQ(events[2], (KeyEvent{true, 37, 75, 0, kEnhancedKey | kLeftCtrl}));

    terminal.Type("\x1b");
    ASSERT_TRUE(platform.WaitForInput());
    events = Drain(platform);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].virtualKey, 27);

    // The terminal goes away: no key will ever come again.
    terminal.HangUp();
    EXPECT_FALSE(platform.WaitForInput());
    EXPECT_FALSE(platform.WaitForInput());
    platform.Close();
}

TEST(PosixPlatformTest, KittyProtocolIsSwitchedOnAndOff) {
    FakeTerminal terminal(FakeTerminal::Answers::kKitty);
    ASSERT_TRUE(terminal.Ok());
    PosixPlatform platform(terminal.Path());
    ASSERT_EQ(platform.Open(), OpenResult::kOk);
    EXPECT_TRUE(platform.KittyProtocol());
    ASSERT_TRUE(terminal.WaitFor("\x1b[>31u"));
    ASSERT_TRUE(terminal.WaitForAnswers(2));  // the flags in force are reported back

    // Alt held, keypad 6 and 5, Alt released, then Shift: the console types "A".
    Console console;
    ASSERT_TRUE(console.Start(platform));
    terminal.Type(
        "\x1b[57443;3u\x1b[57405;3u\x1b[57405;3:3u\x1b[57404;3u\x1b[57404;3:3u"
        "\x1b[57443;1:3u\x1b[57441;2u");
    EXPECT_EQ(console.GetKey(), 'A');
    console.Finish();
    EXPECT_TRUE(terminal.WaitFor("\x1b[<u"));
    testing::VtScreen screen(100, 30);
    screen.Feed(terminal.Received());
    EXPECT_EQ(screen.KittyDepth(), 0);
}

TEST(PosixPlatformTest, ResizeRepaintsButKeepsTheSize) {
    FakeTerminal terminal(FakeTerminal::Answers::kLegacy, 80, 25);
    ASSERT_TRUE(terminal.Ok());
    PosixPlatform platform(terminal.Path());
    ASSERT_EQ(platform.Open(), OpenResult::kOk);
    platform.WriteCell(70, 20, Cell{'X', 7});
    platform.WriteCell(2, 2, Cell{'Y', 7});
    platform.Present();
    ASSERT_TRUE(terminal.WaitFor("Y"));

    terminal.Resize(40, 10);
    raise(SIGWINCH);  // the test's terminal is not the controlling one: tell it by hand
    terminal.Type("6");
    ASSERT_TRUE(platform.WaitForInput());
    ScreenBufferInfo info;
    ASSERT_TRUE(platform.GetScreenBufferInfo(info));
    EXPECT_EQ(info.width, 80);
    EXPECT_EQ(info.height, 25);
    platform.Close();
    ASSERT_TRUE(terminal.WaitFor(kLeaveMark));

    // After the repaint the smaller terminal shows what fits and nothing garbled.
    std::string sent = terminal.Received();
    std::size_t repaint = sent.rfind("\x1b[2J");
    ASSERT_NE(repaint, std::string::npos);
    std::size_t frameEnd = sent.find("\x1b[?2026l", repaint);
    ASSERT_NE(frameEnd, std::string::npos);
    testing::VtScreen screen(40, 10);
    screen.Feed(sent.substr(repaint, frameEnd - repaint));
    EXPECT_EQ(screen.Glyph(2, 2), "Y");
    EXPECT_EQ(screen.Scrolls(), 0);
    EXPECT_EQ(screen.Unknown(), 0);
    // At the end the prompt goes to a new line below the bottom row.
    screen.Feed(sent.substr(frameEnd));
    EXPECT_EQ(screen.Scrolls(), 1);
    EXPECT_EQ(screen.CursorY(), 10);
}

TEST(PosixPlatformTest, ScreenBufferBehavesLikeTheInMemoryConsole) {
    FakeTerminal terminal(FakeTerminal::Answers::kLegacy, 30, 12);
    ASSERT_TRUE(terminal.Ok());
    PosixPlatform platform(terminal.Path());
    ASSERT_EQ(platform.Open(), OpenResult::kOk);
    MemoryPlatform memory(30, 12);
    std::mt19937 random(7);
    auto coordinate = [&](int limit) {
        return static_cast<int>(random() % static_cast<unsigned>(limit + 8)) - 3;
    };
    for (int step = 0; step < 2000; ++step) {
        if (random() % 2 == 0) {
            Cell cell{static_cast<std::uint8_t>('a' + random() % 26), 7};
            int x = coordinate(30);
            int y = coordinate(12);
            platform.WriteCell(x, y, cell);
            memory.WriteCell(x, y, cell);
        } else {
            Rect source{coordinate(30), coordinate(12), coordinate(30), coordinate(12)};
            Rect clip{coordinate(30), coordinate(12), coordinate(30), coordinate(12)};
            int destX = coordinate(30);
            int destY = random() % 5 == 0 ? -100 : coordinate(12);
            Cell fill{static_cast<std::uint8_t>('0' + random() % 10), 7};
            platform.ScrollRect(source, clip, destX, destY, fill);
            memory.ScrollRect(source, clip, destX, destY, fill);
        }
        for (int y = 1; y <= 12; ++y) {
            for (int x = 1; x <= 30; ++x) {
                ASSERT_EQ(platform.At(x, y), memory.At(x, y)) << "step " << step;
            }
        }
    }
    platform.Close();
}

// Runs `child` in a forked process on the terminal and returns its wait status.
template <typename Body>
int RunChild(Body child, std::chrono::milliseconds limit = 5000ms) {
    pid_t pid = fork();
    if (pid == 0) {
        child();
        _exit(0);
    }
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (waitpid(pid, &status, WNOHANG | WUNTRACED) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(5ms);
    }
    return status;
}

TEST(PosixPlatformTest, TerminatingSignalRestoresTheTerminalAndEndsWithThatSignal) {
    FakeTerminal terminal(FakeTerminal::Answers::kNone, 80, 25);
    ASSERT_TRUE(terminal.Ok());
    termios before = terminal.Modes();
    std::string path = terminal.Path();
    int status = RunChild([&] {
        PosixPlatform platform(path.c_str());
        if (platform.Open() != OpenResult::kOk) {
            _exit(2);
        }
        platform.WriteCell(1, 21, Cell{'W', 7});
        platform.Present();
        raise(SIGTERM);
        _exit(3);
    });
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    EXPECT_TRUE(SameModes(terminal.Modes(), before));
    ASSERT_TRUE(terminal.WaitFor(kLeaveMark));
    testing::VtScreen screen(80, 25);
    screen.Feed(terminal.Received());
    EXPECT_EQ(screen.Glyph(1, 21), "W");
    EXPECT_EQ(screen.CursorY(), 22);
    EXPECT_FALSE(screen.KeypadApplication());
}

// A system whose wait reports the terminal's descriptor as invalid, as macOS's poll() does
// for a terminal: select() fails with EBADF.
class PlatformWithInvalidWait : public PosixPlatform {
  public:
    using PosixPlatform::PosixPlatform;

  protected:
    int Select(int, fd_set*, timeval*) override {
        errno = EBADF;
        return -1;
    }
};

TEST(PosixPlatformTest, WaitsThatCannotWatchTheTerminalEndTheRunCleanly) {
    FakeTerminal terminal(FakeTerminal::Answers::kNone, 80, 25);
    ASSERT_TRUE(terminal.Ok());
    termios before = terminal.Modes();
    std::string path = terminal.Path();

    // The start-up queries go unanswered, the first drawing stands, and the first wait for
    // a key ends the game as a lost keyboard does: status 1, the terminal given back.
    int status = RunChild([&] {
        PlatformWithInvalidWait platform(path.c_str());
        _exit(RunProgram(platform));
    });
    ASSERT_NE(status, -1) << "the game went on waiting";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "status " << status;
    EXPECT_TRUE(SameModes(terminal.Modes(), before));
    ASSERT_TRUE(terminal.WaitFor(kLeaveMark))
        << "the terminal was not given back; received: " << Printable(terminal.Received());
    testing::VtScreen screen(80, 25);
    screen.Feed(terminal.Received());
    EXPECT_EQ(screen.Row(1).substr(0, 40), std::string(40, 'W'));
    EXPECT_TRUE(screen.CursorVisible());
    EXPECT_EQ(screen.CursorY(), 22);

    // Descriptors beyond select()'s reach: opening fails and changes nothing.
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < FD_SETSIZE + 16) {
        GTEST_SKIP() << "the descriptor limit does not reach past FD_SETSIZE";
    }
    status = RunChild([&] {
        limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? FD_SETSIZE + 16 : limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        int filler = open("/dev/null", O_RDONLY);
        for (int fd = 0; fd < FD_SETSIZE; ++fd) {
            if (fcntl(fd, F_GETFD) == -1 && dup2(filler, fd) != fd) {
                _exit(5);
            }
        }
        PosixPlatform platform(path.c_str());
        _exit(platform.Open() == OpenResult::kNoConsoleHandle && HandlerIsDefault(SIGTERM) ? 0 : 6);
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_TRUE(SameModes(terminal.Modes(), before));
}

// A forked child of a test. If the test ends before the child has, the child is killed,
// so that no stopped or waiting process outlives its test.
class ChildProcess {
  public:
    explicit ChildProcess(pid_t pid) : pid_(pid) {}
    ~ChildProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return pid_; }
    // Waits until the child has ended, or also stopped with WUNTRACED in `options`; false if
    // neither happened within the wait limit.
    bool Wait(int& status, int options = 0) {
        bool changed = WaitUntil([&] {
            pid_t result = waitpid(pid_, &status, WNOHANG | options);
            return result == pid_ || (result < 0 && errno != EINTR);
        });
        if (changed && (WIFEXITED(status) || WIFSIGNALED(status))) {
            pid_ = -1;
        }
        return changed;
    }

  private:
    pid_t pid_;
};

TEST(PosixPlatformTest, StopRestoresTheTerminalAndContinueTakesItBack) {
    FakeTerminal terminal(FakeTerminal::Answers::kNone, 80, 25);
    ASSERT_TRUE(terminal.Ok());
    termios before = terminal.Modes();
    std::string path = terminal.Path();
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);  // a process group of its own, so that a stop is not discarded
        PosixPlatform platform(path.c_str());
        if (platform.Open() != OpenResult::kOk) {
            _exit(2);
        }
        platform.WriteCell(3, 3, Cell{'Z', 7});
        platform.Present();
        raise(SIGTSTP);
        // Continued: the picture is painted anew while waiting for a key.
        bool gotKey = platform.WaitForInput();
        platform.Close();
        _exit(gotKey ? 0 : 4);
    }
    ChildProcess child(pid);
    int status = 0;
    ASSERT_TRUE(child.Wait(status, WUNTRACED)) << "the child neither stopped nor ended";
    ASSERT_TRUE(WIFSTOPPED(status)) << "the child ended instead of stopping: status " << status;
    EXPECT_TRUE(SameModes(terminal.Modes(), before));
    // What the child wrote before it stopped ends with the leave bytes: once they are in,
    // all of it is, and whatever comes later was written after continuing.
    ASSERT_TRUE(terminal.WaitFor(kLeaveMark))
        << "the terminal was not given back before the stop; received: "
        << Printable(terminal.Received());
    std::size_t stoppedAt = terminal.Received().size();

    kill(pid, SIGCONT);
    ASSERT_TRUE(terminal.WaitFor("\x1b[2J", stoppedAt))
        << "no repaint after continuing; received since the stop: "
        << Printable(terminal.Received().substr(stoppedAt));
    EXPECT_EQ(terminal.Modes().c_lflag & ICANON, 0u) << "repainted without raw mode";
    terminal.Type("6");
    ASSERT_TRUE(child.Wait(status)) << "the key did not end the child's wait";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_TRUE(terminal.WaitFor(kLeaveMark, stoppedAt))
        << "the terminal was not given back at the end; received since the stop: "
        << Printable(terminal.Received().substr(stoppedAt));
    EXPECT_TRUE(SameModes(terminal.Modes(), before));
}

}  // namespace
}  // namespace dungeon
