#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "console/cell_grid.h"
#include "console/platform.h"

namespace dungeon {

// A console held in memory: a grid of cells, a cursor and a queue of key events that a
// test fills. Every test of the game runs on it. When the console layer waits for input,
// the wait hook runs (a test can look at the screen there and queue further keys); the
// input counts as gone once the hook declines or none is set.
class MemoryPlatform : public Platform {
  public:
    explicit MemoryPlatform(int width = 80, int height = 25, std::uint16_t attribute = 7);

    // Platform
    OpenResult Open() override;
    void Close() override;
    bool GetScreenBufferInfo(ScreenBufferInfo& info) override;
    void ScrollRect(const Rect& source, const Rect& clip, int destX, int destY, Cell fill) override;
    void WriteCell(int x, int y, Cell cell) override;
    void SetCursorPosition(int x, int y) override;
    bool GetCursorInfo(CursorInfo& info) override;
    void SetCursorInfo(const CursorInfo& info) override;
    int PendingEventCount() override;
    bool ReadEvent(InputEvent& event) override;
    bool WaitForInput() override;
    std::uint32_t TickCount() override { return tickCount_; }
    void Present() override { ++presentCount_; }

    // Set-up for tests.
    void SetOpenResult(OpenResult result) { openResult_ = result; }
    void SetScreenBufferInfoReadable(bool readable) { infoReadable_ = readable; }
    void SetTickCount(std::uint32_t ticks) { tickCount_ = ticks; }
    void SetCursor(int x, int y);
    // Runs whenever the console waits for input; return false when no more input will come.
    void SetWaitHook(std::function<bool()> hook) { waitHook_ = std::move(hook); }

    // Queuing input.
    void PushEvent(const InputEvent& event) { events_.push_back(event); }
    void PushKey(const KeyEvent& key);
    // A press and its release, as a PC console reports one key stroke.
    void PushStroke(const KeyEvent& press);
    // The key stroke that types `character` on a US keyboard.
    void TypeCharacter(char character);
    void Type(const std::string& characters);
    // A key without a character (arrows, function keys), with the given modifiers.
    void PressSpecialKey(std::uint16_t virtualKey, std::uint16_t scanCode,
                         std::uint32_t controlKeyState = kEnhancedKey);
    std::size_t QueuedEvents() const { return events_.size(); }

    // Reading the screen.
    int Width() const { return grid_.Width(); }
    int Height() const { return grid_.Height(); }
    Cell At(int x, int y) const;
    // All cells, row by row, Width() per row.
    const Cell* Cells() const { return grid_.Data(); }
    std::string Row(int y) const;
    // All rows, each followed by a line end.
    std::string Screen() const;
    int CursorX() const { return cursorX_; }
    int CursorY() const { return cursorY_; }
    bool CursorVisible() const { return cursor_.visible; }
    bool IsOpen() const { return open_; }
    int PresentCount() const { return presentCount_; }
    int CloseCount() const { return closeCount_; }

  private:
    std::uint16_t attribute_;
    CellGrid grid_;
    int cursorX_ = 1;
    int cursorY_ = 1;
    CursorInfo cursor_;
    std::deque<InputEvent> events_;
    std::function<bool()> waitHook_;
    OpenResult openResult_ = OpenResult::kOk;
    bool infoReadable_ = true;
    bool open_ = false;
    std::uint32_t tickCount_ = 0;
    int presentCount_ = 0;
    int closeCount_ = 0;
};

}  // namespace dungeon
