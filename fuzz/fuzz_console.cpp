// Drives the console layer with arbitrary operations on a screen of 1 x 1 to 255 x 255
// cells: windows asked for, cursor moves, clearing, texts of any bytes and key events. After
// every operation the tracked cursor is on the screen, the window is the one last accepted,
// and no cell outside the window has changed.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "console/console.h"
#include "fuzz/fuzz_input.h"
#include "platform/memory/memory_platform.h"

namespace {

using dungeon::Cell;
using dungeon::fuzz::Require;

struct Window {
    int left;
    int top;
    int right;
    int bottom;
};

class Checker {
  public:
    Checker(const dungeon::MemoryPlatform& platform, const dungeon::Console& console)
        : platform_(platform),
          console_(console),
          width_(platform.Width()),
          height_(platform.Height()),
          window_{1, 1, width_, height_},
          before_(Cells()) {}

    // The layer takes a window exactly when it lies on the screen, corners in order.
    void Asked(int x1, int y1, int x2, int y2) {
        if (x1 >= 1 && y1 >= 1 && x1 <= x2 && x2 <= width_ && y1 <= y2 && y2 <= height_) {
            window_ = Window{x1, y1, x2, y2};
        }
    }

    void Check() {
        Require(console_.CursorX() >= 1 && console_.CursorX() <= width_ &&
                    console_.CursorY() >= 1 && console_.CursorY() <= height_,
                "cursor outside the screen");
        Require(console_.WindowLeft() == window_.left && console_.WindowTop() == window_.top &&
                    console_.WindowRight() == window_.right &&
                    console_.WindowBottom() == window_.bottom,
                "window is not the one last accepted");
        std::vector<Cell> now = Cells();
        for (int y = 1; y <= height_; ++y) {
            for (int x = 1; x <= width_; ++x) {
                auto at = static_cast<std::size_t>((y - 1) * width_ + (x - 1));
                bool inside = x >= window_.left && x <= window_.right && y >= window_.top &&
                              y <= window_.bottom;
                Require(inside || now[at] == before_[at], "a cell outside the window changed");
            }
        }
        before_ = now;
    }

  private:
    std::vector<Cell> Cells() const {
        std::vector<Cell> cells;
        for (int y = 1; y <= height_; ++y) {
            for (int x = 1; x <= width_; ++x) {
                cells.push_back(platform_.At(x, y));
            }
        }
        return cells;
    }

    const dungeon::MemoryPlatform& platform_;
    const dungeon::Console& console_;
    int width_;
    int height_;
    Window window_;
    std::vector<Cell> before_;
};

int ScreenSide(std::uint8_t b) {
    return (b & 0x80) != 0 ? b % 255 + 1 : b % 16 + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    dungeon::fuzz::Input in(data, size);
    // Half the screens are small, so that runs stay fast and windows often touch an edge.
    int width = ScreenSide(in.Byte());
    int height = ScreenSide(in.Byte());
    std::uint8_t attribute = in.Byte();
    dungeon::MemoryPlatform platform(width, height, attribute);
    platform.SetCursor(in.Byte() % width + 1, in.Byte() % height + 1);
    dungeon::Console console;
    Require(console.Start(platform), "the console does not start");
    Checker checker(platform, console);
    checker.Check();

    while (!in.Empty()) {
        switch (in.Byte() % 8) {
            case 0: {
                std::uint8_t x1 = in.Byte();
                std::uint8_t y1 = in.Byte();
                std::uint8_t x2 = in.Byte();
                std::uint8_t y2 = in.Byte();
                console.SetWindow(x1, y1, x2, y2);
                checker.Asked(x1, y1, x2, y2);
                break;
            }
            case 1: {
                std::uint8_t x = in.Byte();
                console.MoveCursor(x, in.Byte());
                break;
            }
            case 2:
                console.ClearWindow();
                break;
            case 3:
            case 4: {
                std::uint8_t bytes[dungeon::Text::kCapacity];
                std::size_t length = in.Bytes(bytes, in.Byte());
                console.WriteText(
                    dungeon::Text(std::string_view(reinterpret_cast<char*>(bytes), length)));
                break;
            }
            case 5: {  // a key event of any kind and content
                dungeon::InputEvent event;
                std::uint8_t flags = in.Byte();
                event.kind = (flags & 1) != 0 ? dungeon::InputEvent::Kind::kOther
                                              : dungeon::InputEvent::Kind::kKey;
                event.key.keyDown = (flags & 2) == 0;
                event.key.virtualKey = in.Byte();
                event.key.scanCode = in.Byte();
                event.key.character = in.Byte();
                event.key.controlKeyState = in.Word();
                platform.PushEvent(event);
                break;
            }
            case 6:
                console.KeyWaiting();
                break;
            case 7:
                // Only a waiting key: without one GetKey would wait for the keyboard.
                if (console.KeyWaiting()) {
                    console.GetKey();
                }
                break;
        }
        checker.Check();
    }
    return 0;
}
