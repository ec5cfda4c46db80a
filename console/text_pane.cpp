#include "console/text_pane.h"

#include "console/console.h"

namespace dungeon {
namespace {

// The console takes 8-bit coordinates; only the low 8 bits are passed on.
std::uint8_t Low8(std::int16_t value) {
    return static_cast<std::uint8_t>(value & 0xFF);
}

}  // namespace

void TextPane::Select() const {
    TheConsole().SetWindow(Low8(x1), Low8(y1), Low8(x2), Low8(y2));
}

void TextPane::Init(std::int16_t x, std::int16_t y, std::int16_t width, std::int16_t height) {
    x1 = x;
    y1 = y;
    x2 = static_cast<std::int16_t>(x + width - 1);
    y2 = static_cast<std::int16_t>(y + height - 1);
    line = 1;
    Select();
    TheConsole().ClearWindow();
    TheConsole().HideCursor();
}

void TextPane::Clear() {
    Select();
    TheConsole().ClearWindow();
    line = 1;
}

void TextPane::WriteLine(const Text& text) {
    Select();
    TheConsole().MoveCursor(1, Low8(line));
    TheConsole().WriteText(text);
    if (line < kLastLine) {
        ++line;
    }
}

void TextPane::WriteAt(std::int16_t x, std::int16_t y, const Text& text) {
    Select();
    TheConsole().MoveCursor(Low8(x), Low8(y));
    TheConsole().WriteText(text);
}

bool TextPane::KeyboardGone(char key) {
    return key == 0 && TheConsole().InputLost() && !TheConsole().KeyWaiting();
}

char TextPane::ReadKey() {
    Select();
    // Ask until a key is reported (blocking on the keyboard between the questions rather
    // than polling), then take what GetKey gives: GetKey asks once more itself, so an
    // extended key of code 0 seen by the first question is lost, as on the PC.
    TheConsole().WaitForKey();
    return TheConsole().GetKey();
}

}  // namespace dungeon
