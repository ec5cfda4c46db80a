#pragma once

#include <cstdint>

#include "base/text.h"

namespace dungeon {

// A rectangle of the console screen through which texts are written and keys read.
// It stores only its corners and a line cursor; the characters live on the screen.
// Every operation first makes the rectangle the console's window, so panes can share
// the one screen. A plain value: copying it copies the five fields.
struct TextPane {
    // The line cursor never rises above this, whatever the pane's height.
    static constexpr std::int16_t kLastLine = 20;

    std::int16_t x1 = 0;
    std::int16_t y1 = 0;
    std::int16_t x2 = 0;
    std::int16_t y2 = 0;
    std::int16_t line = 1;

    void Init(std::int16_t x, std::int16_t y, std::int16_t width, std::int16_t height);
    void Clear();
    void WriteLine(const Text& text);
    void WriteAt(std::int16_t x, std::int16_t y, const Text& text);
    // Waits for a key; an extended key takes two calls (0, then its code).
    char ReadKey();
    // Whether `key`, as ReadKey gave it, is a 0 after which nothing can follow: the keyboard
    // is gone and no key is left. A key read loop must stop then instead of waiting for ever.
    static bool KeyboardGone(char key);

  private:
    void Select() const;
};

}  // namespace dungeon
