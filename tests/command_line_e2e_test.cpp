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
#include <initializer_list>
#include <optional>
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
    bool settingsUnchanged = false;
};

bool SameSettings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof(a.c_cc)) == 0;
}

// Appends what `fd` has to `into`; `open` becomes false once it has ended.
void ReadAvailable(int fd, std::string& into, bool& open) {
    if (!open) {
        return;
    }
    char buffer[4096];
    ssize_t count = read(fd, buffer, sizeof(buffer));
    if (count > 0) {
        into.append(buffer, static_cast<std::size_t>(count));
    } else if (count == 0 || errno != EAGAIN) {
        open = false;
    }
}

// The test's ends of what a run reports: the program's output and errors, and the wait
// status from the shell that ran it.
struct Reports {
    int out;
    int err;
    int status;
};

// Forks a process that, like a shell, leads a session whose controlling terminal is
// `terminal` (with Output::kNone it has none) and runs the program as its child. It writes
// the program's wait status to `status` and ends when `quit` is closed: on macOS every
// descriptor of a controlling terminal, the test's too, dies when the session's leader
// exits, so it must live until the test has read the terminal's settings. Between fork and
// exec only async-signal-safe calls, as the test program has threads.
pid_t StartUnderAShell(char* const* argv, const char* terminal, Output output, int outPipe,
                       int errPipe, int status, int quit) {
    pid_t shell = fork();
    if (shell != 0) {
        return shell;
    }
    setsid();
    int in = output == Output::kNone ? open("/dev/null", O_RDONLY)
                                     : open(terminal, O_RDWR);  // the controlling one
    pid_t program = fork();
    if (program == 0) {
        dup2(in, 0);
        dup2(output == Output::kTerminal ? in : outPipe, 1);
        dup2(errPipe, 2);
        for (int fd = 3; fd < 256; ++fd) {
            close(fd);
        }
        execv(argv[0], argv);
        _exit(127);
    }
    // Only the program holds the output pipes now: the test sees them end with it.
    for (int fd = 3; fd < 256; ++fd) {
        if (fd != in && fd != status && fd != quit) {
            close(fd);
        }
    }
    int waitStatus = -1;
    while (program > 0 && waitpid(program, &waitStatus, 0) < 0 && errno == EINTR) {
    }
    if (write(status, &waitStatus, sizeof waitStatus) != static_cast<ssize_t>(sizeof waitStatus)) {
        _exit(1);
    }
    for (char byte = 0;;) {
        ssize_t count = read(quit, &byte, 1);
        if (count == 0 || (count < 0 && errno != EINTR)) {
            _exit(0);
        }
    }
}

// Reads the program's output, errors and terminal until both pipes are closed and its wait
// status has come, for ten seconds at most; the status is nothing if it did not come.
std::optional<int> Collect(Result& run, Reports from, int master) {
    for (int fd : {from.out, from.err, from.status, master}) {
        fcntl(fd, F_SETFL, O_NONBLOCK);
    }
    const auto deadline = Clock::now() + 10s;
    bool outOpen = true;
    bool errOpen = true;
    std::optional<int> status;
    bool waiting = true;  // for the status, while its pipe is open
    while (Clock::now() < deadline && (outOpen || errOpen || waiting)) {
        pollfd fds[4] = {{outOpen ? from.out : -1, POLLIN, 0},
                         {errOpen ? from.err : -1, POLLIN, 0},
                         {waiting ? from.status : -1, POLLIN, 0},
                         {master, POLLIN, 0}};
        poll(fds, 4, 20);
        // The status first: once it has come, all the program wrote can be read.
        if (waiting) {
            int waitStatus = 0;
            ssize_t count = read(from.status, &waitStatus, sizeof waitStatus);
            if (count == static_cast<ssize_t>(sizeof waitStatus)) {
                status = waitStatus;
            }
            waiting = !status && count < 0 && errno == EAGAIN;
        }
        ReadAvailable(from.out, run.out, outOpen);
        ReadAvailable(from.err, run.err, errOpen);
        char buffer[4096];
        for (ssize_t count; (count = read(master, buffer, sizeof(buffer))) > 0;) {
            run.terminal.append(buffer, static_cast<std::size_t>(count));
        }
    }
    return status;
}

// Closes `descriptors`, the shell's input among them, which lets the shell end, and reaps
// the shell. The pseudo-terminal's master is among them: macOS drains a controlling
// terminal's output when the session's leader exits, and a closed master ends that wait.
void EndShell(pid_t shell, std::initializer_list<int> descriptors) {
    for (int fd : descriptors) {
        close(fd);
    }
    waitpid(shell, nullptr, 0);
}

// The program, then its arguments, then the null pointer that ends the list.
std::vector<char*> ArgumentVector(std::string& program, std::vector<std::string>& arguments) {
    std::vector<char*> argv = {program.data()};
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    return argv;
}

Result Start(const std::vector<std::string>& arguments, Output output) {
    Result run;
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        ADD_FAILURE() << "no pseudo-terminal";
        return run;
    }
    std::string slaveName = ptsname(master);
    // Open in the test to read the settings before and after.
    int slave = open(slaveName.c_str(), O_RDWR | O_NOCTTY);
    termios before{};
    EXPECT_EQ(tcgetattr(slave, &before), 0);
    int outPipe[2];
    int errPipe[2];
    int statusPipe[2];
    int quitPipe[2];
    for (int* ends : {outPipe, errPipe, statusPipe, quitPipe}) {
        EXPECT_EQ(pipe(ends), 0);
    }
    std::string program = DUNGEON_EXECUTABLE;
    std::vector<std::string> copies = arguments;
    std::vector<char*> argv = ArgumentVector(program, copies);
    pid_t shell = StartUnderAShell(argv.data(), slaveName.c_str(), output, outPipe[1], errPipe[1],
                                   statusPipe[1], quitPipe[0]);
    for (int fd : {outPipe[1], errPipe[1], statusPipe[1], quitPipe[0]}) {
        close(fd);
    }
    std::optional<int> status = Collect(run, {outPipe[0], errPipe[0], statusPipe[0]}, master);
    if (!status) {
        kill(-shell, SIGKILL);  // the shell and the program, in the group the shell leads
        ADD_FAILURE() << "the program did not end in time";
    } else if (WIFEXITED(*status)) {
        run.status = WEXITSTATUS(*status);
    }
    termios after{};
    EXPECT_EQ(tcgetattr(slave, &after), 0);
    run.settingsUnchanged = SameSettings(before, after);
    EndShell(shell, {quitPipe[1], outPipe[0], errPipe[0], statusPipe[0], slave, master});
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
        EXPECT_TRUE(piped.settingsUnchanged) << option;

        Result shown = Start({option}, Output::kTerminal);
        EXPECT_EQ(shown.status, 0) << option;
        EXPECT_EQ(shown.terminal, AsTerminalShowsIt(ExpectedOutput({option}))) << option;
        EXPECT_TRUE(shown.settingsUnchanged) << option;
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
    EXPECT_TRUE(run.settingsUnchanged);
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
