#pragma once

#include <cstdint>

#include "console/key_event.h"

namespace dungeon {

// The small interface through which the console layer reaches the outside world.
// Its operations mirror those of a Win32 console (screen buffer information, scrolling
// a clipped rectangle, writing one cell, the cursor, key event records, a tick count),
// so each platform only has to supply those effects: the in-memory one for tests, a
// POSIX terminal and the Windows console. Coordinates are 1-based screen columns/rows.

struct Cell {
    std::uint8_t character = ' ';
    std::uint8_t attribute = 0;

    friend constexpr bool operator==(const Cell&, const Cell&) = default;
};

struct Rect {
    int left = 1;
    int top = 1;
    int right = 1;
    int bottom = 1;
};

struct ScreenBufferInfo {
    int width = 80;
    int height = 25;
    int cursorX = 1;
    int cursorY = 1;
    std::uint16_t attribute = 7;
};

struct CursorInfo {
    int size = 25;
    bool visible = true;
};

enum class OpenResult : std::uint8_t {
    kOk,
    kNoConsoleHandle,     // no console (terminal) to draw on could be opened
    kNoScreenBufferInfo,  // it is no console, or its size and modes cannot be read
};

class Platform {
  public:
    virtual ~Platform() = default;

    // Takes hold of the console: output device, raw key input. On failure nothing is
    // left changed.
    virtual OpenResult Open() = 0;
    // Gives the console back as it was found. Safe to call more than once.
    virtual void Close() = 0;

    virtual bool GetScreenBufferInfo(ScreenBufferInfo& info) = 0;
    // Moves the cells of `source` so that its top-left corner lands on (destX, destY).
    // Only cells inside `clip` change; cells of `source` inside `clip` that nothing
    // moved onto become `fill`.
    virtual void ScrollRect(const Rect& source, const Rect& clip, int destX, int destY,
                            Cell fill) = 0;
    virtual void WriteCell(int x, int y, Cell cell) = 0;
    virtual void SetCursorPosition(int x, int y) = 0;
    virtual bool GetCursorInfo(CursorInfo& info) = 0;
    virtual void SetCursorInfo(const CursorInfo& info) = 0;

    // Number of input events waiting; 0 when it cannot be read. Asked whenever the console
    // looks for keys: a platform may take in the input that has arrived and show what was
    // drawn since the last look, but it never waits here.
    virtual int PendingEventCount() = 0;
    // Takes the oldest waiting event; false if there is none.
    virtual bool ReadEvent(InputEvent& event) = 0;
    // Blocks until further input may have arrived. Returns false once no input can
    // ever arrive again (the terminal is gone, or a test script has run out).
    virtual bool WaitForInput() = 0;

    // Milliseconds since an arbitrary start.
    virtual std::uint32_t TickCount() = 0;

    // The game is about to wait or to end: make the visible screen match the buffer.
    virtual void Present() = 0;
};

}  // namespace dungeon
