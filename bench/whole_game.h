#pragma once

// One whole game, the same on every run: the clock reads a fixed value at start, so the
// dungeon is always the same, and the keys come from a fixed random sequence. Every time
// the game shows its picture (before it waits for a key, and at the end) the caller gets
// the screen's cells, so that different ways of sending them to a terminal can be
// compared on the very same frames.
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "console/console.h"
#include "game/program.h"
#include "platform/memory/memory_platform.h"

namespace dungeon::bench {

struct Frame {
    int width = 80;
    int height = 25;
    std::vector<Cell> cells;  // row by row
    int cursorX = 1;
    int cursorY = 1;
    bool cursorVisible = true;
};

class WholeGame : public MemoryPlatform {
  public:
    static constexpr std::uint32_t kTicks = 1000;
    static constexpr unsigned kKeySeed = 13;

    explicit WholeGame(std::function<void(const Frame&)> onFrame)
        : MemoryPlatform(80, 25), onFrame_(std::move(onFrame)), keys_(kKeySeed) {
        SetTickCount(kTicks);
        SetWaitHook([this] {
            // Mostly steps; now and then "k", which fights on in a fight and is ignored
            // elsewhere. The walk ends at the exit or, through walls and fights, in death.
            constexpr char kKeys[] = {'2', '4', '6', '8', '2', '4', '6', '8', 'k'};
            Type(std::string(1, kKeys[keys_() % sizeof(kKeys)]));
            return ++typed_ < kMaxKeys;
        });
    }

    // Plays to the end; returns the program's exit status.
    int Play() { return RunProgram(*this); }

    void Present() override {
        MemoryPlatform::Present();
        frame_.width = Width();
        frame_.height = Height();
        frame_.cells.resize(static_cast<std::size_t>(Width() * Height()));
        for (int y = 1; y <= Height(); ++y) {
            for (int x = 1; x <= Width(); ++x) {
                frame_.cells[static_cast<std::size_t>((y - 1) * Width() + (x - 1))] = At(x, y);
            }
        }
        frame_.cursorX = CursorX();
        frame_.cursorY = CursorY();
        frame_.cursorVisible = CursorVisible();
        onFrame_(frame_);
    }

  private:
    static constexpr int kMaxKeys = 20000;
    std::function<void(const Frame&)> onFrame_;
    std::mt19937 keys_;
    int typed_ = 0;
    Frame frame_;
};

}  // namespace dungeon::bench
