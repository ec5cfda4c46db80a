#include "game/command_line.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "base/extended_real.h"

namespace dungeon {
namespace {

// The project's version, and in a second line how this build computes its extended reals.
const std::string kVersionText =
    "dungeon " DUNGEON_PROJECT_VERSION "\nextended reals: " + std::string(kExtendedRealName) + "\n";

// Collects what is written; a broken one takes nothing, as a full disk or a closed pipe.
struct StringSink : TextSink {
    bool Write(std::string_view text) override {
        if (!broken) {
            written += text;
        }
        return !broken;
    }
    std::string written;
    bool broken = false;
};

struct Answer {
    std::optional<int> status;
    std::string out;
    std::string err;
};

Answer Handle(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "dungeon");
    StringSink out;
    StringSink err;
    Answer answer;
    answer.status =
        HandleCommandLine(static_cast<int>(arguments.size()), arguments.data(), out, err);
    answer.out = out.written;
    answer.err = err.written;
    return answer;
}

TEST(CommandLineTest, NoArgumentsStartTheGameWithoutAWord) {
    Answer answer = Handle({});
    EXPECT_FALSE(answer.status.has_value());
    EXPECT_EQ(answer.out, "");
    EXPECT_EQ(answer.err, "");
}

TEST(CommandLineTest, HelpInBothSpellingsShowsUsageKeysEndingsAndManual) {
    Answer help = Handle({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.rfind("Usage: dungeon [--help | --version]\n", 0), 0u) << help.out;
    for (const char* part : {"8 2 4 6", "quit at once", "flee", "fight on", "exit", "dies",
                             "--version", "man 6 dungeon"}) {
        EXPECT_NE(help.out.find(part), std::string::npos) << part;
    }
    // A usage text fits a plain terminal: no line wider than 80 columns, no control bytes.
    std::istringstream lines(help.out);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(line.size(), 80u) << line;
        for (char c : line) {
            EXPECT_GE(static_cast<unsigned char>(c), 0x20) << line;
        }
    }
    EXPECT_EQ(help.out.back(), '\n');

    Answer shortHelp = Handle({"-h"});
    EXPECT_EQ(shortHelp.status, 0);
    EXPECT_EQ(shortHelp.out, help.out);
}

TEST(CommandLineTest, VersionIsTheProjectsVersion) {
    Answer answer = Handle({"--version"});
    EXPECT_EQ(answer.status, 0);
    EXPECT_EQ(answer.out, kVersionText);
    EXPECT_EQ(answer.err, "");
}

TEST(CommandLineTest, UnknownArgumentsAreNamedOnErrorWithStatusTwo) {
    for (const char* argument : {"--bogus", "-v", "x", "--", "-", "--help=1", "--HELP", ""}) {
        Answer answer = Handle({argument});
        EXPECT_EQ(answer.status, 2) << argument;
        EXPECT_EQ(answer.out, "") << argument;
        EXPECT_EQ(answer.err, "dungeon: unknown argument '" + std::string(argument) +
                                  "'\nTry 'dungeon --help'.\n");
    }
    // Control bytes in an argument reach the terminal only as escapes.
    Answer escape = Handle({"\x1b[?1049h\t\x7f"});
    EXPECT_EQ(escape.status, 2);
    EXPECT_EQ(escape.err,
              "dungeon: unknown argument '\\x1b[?1049h\\x09\\x7f'\nTry 'dungeon --help'.\n");
    // Letters beyond ASCII are shown as they are.
    EXPECT_EQ(Handle({"gr\xc3\xbcn"}).err,
              "dungeon: unknown argument 'gr\xc3\xbcn'\nTry 'dungeon --help'.\n");
}

TEST(CommandLineTest, TheFirstArgumentDecides) {
    Answer helpFirst = Handle({"--help", "--bogus"});
    EXPECT_EQ(helpFirst.status, 0);
    EXPECT_EQ(helpFirst.err, "");
    EXPECT_EQ(helpFirst.out, Handle({"--help"}).out);

    Answer versionFirst = Handle({"--version", "--help"});
    EXPECT_EQ(versionFirst.status, 0);
    EXPECT_EQ(versionFirst.out, kVersionText);

    Answer bogusFirst = Handle({"--bogus", "--help"});
    EXPECT_EQ(bogusFirst.status, 2);
    EXPECT_EQ(bogusFirst.out, "");
    EXPECT_NE(bogusFirst.err.find("'--bogus'"), std::string::npos);
}

TEST(CommandLineTest, AnOutputThatCannotBeWrittenIsAFailure) {
    const char* arguments[] = {"dungeon", "--version"};
    for (const char* option : {"--version", "--help"}) {
        arguments[1] = option;
        StringSink out;
        out.broken = true;
        StringSink err;
        EXPECT_EQ(HandleCommandLine(2, arguments, out, err), 1) << option;
        EXPECT_EQ(err.written, "dungeon: cannot write to standard output\n");
    }
}

}  // namespace
}  // namespace dungeon
