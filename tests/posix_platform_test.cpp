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
#include <cstdio>
#include <cstdlib>
#include <future>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "console/console.h"
#include "console/cp437.h"
#include "test_support/vt_screen.h"
#include "tests/wait_until.h"

namespace dungeon {
namespace {

using namespace std::chrono_literals;

// Keypad back to normal and the cursor shown: sent only when the terminal is given back.
constexpr const char* kLeaveMark = "\x1b>\x1b[?25h";
// The first byte of what is sent when the terminal is given back.
constexpr char kLeaveStart = '\x18';
// The terminal type the tests' platforms are told; TERM itself may be anything, or unset.
constexpr const char* kType = "xterm-256color";

// How long a test waits for something the code under test is to do. Generous, because
// the machine may be busy; a test that passes never waits this long.
constexpr auto kWaitLimit = 10s;

// Polls `done` until it holds or the wait limit has passed.
template <typename Condition>
bool WaitUntil(Condition done) {
    return test_support::WaitUntil(done, kWaitLimit, 5ms);
}

// Runs a call that blocks (a wait of the platform) on a thread of its own. Should it not
// return within the wait limit, the test program ends at once as failed instead of
// hanging until ctest gives up on it.
template <typename Call>
auto WithinLimit(Call call) {
    auto result = std::async(std::launch::async, call);
    if (result.wait_for(kWaitLimit) != std::future_status::ready) {
        std::fprintf(stderr, "FAILED: a wait of the platform did not end\n");
        std::_Exit(1);
    }
    return result.get();
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
// platform's start-up queries (or stays silent) and collects everything sent to it. One
// that reads nothing at all stands for a stalled terminal (a frozen connection, Ctrl+S).
class FakeTerminal {
  public:
    enum class Answers { kNone, kLegacy, kKitty, kSynchronizedOutput, kReadsNothing };

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
    // The terminal's own side, for a test that plays a shell on it.
    int SlaveForTest() const { return slave_; }
    void HangUp() {
        if (master_ >= 0) {
            close(master_);
            master_ = -1;
        }
    }

  private:
    void Serve() {
        while (!stop_ && answers_ != Answers::kReadsNothing) {
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
                if (arrived("\x1b[?u\x1b[?2026$p\x1b[c")) {
                    if (answers_ == Answers::kKitty) {
                        answer = "\x1b[?0u\x1b[?2026;0$y\x1b[?62;22c";
                    } else if (answers_ == Answers::kSynchronizedOutput) {
                        answer = "\x1b[?2026;2$y\x1b[?62;22c";
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

// The key events received so far, once there are at least `count` of them.
std::vector<KeyEvent> TakeEvents(PosixPlatform& platform, std::size_t count) {
    std::vector<KeyEvent> events;
    WaitUntil([&] {
        while (std::optional<InputEvent> event = platform.NextEvent()) {
            events.push_back(event->key);
        }
        return events.size() >= count;
    });
    return events;
}

bool HandlerIsDefault(int signal) {
    struct sigaction action {};
    sigaction(signal, nullptr, &action);
    return action.sa_handler == SIG_DFL;
}

// The picture a terminal shows after `bytes`, cell for cell the program's cells (as code
// page 437 glyphs) within `columns` x `rows`; a message names the first difference.
template <typename CellAt>
std::string DifferenceFrom(const testing::VtScreen& screen, int columns, int rows, CellAt at) {
    for (int y = 1; y <= rows; ++y) {
        for (int x = 1; x <= columns; ++x) {
            std::string expected(Cp437Glyph(at(x, y).character));
            if (screen.Glyph(x, y) != expected) {
                return "at " + std::to_string(x) + "," + std::to_string(y) +
                       " the terminal shows '" + std::string(screen.Glyph(x, y)) + "', not '" +
                       expected + "'";
            }
        }
    }
    return "";
}

TEST(PosixPlatformTest, OpenTakesTheTerminalAndCloseGivesItBackExactly) {
    FakeTerminal terminal(FakeTerminal::Answers::kLegacy, 100, 30);
    ASSERT_TRUE(terminal.Ok());
    termios before = terminal.Modes();
    bool termWasDefault = HandlerIsDefault(SIGTERM);

    PosixPlatform platform(terminal.Path(), kType);
    Screen screen;
    ASSERT_EQ(platform.Open(screen), std::nullopt);
    termios raw = terminal.Modes();
    EXPECT_EQ(raw.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(raw.c_iflag & (IXON | ICRNL), 0u);
    EXPECT_EQ(raw.c_oflag & OPOST, 0u);

    EXPECT_EQ(screen.Width(), 100);
    EXPECT_EQ(screen.Height(), 30);
    EXPECT_EQ(screen.CursorX(), 1);
    EXPECT_EQ(screen.CursorY(), 1);
    EXPECT_EQ(screen.Attribute(), 7);

    // The game draws; the terminal shows it once presented.
    screen.Write(5, 3, Cell{'H', 7});
    screen.Write(6, 3, Cell{2, 7});
    screen.SetCursorVisible(false);
    ASSERT_TRUE(platform.Present(screen));
    screen.MarkPresented();
    ASSERT_TRUE(terminal.WaitFor("\u263b"));

    platform.Close();
    platform.Close();  // a second close changes nothing
    ASSERT_TRUE(terminal.WaitFor(kLeaveMark));
    EXPECT_TRUE(SameModes(terminal.Modes(), before));
    EXPECT_EQ(HandlerIsDefault(SIGTERM), termWasDefault);

    std::string sent = terminal.Received();
    // A terminal that did not say it knows synchronized output or the kitty keyboard
    // protocol never sees their marks.
    EXPECT_EQ(sent.find("\x1b[?2026h"), std::string::npos) << Printable(sent);
    EXPECT_EQ(sent.find("\x1b[>31u"), std::string::npos) << Printable(sent);
    testing::VtScreen shown(100, 30, testing::VtScreen::Mode::kWholeSession);
    shown.Feed(sent);
    EXPECT_EQ(shown.Clears(), 1);
    EXPECT_EQ(shown.Glyph(5, 3), "H");
    EXPECT_EQ(shown.Glyph(6, 3), "\u263b");
    EXPECT_EQ(shown.Problem(), "");
    // Restored: cursor shown, keypad back to normal, the prompt below the picture.
    EXPECT_TRUE(shown.CursorVisible());
    EXPECT_FALSE(shown.KeypadApplication());
    EXPECT_EQ(shown.CursorY(), 4);
    EXPECT_EQ(shown.CursorX(), 1);
}

TEST(PosixPlatformTest, FailuresLeaveEverythingAsItWas) {
    bool termWasDefault = HandlerIsDefault(SIGTERM);
    Screen screen;
    PosixPlatform missing("/nonexistent/terminal", kType);
    EXPECT_EQ(missing.Open(screen), OpenError::kNoDevice);
    PosixPlatform notATerminal("/dev/null", kType);
    EXPECT_EQ(notATerminal.Open(screen), OpenError::kNotAConsole);
    EXPECT_EQ(HandlerIsDefault(SIGTERM), termWasDefault);
    EXPECT_EQ(notATerminal.Wait(), WaitResult::kClosed);
    EXPECT_EQ(notATerminal.NextEvent(), std::nullopt);
    notATerminal.Close();

    // A terminal type without cursor addressing is refused before anything is sent or
    // changed: the escape sequences would stand on it as text.
    FakeTerminal terminal(FakeTerminal::Answers::kLegacy, 80, 25);
    ASSERT_TRUE(terminal.Ok());
    termios before = terminal.Modes();
    for (const char* type : {"dumb", ""}) {
        PosixPlatform dumb(terminal.Path(), type);
        EXPECT_EQ(dumb.Open(screen), OpenError::kNoCursorAddressing) << "TERM=" << type;
        dumb.Close();
    }
    PosixPlatform xterm(terminal.Path(), "xterm");
    ASSERT_EQ(xterm.Open(screen), std::nullopt);  // every other type is taken as xterm's kin
    ASSERT_TRUE(terminal.WaitFor("\x1b[2J"));
    EXPECT_EQ(terminal.Received().rfind("\x1b[?u", 0), 0u)
        << "sent before the usable terminal: " << Printable(terminal.Received());
    xterm.Close();
    EXPECT_TRUE(SameModes(terminal.Modes(), before));
    EXPECT_EQ(HandlerIsDefault(SIGTERM), termWasDefault);
}

TEST(PosixPlatformTest, KeysArriveAsPcKeyEventsAndALoneEscapeAfterTheTimeout) {
    FakeTerminal terminal(FakeTerminal::Answers::kNone);
    ASSERT_TRUE(terminal.Ok());
    PosixPlatform platform(terminal.Path(), kType);
    Screen screen;
    ASSERT_EQ(platform.Open(screen), std::nullopt);  // no answer: the legacy keyboard

    // Asking for an event takes in what has arrived, without waiting for more.
    terminal.Type("6\x1b[1;5D");
    std::vector<KeyEvent> events = TakeEvents(platform, 4);
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0], (KeyEvent{true, '6', 7, '6', 0}));
    EXPECT_EQ(events[1], (KeyEvent{false, '6', 7, '6', 0}));
    EXPECT_EQ(events[2], (KeyEvent{true, 37, 75, 0, kEnhancedKey | kLeftCtrl}));

    // A lone Escape counts once nothing has followed it for a while, waited for or not.
    terminal.Type("\x1b");
    events = TakeEvents(platform, 2);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].virtualKey, 27);
    terminal.Type("\x1b");
    ASSERT_EQ(WithinLimit([&] { return platform.Wait(); }), WaitResult::kInput);
    events = TakeEvents(platform, 2);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].virtualKey, 27);

    // The terminal goes away: no key will ever come again, and no wait waits.
    terminal.HangUp();
    EXPECT_EQ(WithinLimit([&] { return platform.Wait(); }), WaitResult::kClosed);
    EXPECT_EQ(WithinLimit([&] { return platform.Wait(); }), WaitResult::kClosed);
    platform.Close();
}

TEST(PosixPlatformTest, LookingForKeysReadsTheTerminalAndShowsWhatChanged) {
    FakeTerminal terminal(FakeTerminal::Answers::kLegacy, 80, 25);
    ASSERT_TRUE(terminal.Ok());
    PosixPlatform platform(terminal.Path(), kType);
    Console console;
    ASSERT_TRUE(console.Start(platform));

    // Keys typed at the terminal are seen by KeyWaiting alone, as the pane's steps ask.
    terminal.Type("ab");
    ASSERT_TRUE(WaitUntil([&] { return console.KeyWaiting(); })) << "KeyWaiting never saw a key";
    EXPECT_EQ(WithinLimit([&] { return console.GetKey(); }), 'a');

    // Text goes out when the layer looks for keys, not only when it blocks for one.
    console.MoveCursor(10, 5);
    console.WriteText("Hallo");
    console.KeyWaiting();
    ASSERT_TRUE(terminal.WaitFor("Hallo")) << Printable(terminal.Received());
    EXPECT_EQ(WithinLimit([&] { return console.GetKey(); }), 'b');
    // Looking again and again sends nothing while nothing changes: what follows the text is
    // the one next character written, and nothing before it.
    std::size_t sent = terminal.Received().size();
    for (int i = 0; i < 1000; ++i) {
        console.KeyWaiting();
    }
    console.WriteText("!");
    console.KeyWaiting();
    ASSERT_TRUE(terminal.WaitFor("!", sent));
    EXPECT_EQ(terminal.Received().substr(sent), "!") << Printable(terminal.Received().substr(sent));
    console.Finish();
}

TEST(PosixPlatformTest, KittyProtocolIsSwitchedOnAndOff) {
    FakeTerminal terminal(FakeTerminal::Answers::kKitty);
    ASSERT_TRUE(terminal.Ok());
    PosixPlatform platform(terminal.Path(), kType);
    Console console;
    ASSERT_TRUE(console.Start(platform));
    ASSERT_TRUE(terminal.WaitFor("\x1b[>31u"));
    ASSERT_TRUE(terminal.WaitForAnswers(2));  // the flags in force are reported back

    // Alt held, keypad 6 and 5, Alt released, then Shift: the console types "A".
    terminal.Type(
        "\x1b[57443;3u\x1b[57405;3u\x1b[57405;3:3u\x1b[57404;3u\x1b[57404;3:3u"
        "\x1b[57443;1:3u\x1b[57441;2u");
    ASSERT_TRUE(WaitUntil([&] { return console.KeyWaiting(); }));
    EXPECT_EQ(WithinLimit([&] { return console.GetKey(); }), 'A');
    console.Finish();
    EXPECT_TRUE(terminal.WaitFor("\x1b[<u"));
    // Answered that mode 2026 is not known: no synchronized output.
    EXPECT_EQ(terminal.Received().find("\x1b[?2026h"), std::string::npos);
    testing::VtScreen screen(100, 30, testing::VtScreen::Mode::kWholeSession);
    screen.Feed(terminal.Received());
    EXPECT_EQ(screen.KittyDepth(), 0);
}

TEST(PosixPlatformTest, SynchronizedOutputOnlyWhereTheTerminalKnowsIt) {
    FakeTerminal terminal(FakeTerminal::Answers::kSynchronizedOutput, 80, 25);
    ASSERT_TRUE(terminal.Ok());
    PosixPlatform platform(terminal.Path(), kType);
    Screen screen;
    ASSERT_EQ(platform.Open(screen), std::nullopt);
    // The first frame draws the whole screen: marked. A step of the hero is not.
    ASSERT_TRUE(terminal.WaitFor("\x1b[?2026h\x1b[m\x1b[H\x1b[2J\x1b[?25h\x1b[?2026l"))
        << Printable(terminal.Received());
    std::size_t start = terminal.Received().size();
    screen.Write(7, 7, Cell{'H', 7});
    ASSERT_TRUE(platform.Present(screen));
    screen.MarkPresented();
    ASSERT_TRUE(terminal.WaitFor("HH\x1b[H", start));
    EXPECT_EQ(terminal.Received().substr(start), "\x1b[7;7HH\x1b[H");

    // Given back mid-frame (here: at the end), the terminal is told to show again.
    platform.Close();
    ASSERT_TRUE(terminal.WaitFor(kLeaveMark));
    EXPECT_EQ(terminal.Received().find("\x1b[>31u"), std::string::npos);  // no kitty answer
    std::string leave = terminal.Received().substr(terminal.Received().rfind(kLeaveStart));
    EXPECT_EQ(leave.rfind("\x18\x1b[?2026l", 0), 0u) << Printable(leave);
    testing::VtScreen shown(80, 25, testing::VtScreen::Mode::kWholeSession);
    shown.Feed("\x1b[?2026h\x1b[3");  // a frame cut off in a sequence...
    shown.Feed(leave);                // ...is cancelled and ended by the leave bytes
    EXPECT_FALSE(shown.Synchronized());
    EXPECT_EQ(shown.Problem(), "");
    EXPECT_TRUE(shown.CursorVisible());
}

TEST(PosixPlatformTest, ResizeRepaintsTheWholePictureButKeepsTheSize) {
    FakeTerminal terminal(FakeTerminal::Answers::kLegacy, 80, 25);
    ASSERT_TRUE(terminal.Ok());
    PosixPlatform platform(terminal.Path(), kType);
    Screen screen;
    ASSERT_EQ(platform.Open(screen), std::nullopt);
    std::mt19937 random(3);
    for (int y = 1; y <= 25; ++y) {
        for (int x = 1; x <= 80; ++x) {
            screen.Write(x, y, Cell{static_cast<std::uint8_t>('a' + random() % 26), 7});
        }
    }
    ASSERT_TRUE(platform.Present(screen));
    screen.MarkPresented();
    ASSERT_TRUE(WaitUntil([&] { return terminal.Received().size() > 2000; }));

    terminal.Resize(40, 10);
    raise(SIGWINCH);  // the test's terminal is not the controlling one: tell it by hand
    terminal.Type("6");
    ASSERT_EQ(TakeEvents(platform, 2).size(), 2u);
    EXPECT_EQ(screen.Width(), 80);
    EXPECT_EQ(screen.Height(), 25);
    platform.Close();
    ASSERT_TRUE(terminal.WaitFor(kLeaveMark));

    // After the repaint the smaller terminal shows every cell that fits, nothing garbled.
    std::string sent = terminal.Received();
    std::size_t repaint = sent.rfind("\x1b[2J");
    ASSERT_NE(repaint, std::string::npos);
    std::size_t leave = sent.find(kLeaveStart, repaint);
    ASSERT_NE(leave, std::string::npos);
    testing::VtScreen shown(40, 10, testing::VtScreen::Mode::kWholeSession);
    shown.Feed(sent.substr(repaint, leave - repaint));
    EXPECT_EQ(DifferenceFrom(shown, 40, 10, [&](int x, int y) { return screen.At(x, y); }), "");
    EXPECT_EQ(shown.Scrolls(), 0);
    EXPECT_EQ(shown.Problem(), "");
    // At the end the prompt goes to a new line below the bottom row.
    shown.Feed(sent.substr(leave));
    EXPECT_EQ(shown.Scrolls(), 1);
    EXPECT_EQ(shown.CursorY(), 10);
}

// What the terminal shows, decoded from the bytes really sent, is what the screen holds
// after the same writes, clears and scrolls, whatever rectangles they touch.
TEST(PosixPlatformTest, TheTerminalShowsWhatTheScreenHolds) {
    FakeTerminal terminal(FakeTerminal::Answers::kLegacy, 30, 12);
    ASSERT_TRUE(terminal.Ok());
    PosixPlatform platform(terminal.Path(), kType);
    Screen screen;
    ASSERT_EQ(platform.Open(screen), std::nullopt);
    std::mt19937 random(7);
    auto coordinate = [&](int limit) {
        return static_cast<int>(random() % static_cast<unsigned>(limit + 8)) - 3;
    };
    for (int step = 1; step <= 1500; ++step) {
        Rect rect{coordinate(30), coordinate(12), coordinate(30), coordinate(12)};
        Cell fill{static_cast<std::uint8_t>(random() % 2 == 0 ? ' ' : '0' + random() % 10), 7};
        switch (random() % 4) {
            case 0:
                screen.Clear(rect, fill);
                break;
            case 1:
                screen.ScrollUp(rect, fill);
                break;
            default: {
                // Blanks often, so that rows end blank and are erased rather than written.
                auto character =
                    static_cast<std::uint8_t>(random() % 3 == 0 ? ' ' : random() % 256);
                screen.Write(coordinate(30), coordinate(12), Cell{character, 7});
                break;
            }
        }
        if (random() % 32 != 0) {
            continue;
        }
        ASSERT_TRUE(platform.Present(screen));
        screen.MarkPresented();
        std::string difference;
        bool same = WaitUntil([&] {
            testing::VtScreen shown(30, 12, testing::VtScreen::Mode::kWholeSession);
            shown.Feed(terminal.Received());
            difference =
                DifferenceFrom(shown, 30, 12, [&](int x, int y) { return screen.At(x, y); });
            return difference.empty() && shown.Problem().empty();
        });
        ASSERT_TRUE(same) << "after step " << step << ": " << difference;
    }
    platform.Close();
}

// A child of the test runs one scene of terminal_child.cpp on the terminal. The test
// program has threads, so the forked child does nothing but exec: the arguments are made
// before the fork. If the test ends first, the child is killed, so that no stopped or
// waiting process outlives its test. `input` and `output`, if given, become the child's
// standard input and output.
class ChildProcess {
  public:
    ChildProcess(const char* scene, const std::string& terminal, int input = -1, int output = -1)
        : scene_(scene), terminal_(terminal) {
        char* arguments[] = {const_cast<char*>(DUNGEON_TERMINAL_CHILD), scene_.data(),
                             terminal_.data(), nullptr};
        pid_ = fork();
        if (pid_ == 0) {
            if (input >= 0) {
                dup2(input, STDIN_FILENO);
            }
            if (output >= 0) {
                dup2(output, STDOUT_FILENO);
            }
            execv(arguments[0], arguments);
            _exit(127);
        }
    }
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
    // neither happened within `limit`.
    bool Wait(int& status, int options = 0,
              std::chrono::milliseconds limit =
                  std::chrono::duration_cast<std::chrono::milliseconds>(kWaitLimit)) {
        auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            pid_t result = waitpid(pid_, &status, WNOHANG | options);
            if (result == pid_ || (result < 0 && errno != EINTR)) {
                break;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(2ms);
        }
        if (WIFEXITED(status) || WIFSIGNALED(status)) {
            pid_ = -1;
        }
        return true;
    }

  private:
    std::string scene_;
    std::string terminal_;
    pid_t pid_ = -1;
};

TEST(PosixPlatformTest, EndingAndCrashSignalsRestoreTheTerminalAndEndWithThatSignal) {
    for (const char* scene : {"terminate", "crash"}) {
        SCOPED_TRACE(scene);
        FakeTerminal terminal(FakeTerminal::Answers::kNone, 80, 25);
        ASSERT_TRUE(terminal.Ok());
        termios before = terminal.Modes();
        ChildProcess child(scene, terminal.Path());
        int status = 0;
        ASSERT_TRUE(child.Wait(status)) << "the child did not end";
        ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
        EXPECT_EQ(WTERMSIG(status), std::string(scene) == "crash" ? SIGSEGV : SIGTERM);
        EXPECT_TRUE(SameModes(terminal.Modes(), before));
        ASSERT_TRUE(terminal.WaitFor(kLeaveMark)) << Printable(terminal.Received());
        testing::VtScreen screen(80, 25, testing::VtScreen::Mode::kWholeSession);
        screen.Feed(terminal.Received());
        EXPECT_EQ(screen.Glyph(1, 21), "W");
        EXPECT_EQ(screen.CursorY(), 22);
        EXPECT_TRUE(screen.CursorVisible());
        EXPECT_FALSE(screen.KeypadApplication());
    }
}

// The built game on the terminal, started as a shell starts it: terminal_child.cpp's
// "game" scene leads the session and runs the game as its child. That process reports the
// game's process id and wait status, and stays until this object goes, so that the
// terminal works on for the test after the game has ended.
class GameUnderAShell {
  public:
    explicit GameUnderAShell(const std::string& terminal) {
        int toShell[2];
        int fromShell[2];
        if (pipe(toShell) != 0 || pipe(fromShell) != 0) {
            return;
        }
        for (int fd : {toShell[0], toShell[1], fromShell[0], fromShell[1]}) {
            fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
        shell_.emplace("game", terminal, toShell[0], fromShell[1]);
        close(toShell[0]);
        close(fromShell[1]);
        toShell_ = toShell[1];
        fromShell_ = fromShell[0];
        game_ = Next<pid_t>(std::chrono::duration_cast<std::chrono::milliseconds>(kWaitLimit));
    }
    ~GameUnderAShell() {
        if (game_ && !status_) {
            kill(*game_, SIGKILL);
        }
        close(toShell_);  // the shell's input ends: it ends too
        close(fromShell_);
        // It ends by itself, after emptying the terminal's output: killed before that, on
        // macOS it could wait for ever for the stalled terminal to take that output.
        int status = 0;
        if (shell_) {
            shell_->Wait(status);
        }
    }
    GameUnderAShell(const GameUnderAShell&) = delete;
    GameUnderAShell& operator=(const GameUnderAShell&) = delete;

    std::optional<pid_t> Pid() const { return game_; }
    // The game's wait status, once it has ended; nothing if it does not end within `limit`.
    std::optional<int> Status(std::chrono::milliseconds limit) {
        if (!status_) {
            status_ = Next<int>(limit);
        }
        return status_;
    }

  private:
    template <typename Number>
    std::optional<Number> Next(std::chrono::milliseconds limit) {
        Number number{};
        pollfd fd{fromShell_, POLLIN, 0};
        if (fromShell_ < 0 || poll(&fd, 1, static_cast<int>(limit.count())) != 1 ||
            read(fromShell_, &number, sizeof number) != static_cast<ssize_t>(sizeof number)) {
            return std::nullopt;
        }
        return number;
    }

    std::optional<ChildProcess> shell_;
    int toShell_ = -1;
    int fromShell_ = -1;
    std::optional<pid_t> game_;
    std::optional<int> status_;
};

// The game on a terminal that reads nothing: its output stalls, and still SIGTERM ends
// it at once (status 143 in a shell) with the terminal's modes given back.
TEST(PosixPlatformTest, SigtermEndsTheGameOnAStalledTerminal) {
    FakeTerminal terminal(FakeTerminal::Answers::kReadsNothing, 80, 25);
    ASSERT_TRUE(terminal.Ok());
    termios before = terminal.Modes();
    GameUnderAShell game(terminal.Path());
    ASSERT_TRUE(game.Pid()) << "the game was not started";
    ASSERT_TRUE(WaitUntil([&] { return (terminal.Modes().c_lflag & ICANON) == 0; }))
        << "the game did not take the terminal";
    std::this_thread::sleep_for(500ms);  // the start-up questions go unanswered
    // Every resize repaints the whole picture, until the terminal holds no more.
    for (int i = 0; i < 300; ++i) {
        terminal.Resize(80 + i % 2, 25);
        std::this_thread::sleep_for(1ms);
    }
    std::this_thread::sleep_for(200ms);
    ASSERT_EQ(kill(*game.Pid(), SIGTERM), 0);
    std::optional<int> status = game.Status(1000ms);
    ASSERT_TRUE(status) << "SIGTERM did not end the game within a second";
    ASSERT_TRUE(WIFSIGNALED(*status)) << "status " << *status;
    EXPECT_EQ(WTERMSIG(*status), SIGTERM);
    EXPECT_TRUE(SameModes(terminal.Modes(), before));
}

TEST(PosixPlatformTest, WaitsThatCannotWatchTheTerminalEndTheRunCleanly) {
    FakeTerminal terminal(FakeTerminal::Answers::kNone, 80, 25);
    ASSERT_TRUE(terminal.Ok());
    termios before = terminal.Modes();

    // The start-up queries go unanswered, the first drawing stands, and the first wait for
    // a key ends the game as a lost keyboard does: status 1, the terminal given back.
    int status = 0;
    {
        ChildProcess child("invalid-wait", terminal.Path());
        ASSERT_TRUE(child.Wait(status)) << "the game went on waiting";
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "status " << status;
    EXPECT_TRUE(SameModes(terminal.Modes(), before));
    ASSERT_TRUE(terminal.WaitFor(kLeaveMark))
        << "the terminal was not given back; received: " << Printable(terminal.Received());
    testing::VtScreen screen(80, 25, testing::VtScreen::Mode::kWholeSession);
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
    {
        ChildProcess child("many-descriptors", terminal.Path());
        ASSERT_TRUE(child.Wait(status)) << "the child did not end";
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_TRUE(SameModes(terminal.Modes(), before));
}

TEST(PosixPlatformTest, StopRestoresTheTerminalAndContinueTakesItBack) {
    FakeTerminal terminal(FakeTerminal::Answers::kNone, 80, 25);
    ASSERT_TRUE(terminal.Ok());
    termios before = terminal.Modes();
    ChildProcess child("stop", terminal.Path());
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

    kill(child.Pid(), SIGCONT);
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

// SIGSTOP cannot be caught: whoever stopped the game (a debugger, a job control of its
// own) may hand the terminal to others meanwhile. On SIGCONT the game takes it again.
TEST(PosixPlatformTest, ContinueAfterSigstopTakesTheTerminalAgainAndRepaints) {
    FakeTerminal terminal(FakeTerminal::Answers::kNone, 80, 25);
    ASSERT_TRUE(terminal.Ok());
    termios before = terminal.Modes();
    ChildProcess child("wait", terminal.Path());
    ASSERT_TRUE(terminal.WaitFor("Z")) << Printable(terminal.Received());
    ASSERT_EQ(kill(child.Pid(), SIGSTOP), 0);
    int status = 0;
    ASSERT_TRUE(child.Wait(status, WUNTRACED)) << "the child did not stop";
    ASSERT_TRUE(WIFSTOPPED(status)) << "status " << status;
    // Meanwhile a shell takes the terminal back to its own modes and writes on it.
    ASSERT_EQ(tcsetattr(terminal.SlaveForTest(), TCSANOW, &before), 0);
    std::size_t stoppedAt = terminal.Received().size();

    ASSERT_EQ(kill(child.Pid(), SIGCONT), 0);
    ASSERT_TRUE(terminal.WaitFor("\x1b[2J", stoppedAt))
        << "no repaint after continuing; received since the stop: "
        << Printable(terminal.Received().substr(stoppedAt));
    ASSERT_TRUE(WaitUntil([&] { return (terminal.Modes().c_lflag & ICANON) == 0; }))
        << "raw mode was not taken again";
    // The handler takes the terminal's keypad mode again before anything is repainted.
    EXPECT_LT(terminal.Received().find("\x1b=", stoppedAt),
              terminal.Received().find("\x1b[2J", stoppedAt))
        << "the keypad mode was not taken again";
    ASSERT_TRUE(terminal.WaitFor("Z", stoppedAt));
    // Raw mode whole: a read waits for a key again, rather than returning at once.
    EXPECT_TRUE(WaitUntil([&] { return terminal.Modes().c_cc[VMIN] == 1; }));
    terminal.Type("6");
    ASSERT_TRUE(child.Wait(status)) << "the key did not end the child's wait";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_TRUE(SameModes(terminal.Modes(), before));
}

}  // namespace
}  // namespace dungeon
