#pragma once

#include <cstdio>
#include <optional>
#include <string_view>

namespace dungeon {

// Where the answers to the command line go.
class TextSink {
  public:
    virtual ~TextSink() = default;
    // Writes all of `text` at once; false when it could not.
    virtual bool Write(std::string_view text) = 0;
};

// A C stream, standard output or error: small enough for every build, the web page's too.
class StdioSink : public TextSink {
  public:
    explicit StdioSink(std::FILE* file) : file_(file) {}
    bool Write(std::string_view text) override {
        return std::fwrite(text.data(), 1, text.size(), file_) == text.size() &&
               std::fflush(file_) == 0;
    }

  private:
    std::FILE* file_;
};

// The program's arguments, read before anything touches the terminal; the first one decides.
// "--help" or "-h" prints the usage text, "--version" the version, each on `out`; anything
// else is named on `err` as an unknown argument. Nothing comes back when there are none and
// the game starts; else the exit status: 0 after help or version, 1 when `out` could not be
// written, 2 for an unknown argument.
std::optional<int> HandleCommandLine(int argc, const char* const argv[], TextSink& out,
                                     TextSink& err);

}  // namespace dungeon
