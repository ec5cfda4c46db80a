#pragma once

#include <iosfwd>
#include <optional>

namespace dungeon {

// The program's arguments, read before anything touches the terminal. With none the game
// starts and nothing is returned. "--help" or "-h" prints the usage text, "--version" the
// version, each on `out`; anything else names the first unknown argument on `err`. The
// arguments are read in order and the first one decides. Returns the exit status for
// everything but the game: 0 after help or version, 1 when `out` could not be written,
// 2 for an unknown argument.
std::optional<int> HandleCommandLine(int argc, const char* const argv[], std::ostream& out,
                                     std::ostream& err);

}  // namespace dungeon
