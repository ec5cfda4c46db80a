// Starts the built program in a real terminal (a tmux pane with a private server) and
// reads the screen as the terminal shows it.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/wait_until.h"

namespace dungeon {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

std::string Run(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char buffer[4096];
    std::size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
        output.append(buffer, count);
    }
    pclose(pipe);
    return output;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// How long a test waits for the game or tmux. Generous, because the machine may be busy;
// a test that passes never waits this long.
constexpr auto kWaitLimit = 15s;

// Polls `done` until it holds or the wait limit has passed.
template <typename Condition>
bool WaitUntil(Condition done) {
    return test_support::WaitUntil(done, kWaitLimit, 20ms);
}

bool TmuxAvailable() {
    return std::system("command -v tmux >/dev/null 2>&1") == 0;
}

// One tmux server of its own with one 80 x 25 pane. The pane runs a script that waits
// for a go, records the terminal's modes, runs the game (with `environment` added to its
// own, and its standard error kept), records its exit status and the modes again, and
// then stays open so that the screen can still be read.
class GamePane {
  public:
    static constexpr const char* kEndedTitle = "game-ended";

    explicit GamePane(const std::string& environment = "") {
        char pattern[] = "/tmp/dungeon-e2e-XXXXXX";
        char* made = mkdtemp(pattern);
        dir_ = made != nullptr ? made : "";
        socket_ = "dungeon-e2e-" + std::to_string(getpid()) + "-" + std::to_string(++count_);
        std::ofstream script(dir_ / "run.sh");
        script << "cd '" << dir_.string() << "' || exit 1\n"
               << "while [ ! -e go ]; do sleep 0.05; done\n"
               << "stty -g > before\n"
               // Standard input is redirected: the game must still find its terminal.
               << "env " << environment << " '" << DUNGEON_EXECUTABLE
               << "' < /dev/null 2> stderr &\n"
               << "echo $! > pid.tmp && mv pid.tmp pid\n"
               << "wait $! 2>/dev/null\n"
               << "echo $? > status.tmp\n"
               << "stty -g > after\n"
               // A pane title behind everything the game wrote: once tmux shows it, tmux
               // has taken in the game's last bytes too.
               << "printf '\\033]2;" << kEndedTitle << "\\033\\\\'\n"
               << "mv status.tmp status\n"
               << "exec sleep 600\n";
        script.close();
        Tmux("-f /dev/null new-session -d -x 80 -y 25 -s game 'sh " + (dir_ / "run.sh").string() +
             "'");
    }
    ~GamePane() {
        Tmux("kill-server");
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    std::string Tmux(const std::string& arguments) const {
        return Run("env -u TMUX tmux -L " + socket_ + " " + arguments + " 2>&1");
    }
    // The pane's cursor and mode flags, as tmux keeps them for the terminal.
    std::string Modes() const {
        return Tmux(
            "display-message -p -t game "
            "'#{cursor_flag} #{keypad_flag} #{keypad_cursor_flag} #{alternate_on} "
            "#{insert_flag} #{wrap_flag}'");
    }
    int CursorRow() const {
        return std::atoi(Tmux("display-message -p -t game '#{cursor_y}'").c_str()) + 1;
    }
    std::vector<std::string> Screen() const {
        std::vector<std::string> rows;
        std::stringstream text(Tmux("capture-pane -p -t game"));
        std::string row;
        while (std::getline(text, row)) {
            rows.push_back(row);
        }
        rows.resize(25);
        return rows;
    }
    void Go() const { std::ofstream(dir_ / "go") << "go\n"; }
    bool WaitForScreen(const std::string& text) const {
        return WaitUntil([&] {
            for (const std::string& row : Screen()) {
                if (row.find(text) != std::string::npos) {
                    return true;
                }
            }
            return false;
        });
    }
    bool WaitForScreenOtherThan(const std::vector<std::string>& screen) const {
        return WaitUntil([&] { return Screen() != screen; });
    }
    // The game's exit status once the pane has shown all the game wrote, or -1 if it did
    // not end in time.
    int WaitForStatus() const {
        bool ended = WaitUntil([&] {
            return fs::exists(dir_ / "status") &&
                   Tmux("display-message -p -t game '#{pane_title}'") ==
                       std::string(kEndedTitle) + "\n";
        });
        return ended ? std::atoi(ReadFile(dir_ / "status").c_str()) : -1;
    }
    // The game's process id, or 0 if the pane has not started it in time.
    pid_t GamePid() const {
        if (!WaitUntil([&] { return fs::exists(dir_ / "pid"); })) {
            return 0;
        }
        return std::atoi(ReadFile(dir_ / "pid").c_str());
    }
    std::string ModesBefore() const { return ReadFile(dir_ / "before"); }
    std::string StandardError() const { return ReadFile(dir_ / "stderr"); }
    std::string ModesAfter() const { return ReadFile(dir_ / "after"); }

  private:
    static inline int count_ = 0;
    fs::path dir_;
    std::string socket_;
};

constexpr const char* kFirstStatus = "Quirn:  L:   5 A:  80 R: 50";

void ExpectFirstDrawing(const std::vector<std::string>& screen) {
    ASSERT_GE(screen.size(), 21u);
    const std::string wall(40, 'W');
    EXPECT_EQ(screen[0].substr(0, 40), wall);
    EXPECT_EQ(screen[19].substr(0, 40), wall);
    int heroes = 0;
    int exits = 0;
    for (int row = 0; row < 20; ++row) {
        std::string line = screen[static_cast<std::size_t>(row)];
        line.resize(40, ' ');
        EXPECT_EQ(line[0], 'W') << "row " << row + 1;
        EXPECT_EQ(line[39], 'W') << "row " << row + 1;
        for (char c : line) {
            heroes += c == 'H' ? 1 : 0;
            exits += c == '>' ? 1 : 0;
        }
    }
    EXPECT_EQ(heroes, 1);
    EXPECT_EQ(exits, 1);
    std::string status = screen[19];
    status.resize(80, ' ');
    EXPECT_EQ(status.substr(41, 27), kFirstStatus);
}

TEST(TerminalEndToEndTest, FirstDrawingQuitWithSAndTheTerminalRestored) {
    if (!TmuxAvailable()) {
        GTEST_SKIP() << "tmux is not installed: the end-to-end test needs it for a terminal";
    }
    GamePane pane;
    std::string modesBefore = pane.Modes();
    pane.Go();
    // The status is drawn last on the area's bottom row: once it is whole, so is the map.
    ASSERT_TRUE(pane.WaitForScreen(kFirstStatus)) << pane.Tmux("capture-pane -p -t game");
    std::vector<std::string> first = pane.Screen();
    ExpectFirstDrawing(first);

    pane.Tmux("send-keys -t game s");
    EXPECT_EQ(pane.WaitForStatus(), 0);
    EXPECT_EQ(pane.ModesAfter(), pane.ModesBefore());
    EXPECT_FALSE(pane.ModesBefore().empty());
    EXPECT_EQ(pane.Modes(), modesBefore);
    // The last picture stays, with the prompt's line below the game's area.
    std::vector<std::string> last = pane.Screen();
    for (int row = 0; row < 20; ++row) {
        EXPECT_EQ(last[static_cast<std::size_t>(row)], first[static_cast<std::size_t>(row)]);
    }
    EXPECT_EQ(pane.CursorRow(), 22);
}

TEST(TerminalEndToEndTest, SigtermRestoresTheTerminalAndEndsWithItsStatus) {
    if (!TmuxAvailable()) {
        GTEST_SKIP() << "tmux is not installed: the end-to-end test needs it for a terminal";
    }
    GamePane pane;
    std::string modesBefore = pane.Modes();
    pane.Go();
    // The status is drawn last on the area's bottom row: once it is whole, so is the map.
    ASSERT_TRUE(pane.WaitForScreen(kFirstStatus)) << pane.Tmux("capture-pane -p -t game");
    // A key first, so that the game is seen to play on before it is stopped.
    std::vector<std::string> first = pane.Screen();
    pane.Tmux("send-keys -t game 2");
    ASSERT_TRUE(pane.WaitForScreenOtherThan(first)) << "the key changed nothing on the screen:\n"
                                                    << pane.Tmux("capture-pane -p -t game");
    ASSERT_GT(pane.GamePid(), 0) << "the pane did not record the game's process id";
    ASSERT_EQ(kill(pane.GamePid(), SIGTERM), 0);
    EXPECT_EQ(pane.WaitForStatus(), 128 + SIGTERM);
    EXPECT_EQ(pane.ModesAfter(), pane.ModesBefore());
    EXPECT_EQ(pane.Modes(), modesBefore);
    EXPECT_EQ(pane.Screen()[0].substr(0, 40), std::string(40, 'W'));
    EXPECT_EQ(pane.CursorRow(), 22) << pane.Tmux("capture-pane -p -t game");
}

TEST(TerminalEndToEndTest, ATerminalWithoutCursorAddressingIsRefusedUntouched) {
    if (!TmuxAvailable()) {
        GTEST_SKIP() << "tmux is not installed: the end-to-end test needs it for a terminal";
    }
    for (const char* environment : {"TERM=dumb", "TERM="}) {
        SCOPED_TRACE(environment);
        GamePane pane(environment);
        std::string modesBefore = pane.Modes();
        std::vector<std::string> screenBefore = pane.Screen();
        pane.Go();
        EXPECT_EQ(pane.WaitForStatus(), 1);
        EXPECT_EQ(pane.StandardError(), "No way to get console screen buffer info\r\n");
        EXPECT_EQ(pane.ModesAfter(), pane.ModesBefore());
        EXPECT_EQ(pane.Modes(), modesBefore);
        EXPECT_EQ(pane.Screen(), screenBefore) << "something was written on the terminal";
    }
}

}  // namespace
}  // namespace dungeon
