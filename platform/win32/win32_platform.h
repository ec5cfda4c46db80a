#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "console/cell_grid.h"
#include "console/platform.h"

namespace dungeon {

// The Windows console. The layer's cells live in a cell grid here, as for a terminal, and
// Present copies what changed to the console's screen buffer in a few rectangles, with the
// wide-character call and the code page 437 glyphs, so the screen is never seen half-drawn
// and looks the same in every console host whatever its code page. The cursor, too, is
// applied at Present.
//
// Keys: every record the console holds is moved into a bounded queue of our own whenever
// the layer counts; waiting blocks on the input handle until the console holds a record the
// layer has not seen, so nothing runs while the player thinks.
//
// The program uses one instance (SystemPlatform); tests may open further ones, one at a time.
class Win32Platform : public Platform {
  public:
    Win32Platform() = default;
    ~Win32Platform() override;
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

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

    std::uint32_t TickCount() override { return GetTickCount(); }
    void Present() override;

    // Puts back the input mode and the cursor as they were found and leaves the cursor
    // below the picture. Runs on the main thread from Close, or on the system's thread for
    // control events.
    void Restore();

    // The most cells one WriteConsoleOutput call carries: older consoles refuse calls
    // beyond 64 KiB.
    static constexpr int kMaxCellsPerWrite = 8000;
    static constexpr std::size_t kQueueCapacity = 256;

  private:
    bool Drain();
    bool ReadRecords(DWORD count);
    void Push(const INPUT_RECORD& record);
    void ReadInitialCells();
    void MarkDirty(int top, int bottom);
    void WriteBand(int left, int top, int right, int bottom);
    CHAR_INFO& Front(int x, int y) {
        return front_[static_cast<std::size_t>((y - 1) * info_.width + (x - 1))];
    }

    HANDLE output_ = INVALID_HANDLE_VALUE;
    HANDLE input_ = INVALID_HANDLE_VALUE;
    // Devices opened here because standard output or input was redirected.
    HANDLE ownedOutput_ = INVALID_HANDLE_VALUE;
    HANDLE ownedInput_ = INVALID_HANDLE_VALUE;
    bool open_ = false;
    bool handlerInstalled_ = false;

    bool inputModeChanged_ = false;
    DWORD originalInputMode_ = 0;
    bool cursorSaved_ = false;
    CONSOLE_CURSOR_INFO originalCursor_{};

    // The screen buffer as found at Open; the cursor as the layer wants it, and as the
    // console was last told.
    ScreenBufferInfo info_;
    CursorInfo cursor_;
    int cursorX_ = 1;
    int cursorY_ = 1;
    CursorInfo shownCursor_;
    int shownCursorX_ = 0;
    int shownCursorY_ = 0;

    CellGrid grid_;
    // What the console shows, as it was written there.
    std::vector<CHAR_INFO> front_;
    std::vector<CHAR_INFO> band_;
    // Rows that may differ from the console; 0 when none.
    int dirtyTop_ = 0;
    int dirtyBottom_ = 0;
    // Lowest buffer row written (1-based), so the shell continues below the last picture.
    int lowestRowWritten_ = 0;

    std::array<InputEvent, kQueueCapacity> queue_{};
    std::size_t queueHead_ = 0;
    std::size_t queueSize_ = 0;
    // Events in the queue that the layer has counted; waiting ends once there are more.
    std::size_t seenCount_ = 0;

    // Restore may run on a control-event thread while the main thread draws or closes.
    SRWLOCK lock_ = SRWLOCK_INIT;
};

}  // namespace dungeon
