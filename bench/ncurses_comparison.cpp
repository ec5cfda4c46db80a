// How many bytes ncurses's screen optimiser needs for the frames of the benchmark's whole
// game: the yardstick for the terminal platform's renderer. Built only on request
// (bench/compare_with_ncurses.sh); the game itself never uses ncurses.
#include <curses.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/whole_game.h"

namespace {

long FileSize(std::FILE* file) {
    struct stat info {};
    return fstat(fileno(file), &info) == 0 ? static_cast<long>(info.st_size) : -1;
}

}  // namespace

int main(int argc, char** argv) {
    const char* type = argc > 1 ? argv[1] : "xterm-256color";
    setenv("LINES", "25", 1);
    setenv("COLUMNS", "80", 1);
    std::FILE* out = std::tmpfile();
    std::FILE* in = std::fopen("/dev/null", "r");
    if (out == nullptr || in == nullptr) {
        std::fprintf(stderr, "no scratch file\n");
        return 1;
    }
    SCREEN* screen = newterm(type, out, in);
    if (screen == nullptr) {
        std::fprintf(stderr, "no terminal description for %s\n", type);
        return 1;
    }
    typeahead(-1);  // never postpone an update for "pending" input
    curs_set(0);
    long startUp = FileSize(out);

    std::vector<long> frames;
    long before = FileSize(out);
    int notAscii = 0;
    dungeon::bench::WholeGame game([&](const dungeon::Screen& frame) {
        for (int y = 0; y < frame.Height() && y < LINES; ++y) {
            for (int x = 0; x < frame.Width() && x < COLS; ++x) {
                std::uint8_t c = frame.At(x + 1, y + 1).character;
                if (c < 0x20 || c >= 0x7F) {
                    ++notAscii;
                    c = '?';
                }
                mvaddch(y, x, c);
            }
        }
        wnoutrefresh(stdscr);
        doupdate();
        long now = FileSize(out);
        if (now > before) {
            frames.push_back(now - before);
        }
        before = now;
    });
    game.Play();
    endwin();
    delscreen(screen);

    long total = 0;
    for (long bytes : frames) {
        total += bytes;
    }
    std::printf("ncurses, TERM=%s: %zu frames, %ld bytes, and %ld bytes of start-up strings%s\n",
                type, frames.size(), total, startUp, notAscii > 0 ? "; some cells shown as ?" : "");
    if (!frames.empty()) {
        std::vector<long> turns(frames.begin() + 1, frames.end());
        std::sort(turns.begin(), turns.end());
        std::printf("first frame %ld bytes, median turn %ld bytes\n", frames.front() + startUp,
                    turns.empty() ? 0L : turns[turns.size() / 2]);
    }
    return 0;
}
