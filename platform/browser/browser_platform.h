#pragma once

#include <cstddef>
#include <cstdint>

#include "console/cell_grid.h"
#include "console/platform.h"
#include "platform/vt/key_decoder.h"
#include "platform/vt/screen_renderer.h"

namespace dungeon {

// The console in a web page: the program runs as WebAssembly, and a terminal emulator on
// the page (xterm.js) shows it. The platform keeps its own 80 x 25 cell buffer, as the
// Win32 screen buffer would; Present sends the page what changed, rendered as VT escape
// sequences, and the bytes the page's terminal reports for typed keys are decoded into
// PC key events. Waiting for a key suspends the program (Asyncify) and hands the page back
// to the browser until a key arrives.
class BrowserPlatform : public Platform {
  public:
    BrowserPlatform();

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
    std::uint32_t TickCount() override;
    void Present() override;

    // The size the game keeps, whatever the page's window.
    static constexpr int kWidth = 80;
    static constexpr int kHeight = 25;

  private:
    static void WriteToPage(void* context, const char* bytes, std::size_t count);
    bool TakeInput();
    void TakeDecoded();

    bool open_ = false;
    int cursorX_ = 1;
    int cursorY_ = 1;
    CursorInfo cursor_;
    CellGrid grid_;

    KeyDecoder decoder_;
    // The key events decoded and not yet read.
    static constexpr int kEventCapacity = 4096;
    InputEvent events_[kEventCapacity];
    int eventHead_ = 0;
    int eventCount_ = 0;
    ScreenRenderer renderer_;
    OutputBuffer output_;
};

// Between two games: tells the page how the last one ended and waits until it asks for a
// new one. False when the page will never ask (it is going away).
bool AwaitNextGame(int exitStatus);

}  // namespace dungeon
