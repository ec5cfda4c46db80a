#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "console/platform.h"

namespace dungeon {

// A console held in memory, for tests, fuzzers and benchmarks: it shows the console's
// screen, takes key events that a test queues, and has a clock the test sets. When the
// console layer waits for input, the wait hook runs (a test can look at the screen there
// and queue further keys); the input counts as gone once the hook declines or none is set.
class MemoryPlatform : public Platform {
  public:
    // The attribute as a console reports it; its low 8 bits colour the text.
    explicit MemoryPlatform(int width = 80, int height = 25,
                            std::uint16_t attribute = kDefaultAttribute)
        : width_(width), height_(height), attribute_(static_cast<std::uint8_t>(attribute & 0xFF)) {}

    std::optional<OpenError> Open(Screen& screen) override;
    bool Present(const Screen&) override { return true; }
    void Close() override { open_ = false; }
    std::optional<InputEvent> NextEvent() override;
    WaitResult Wait() override;
    std::uint32_t Milliseconds() override { return milliseconds_; }

    void SetOpenError(std::optional<OpenError> error) { openError_ = error; }
    void SetTickCount(std::uint32_t milliseconds) { milliseconds_ = milliseconds; }
    // Where the console's cursor stands when it is opened.
    void SetCursor(int x, int y) { cursorAtOpen_ = {x, y}; }
    // A cell already shown when the console is opened, as a shell's lines stand in a window.
    void Show(int x, int y, Cell cell) { shownAtOpen_.push_back({{x, y}, cell}); }
    // Runs whenever the console waits for input; return false when no more input will come.
    void SetWaitHook(std::function<bool()> hook) { waitHook_ = std::move(hook); }

    void PushEvent(const InputEvent& event) { events_.push_back(event); }
    // A press and its release, as a PC console reports one key.
    void PushStroke(const KeyEvent& press);
    // The press and release of the key that types `character` on a US keyboard.
    void TypeCharacter(char character);
    void Type(const std::string& characters);

    // Reading the screen the console was opened on, as last presented or drawn since.
    int Width() const { return width_; }
    int Height() const { return height_; }
    Cell At(int x, int y) const {
        return screen_ != nullptr ? screen_->At(x, y) : Cell{' ', attribute_};
    }
    int CursorX() const { return screen_ != nullptr ? screen_->CursorX() : cursorAtOpen_.first; }
    int CursorY() const { return screen_ != nullptr ? screen_->CursorY() : cursorAtOpen_.second; }
    bool CursorVisible() const { return screen_ == nullptr || screen_->CursorVisible(); }
    bool IsOpen() const { return open_; }

  private:
    int width_;
    int height_;
    std::uint8_t attribute_;
    std::pair<int, int> cursorAtOpen_{1, 1};
    std::vector<std::pair<std::pair<int, int>, Cell>> shownAtOpen_;
    const Screen* screen_ = nullptr;
    std::deque<InputEvent> events_;
    std::function<bool()> waitHook_;
    std::optional<OpenError> openError_;
    bool open_ = false;
    std::uint32_t milliseconds_ = 0;
};

}  // namespace dungeon
