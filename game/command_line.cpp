#include "game/command_line.h"

#include <string>
#include <string_view>

#include "base/extended_real.h"

namespace dungeon {

namespace {

constexpr std::string_view kHelp =
    "Usage: dungeon [--help | --version]\n"
    "\n"
    "A small dungeon game for a text terminal. Steer the hero Quirn through a\n"
    "dungeon of 40 x 20 cells generated afresh at every start: walk onto items to\n"
    "put them into the backpack, fight the monsters (M) and find the exit (>).\n"
    "The game's texts are German.\n"
    "\n"
    "Keys:\n"
    "  8 2 4 6  one step up, down, left, right (main keyboard or keypad)\n"
    "  s        quit at once\n"
    "  f / k    in a fight: flee / fight on\n"
    "\n"
    "The game ends when the hero reaches the exit, when the hero dies, or on s.\n"
    "It needs a terminal of at least 80 columns by 21 rows.\n"
    "\n"
    "Options:\n"
    "  -h, --help  show this text and exit\n"
    "  --version   show the version and exit\n"
    "\n"
    "The manual: man 6 dungeon (on Windows: README.txt beside dungeon.exe).\n";

// An argument is echoed to a terminal: its control characters are shown as escapes, so a
// stray escape sequence cannot change the terminal's state.
void WriteQuoted(TextSink& err, std::string_view argument) {
    constexpr std::string_view kHex = "0123456789abcdef";
    std::string quoted = "'";
    for (char c : argument) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            quoted += "\\x";
            quoted += kHex[byte >> 4];
            quoted += kHex[byte & 0xfu];
        } else {
            quoted += c;
        }
    }
    quoted += '\'';
    err.Write(quoted);
}

std::string VersionText() {
    std::string text = "dungeon " DUNGEON_VERSION "\nextended reals: ";
    text += kExtendedRealName;
    text += '\n';
    return text;
}

int Print(TextSink& out, TextSink& err, std::string_view text) {
    if (!out.Write(text)) {
        // A full disk or a closed pipe must not pass for success.
        err.Write("dungeon: cannot write to standard output\n");
        return 1;
    }
    return 0;
}

}  // namespace

std::optional<int> HandleCommandLine(int argc, const char* const argv[], TextSink& out,
                                     TextSink& err) {
    for (int i = 1; i < argc; ++i) {
        std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            return Print(out, err, kHelp);
        }
        if (argument == "--version") {
            // The second line names the extended reals of this build: the x87's or software.
            return Print(out, err, VersionText());
        }
        err.Write("dungeon: unknown argument ");
        WriteQuoted(err, argument);
        err.Write("\nTry 'dungeon --help'.\n");
        return 2;
    }
    return std::nullopt;
}

}  // namespace dungeon
