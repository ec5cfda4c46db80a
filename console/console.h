#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "base/text.h"
#include "console/platform.h"
#include "console/screen.h"

namespace dungeon {

// The character screen and the keyboard, used only through the Platform it was started
// on: a window for clearing, writing and scrolling, a cursor, and a one-key look-ahead
// that hands out extended keys as 0 followed by their code. The program has one.
class Console {
  public:
    // Opens the platform, which sizes the screen. On failure the message belonging to it
    // is written to standard error and false comes back.
    bool Start(Platform& platform);
    // Shows the last picture and hands the console back as it was found.
    void Finish();

    void SetWindow(std::uint8_t x1, std::uint8_t y1, std::uint8_t x2, std::uint8_t y2);
    void ClearWindow();
    void MoveCursor(std::uint8_t x, std::uint8_t y);
    void HideCursor();
    void WriteText(const Text& text);
    bool KeyWaiting();
    // Waits for a key. Returns 0 at once when the keyboard is gone for good.
    char GetKey();
    // Blocks until KeyWaiting reports a key; false when the keyboard is gone for good.
    bool WaitForKey();
    bool InputLost() const { return inputLost_; }
    std::uint32_t TickCount();
    // The picture, as the platform shows it once presented.
    const Screen& GetScreen() const { return screen_; }

    // The state of the layer, for tests and for the panes.
    int ScreenWidth() const { return screen_.Width(); }
    int ScreenHeight() const { return screen_.Height(); }
    int WindowLeft() const { return windowLeft_ + 1; }
    int WindowTop() const { return windowTop_ + 1; }
    int WindowRight() const { return windowRight_ + 1; }
    int WindowBottom() const { return windowBottom_ + 1; }
    int CursorX() const { return screen_.CursorX(); }
    int CursorY() const { return screen_.CursorY(); }
    std::uint8_t TextAttribute() const { return screen_.Attribute(); }

    static constexpr const char* kNoHandleMessage = "No way to get the console handle";
    static constexpr const char* kNoInfoMessage = "No way to get console screen buffer info";

  private:
    void Present();
    // WriteText's two kinds of step: a character that moves the cursor, and the ordinary
    // characters up to the window's right edge (how many it wrote comes back).
    static void MoveForControl(std::uint8_t c, const Rect& window, int& x, int& y);
    std::size_t WriteUpToEdge(std::string_view characters, int x, int right, int y);
    // Whether the event yields a key into the look-ahead.
    bool HandleEvent(const InputEvent& event);
    std::uint8_t ExtendedCode(std::uint16_t scanCode, std::uint32_t controlKeyState,
                              std::uint16_t virtualKey);
    Rect Window() const { return Rect{WindowLeft(), WindowTop(), WindowRight(), WindowBottom()}; }
    Cell Blank() const { return Cell{' ', screen_.Attribute()}; }

    Platform* platform_ = nullptr;
    Screen screen_;
    // The newest event taken from the platform, not yet handled.
    std::optional<InputEvent> newest_;
    // Window corners, stored as position - 1 in 8 bits.
    std::uint8_t windowLeft_ = 0;
    std::uint8_t windowTop_ = 0;
    std::uint8_t windowRight_ = 79;
    std::uint8_t windowBottom_ = 24;
    std::uint8_t pendingKey_ = 0;
    bool pendingIsExtended_ = false;
    bool altCodeStarted_ = false;
    std::uint8_t altCode_ = 0;
    bool inputLost_ = false;
};

Console& TheConsole();

}  // namespace dungeon
