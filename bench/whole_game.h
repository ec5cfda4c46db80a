#pragma once

// One whole game, the same on every run: the clock reads a fixed value at start, so the
// dungeon is always the same, and the keys come from a fixed random sequence. Every time
// the game shows its picture (before it waits for a key, and at the end) the caller gets
// the screen, so that different ways of sending it to a terminal can be compared on the
// very same frames.
#include <cstdint>
#include <functional>
#include <optional>
#include <random>

#include "console/console.h"
#include "game/program.h"
#include "platform/memory/memory_platform.h"

namespace dungeon::bench {

class WholeGame : public MemoryPlatform {
  public:
    static constexpr std::uint32_t kTicks = 1000;
    static constexpr unsigned kKeySeed = 13;

    explicit WholeGame(std::function<void(const Screen&)> onFrame)
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

    // A terminal's picture is unknown at first: the first frame clears it and draws all.
    std::optional<OpenError> Open(Screen& screen) override {
        std::optional<OpenError> error = MemoryPlatform::Open(screen);
        screen.Forget();
        return error;
    }

    bool Present(const Screen& screen) override {
        if (screen.Changed()) {
            onFrame_(screen);
        }
        return MemoryPlatform::Present(screen);
    }

  private:
    static constexpr int kMaxKeys = 20000;
    std::function<void(const Screen&)> onFrame_;
    std::mt19937 keys_;
    int typed_ = 0;
};

}  // namespace dungeon::bench
