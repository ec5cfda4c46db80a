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

bool TmuxAvailable() {
    return std::system("command -v tmux >/dev/null 2>&1") == 0;
}

// One tmux server of its own with one 80 x 25 pane. The pane runs a script that waits
// for a go, records the terminal's modes, runs the game, records its exit status and the
// modes again, and then stays open so that the screen can still be read.
class GamePane {
  public:
    GamePane() {
        char pattern[] = "/tmp/dungeon-e2e-XXXXXX";
        char* made = mkdtemp(pattern);
        dir_ = made != nullptr ? made : "";
        socket_ = "dungeon-e2e-" + std::to_string(getpid()) + "-" + std::to_string(++count_);
        std::ofstream script(dir_ / "run.sh");
        script << "cd '" << dir_.string() << "' || exit 1\n"
               << "while [ ! -e go ]; do sleep 0.05; done\n"
               << "stty -g > before\n"
               // Standard input is redirected: the game must still find its terminal.
               << "'" << DUNGEON_EXECUTABLE << "' < /dev/null &\n"
               << "echo $! > pid\n"
               << "wait $! 2>/dev/null\n"
               << "echo $? > status.tmp && mv status.tmp status\n"
               << "stty -g > after\n"
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
        for (int i = 0; i < 500; ++i) {
            for (const std::string& row : Screen()) {
                if (row.find(text) != std::string::npos) {
                    return true;
                }
            }
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
    // The game's exit status, or -1 if it did not end in time.
    int WaitForStatus() const {
        for (int i = 0; i < 500; ++i) {
            if (fs::exists(dir_ / "status") && fs::exists(dir_ / "after")) {
                std::this_thread::sleep_for(50ms);  // "after" is written in one go
                return std::atoi(ReadFile(dir_ / "status").c_str());
            }
            std::this_thread::sleep_for(20ms);
        }
        return -1;
    }
    pid_t GamePid() const { return std::atoi(ReadFile(dir_ / "pid").c_str()); }
    std::string ModesBefore() const { return ReadFile(dir_ / "before"); }
    std::string ModesAfter() const { return ReadFile(dir_ / "after"); }

  private:
    static inline int count_ = 0;
    fs::path dir_;
    std::string socket_;
};

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
    EXPECT_EQ(status.substr(41, 27), "Quirn:  L:   5 A:  80 R: 50");
}

TEST(TerminalEndToEndTest, FirstDrawingQuitWithSAndTheTerminalRestored) {
    if (!TmuxAvailable()) {
        GTEST_SKIP() << "tmux is not installed: the end-to-end test needs it for a terminal";
    }
    GamePane pane;
    std::string modesBefore = pane.Modes();
    pane.Go();
    ASSERT_TRUE(pane.WaitForScreen("Quirn:")) << pane.Tmux("capture-pane -p -t game");
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
    ASSERT_TRUE(pane.WaitForScreen("Quirn:")) << pane.Tmux("capture-pane -p -t game");
    // A key first, so that the game is seen to play on before it is stopped.
    pane.Tmux("send-keys -t game 2");
    std::this_thread::sleep_for(200ms);
    ASSERT_GT(pane.GamePid(), 0);
    ASSERT_EQ(kill(pane.GamePid(), SIGTERM), 0);
    EXPECT_EQ(pane.WaitForStatus(), 128 + SIGTERM);
    EXPECT_EQ(pane.ModesAfter(), pane.ModesBefore());
    EXPECT_EQ(pane.Modes(), modesBefore);
    EXPECT_EQ(pane.Screen()[0].substr(0, 40), std::string(40, 'W'));
    EXPECT_EQ(pane.CursorRow(), 22) << pane.Tmux("capture-pane -p -t game");
}

}  // namespace
}  // namespace dungeon
