// Starts the built program with arguments on a pseudo-terminal of its own and checks what it
// prints, its exit status, and that the terminal is left exactly as it was found.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "base/extended_real.h"
#include "game/command_line.h"

namespace dungeon {
namespace {

// The project's version, and in a second line how this build computes its extended reals.
const std::string kVersionText =
    "dungeon " DUNGEON_PROJECT_VERSION "\nextended reals: " + std::string(kExtendedRealName) + "\n";

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Where the program's standard output goes: a pipe of the test's, or the terminal itself
// (as when a player types the command in a shell). With kNone the program runs in a
// session without any controlling terminal.
enum class Output { kPipe, kTerminal, kNone };

struct Result {
    int status = -1;  // the exit status, or -1 if the program did not end normally in time
    std::string out;
    std::string err;
    std::string terminal;  // every byte the program sent to the terminal
    bool settingsKept = false;
};

bool SameSettings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof(a.c_cc)) == 0;
}

Result Start(const std::vector<std::string>& arguments, Output output) {
    Result run;
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        ADD_FAILURE() << "no pseudo-terminal";
        return run;
    }
    std::string slaveName = ptsname(master);
    // Held open by the test to read the settings before and after.
    int slave = open(slaveName.c_str(), O_RDWR | O_NOCTTY);
    termios before{};
    EXPECT_EQ(tcgetattr(slave, &before), 0);
    int outPipe[2];
    int errPipe[2];
    EXPECT_EQ(pipe(outPipe), 0);
    EXPECT_EQ(pipe(errPipe), 0);

    std::vector<char*> argv;
    std::string program = DUNGEON_EXECUTABLE;
    argv.push_back(program.data());
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    pid_t child = fork();
    if (child == 0) {
        // Only async-signal-safe calls from here to exec.
        setsid();
        int in = output == Output::kNone ? open("/dev/null", O_RDONLY)
                                         : open(slaveName.c_str(), O_RDWR);  // the controlling one
        dup2(in, 0);
        dup2(output == Output::kTerminal ? in : outPipe[1], 1);
        dup2(errPipe[1], 2);
        for (int fd = 3; fd < 256; ++fd) {
            close(fd);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    for (int fd : {master, outPipe[0], errPipe[0]}) {
        fcntl(fd, F_SETFL, O_NONBLOCK);
    }

    // Reads until both pipes are closed and the program has ended, for ten seconds at most.
    const auto deadline = Clock::now() + 10s;
    bool outOpen = true;
    bool errOpen = true;
    bool ended = false;
    int waitStatus = 0;
    while (Clock::now() < deadline && (outOpen || errOpen || !ended)) {
        pollfd fds[3] = {{outOpen ? outPipe[0] : -1, POLLIN, 0},
                         {errOpen ? errPipe[0] : -1, POLLIN, 0},
                         {master, POLLIN, 0}};
        poll(fds, 3, 20);
        char buffer[4096];
        struct Source {
            int fd;
            std::string* into;
            bool* open;
        };
        for (Source source :
             {Source{outPipe[0], &run.out, &outOpen}, Source{errPipe[0], &run.err, &errOpen}}) {
            if (*source.open) {
                ssize_t count = read(source.fd, buffer, sizeof(buffer));
                if (count > 0) {
                    source.into->append(buffer, static_cast<std::size_t>(count));
                } else if (count == 0 || errno != EAGAIN) {
                    *source.open = false;
                }
            }
        }
        for (ssize_t count; (count = read(master, buffer, sizeof(buffer))) > 0;) {
            run.terminal.append(buffer, static_cast<std::size_t>(count));
        }
        if (!ended && waitpid(child, &waitStatus, WNOHANG) == child) {
            ended = true;
        }
    }
    if (!ended) {
        kill(child, SIGKILL);
        waitpid(child, &waitStatus, 0);
        ADD_FAILURE() << "the program did not end in time";
    } else if (WIFEXITED(waitStatus)) {
        run.status = WEXITSTATUS(waitStatus);
    }
    termios after{};
    EXPECT_EQ(tcgetattr(slave, &after), 0);
    run.settingsKept = SameSettings(before, after);
    close(outPipe[0]);
    close(errPipe[0]);
    close(slave);
    close(master);
    return run;
}

std::string ExpectedOutput(const std::vector<std::string>& arguments) {
    std::vector<const char*> argv = {"dungeon"};
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    struct Collected : TextSink {
        bool Write(std::string_view text) override {
            written += text;
            return true;
        }
        std::string written;
    } out, err;
    HandleCommandLine(static_cast<int>(argv.size()), argv.data(), out, err);
    return out.written;
}

// The terminal's output processing turns each line end into CR LF.
std::string AsTerminalShowsIt(const std::string& text) {
    std::string shown;
    for (char c : text) {
        if (c == '\n') {
            shown += '\r';
        }
        shown += c;
    }
    return shown;
}

TEST(CommandLineEndToEndTest, HelpAndVersionPrintAndLeaveTheTerminalAlone) {
    for (const char* option : {"--help", "-h", "--version"}) {
        Result piped = Start({option}, Output::kPipe);
        EXPECT_EQ(piped.status, 0) << option;
        EXPECT_EQ(piped.out, ExpectedOutput({option})) << option;
        EXPECT_EQ(piped.err, "") << option;
        EXPECT_EQ(piped.terminal, "") << option;  // not a byte drawn or asked
        EXPECT_TRUE(piped.settingsKept) << option;

        Result shown = Start({option}, Output::kTerminal);
        EXPECT_EQ(shown.status, 0) << option;
        EXPECT_EQ(shown.terminal, AsTerminalShowsIt(ExpectedOutput({option}))) << option;
        EXPECT_TRUE(shown.settingsKept) << option;
    }
    EXPECT_EQ(Start({"--version"}, Output::kPipe).out, kVersionText);
    EXPECT_EQ(Start({"--help"}, Output::kPipe).out.rfind("Usage: dungeon", 0), 0u);
}

TEST(CommandLineEndToEndTest, UnknownArgumentFailsWithStatusTwoAndLeavesTheTerminalAlone) {
    Result run = Start({"--bogus"}, Output::kPipe);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "dungeon: unknown argument '--bogus'\nTry 'dungeon --help'.\n");
    EXPECT_EQ(run.terminal, "");
    EXPECT_TRUE(run.settingsKept);
}

TEST(CommandLineEndToEndTest, WorksWithoutAnyTerminal) {
    Result version = Start({"--version"}, Output::kNone);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, kVersionText);
    EXPECT_EQ(version.err, "");
    Result help = Start({"--help"}, Output::kNone);
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, ExpectedOutput({"--help"}));
    Result bogus = Start({"x"}, Output::kNone);
    EXPECT_EQ(bogus.status, 2);
    EXPECT_EQ(bogus.err, "dungeon: unknown argument 'x'\nTry 'dungeon --help'.\n");
}

TEST(CommandLineEndToEndTest, AFullOutputIsReportedAsAFailure) {
    if (access("/dev/full", W_OK) != 0) {
        GTEST_SKIP() << "no /dev/full here";
    }
    std::string command = std::string("'") + DUNGEON_EXECUTABLE + "' --help >/dev/full 2>/dev/null";
    int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
}

}  // namespace
}  // namespace dungeon
