// Plays whole games on the in-memory console: the first four bytes set the clock (and so
// the dungeon), the rest is a stream of keys that is typed only when the game waits for
// one. At every such wait, which is after every turn, the world must be sound: the walls
// whole, the exit in place, the hero inside, no seen cell unseen again, no more monsters
// or items than were placed, and every "L" where an "M" stood. When the keys run out the
// game must end and give the console back.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz/fuzz_input.h"
#include "game/program.h"
#include "game/world.h"
#include "platform/memory/memory_platform.h"

namespace {

using dungeon::World;
using dungeon::fuzz::Require;

bool OnBorder(int x, int y) {
    return x == 1 || x == World::kWidth || y == 1 || y == World::kHeight;
}

class Referee {
  public:
    // At the first wait: the dungeon as Setup made it, before the hero's first turn.
    void Start(const World& world) {
        int monsters = 0;
        int digits[World::kItems] = {};
        for (int x = 1; x <= World::kWidth; ++x) {
            for (int y = 1; y <= World::kHeight; ++y) {
                char symbol = world.grid[y - 1][x - 1];
                if (OnBorder(x, y)) {
                    Require(symbol == World::kWall, "a border cell is no wall");
                } else if (x == 2 && y == 2) {
                    Require(symbol == World::kExit, "the exit is not at (2, 2)");
                } else if (symbol == World::kMonster) {
                    ++monsters;
                } else if (symbol >= '1' && symbol <= '7') {
                    ++digits[symbol - '1'];
                } else {
                    Require(symbol == World::kFloor, "a symbol that the map does not know");
                }
                CheckSeen(world, x, y);
            }
        }
        Require(monsters <= World::kMonsters, "more than seven monsters");
        for (int count : digits) {
            Require(count <= 1, "an item digit twice");
        }
        std::memcpy(lastGrid_, world.grid, sizeof lastGrid_);
        started_ = true;
    }

    // Every wait: a cell changes only as play allows, so only the rows that changed are
    // looked at. An item's digit and a monster may only give way to floor, a monster to an "L".
    void Check(const World& world) {
        if (!started_) {
            Start(world);
        }
        for (int y = 1; y <= World::kHeight; ++y) {
            if (std::memcmp(lastGrid_[y - 1], world.grid[y - 1], sizeof lastGrid_[0]) != 0 ||
                std::memcmp(seen_[y - 1], world.seen[y - 1], sizeof seen_[0]) != 0) {
                CheckRow(world, y);
            }
        }
        Require(world.hero.x >= 2 && world.hero.x < World::kWidth && world.hero.y >= 2 &&
                    world.hero.y < World::kHeight,
                "the hero outside the walls");
    }

  private:
    void CheckRow(const World& world, int y) {
        for (int x = 1; x <= World::kWidth; ++x) {
            char before = lastGrid_[y - 1][x - 1];
            char now = world.grid[y - 1][x - 1];
            if (now != before) {
                bool pickedUp = before >= '1' && before <= '7' && now == World::kFloor;
                bool killed = before == World::kMonster && now == World::kKilled;
                Require(pickedUp || killed, "a cell changed as play does not allow");
                lastGrid_[y - 1][x - 1] = now;
            }
            CheckSeen(world, x, y);
        }
    }

    void CheckSeen(const World& world, int x, int y) {
        std::int16_t seen = world.seen[y - 1][x - 1];
        Require(seen == 0 || seen == 1, "a seen flag other than 0 and 1");
        Require(seen >= seen_[y - 1][x - 1], "a seen cell became unseen");
        seen_[y - 1][x - 1] = seen;
    }

    bool started_ = false;
    char lastGrid_[World::kHeight][World::kWidth] = {};
    std::int16_t seen_[World::kHeight][World::kWidth] = {};
};

// The keys of the input, typed one stroke per wait. A byte below 0x80 walks: one of the
// four direction digits, up to 8 times. 0x80..0xBF answers a fight's question the same
// way. 0xFF is followed by a raw event of four bytes (flags, virtual key, scan code,
// character); any other byte types the character of the byte after it.
class Keyboard {
  public:
    Keyboard(dungeon::fuzz::Input& in, dungeon::MemoryPlatform& platform)
        : in_(in), platform_(platform) {}

    bool TypeNext() {
        if (repeats_ == 0) {
            if (in_.Empty()) {
                return false;
            }
            std::uint8_t b = in_.Byte();
            if (b < 0x80) {
                key_ = "2468"[b & 3];
                repeats_ = ((b >> 2) & 7) + 1;
            } else if (b < 0xC0) {
                key_ = "fk"[b & 1];
                repeats_ = ((b >> 1) & 7) + 1;
            } else if (b == 0xFF) {
                PushRaw();
                return true;
            } else {
                key_ = static_cast<char>(in_.Byte());
                repeats_ = 1;
            }
        }
        --repeats_;
        platform_.TypeCharacter(key_);
        return true;
    }

  private:
    void PushRaw() {
        std::uint8_t flags = in_.Byte();
        dungeon::InputEvent event;
        event.kind = (flags & 0x80) != 0 ? dungeon::InputEvent::Kind::kOther
                                         : dungeon::InputEvent::Kind::kKey;
        event.key.keyDown = (flags & 0x40) == 0;
        // Modifiers from the low bits: right/left Alt, right/left Ctrl, Shift, Num Lock.
        event.key.controlKeyState = flags & 0x3F;
        event.key.virtualKey = in_.Byte();
        event.key.scanCode = in_.Byte();
        event.key.character = in_.Byte();
        platform_.PushEvent(event);
    }

    dungeon::fuzz::Input& in_;
    dungeon::MemoryPlatform& platform_;
    char key_ = 0;
    int repeats_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    dungeon::fuzz::Input in(data, size);
    dungeon::MemoryPlatform platform(80, 25);
    platform.SetTickCount(in.Long());
    Referee referee;
    Keyboard keyboard(in, platform);
    int waits = 0;
    platform.SetWaitHook([&] {
        referee.Check(dungeon::TheWorld());
        ++waits;
        return keyboard.TypeNext();
    });
    int status = dungeon::RunProgram(platform);
    Require(status == 0 || status == 1, "an exit status other than 0 and 1");
    Require(!platform.IsOpen(), "the console was not given back");
    Require(waits > 0, "the game never waited for a key");
    referee.Check(dungeon::TheWorld());
    return 0;
}
