#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "console/platform.h"

namespace dungeon {

// A console handle, and whether it was opened here (the standard handle was redirected).
struct Win32Device {
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool owned = false;
};

// The Windows console. Present writes what changed in a few rectangles, with the wide call and
// the code page 437 glyphs: no picture is seen half-drawn, every code page shows the same.
// Waiting blocks on the input handle. Tests may open further instances, one at a time.
class Win32Platform : public Platform {
  public:
    Win32Platform() = default;
    ~Win32Platform() override;
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    std::optional<OpenError> Open(Screen& screen) override;
    bool Present(const Screen& screen) override;
    void Close() override;
    std::optional<InputEvent> NextEvent() override;
    WaitResult Wait() override;
    std::uint32_t Milliseconds() override { return GetTickCount(); }

    // Gives back the input mode and the cursor and puts the cursor below the picture; from
    // Close, or on the system's thread for a control event. Nothing is presented after it.
    void Restore();

    // How Windows ends a console program on Ctrl+Break or when its window closes
    // (STATUS_CONTROL_C_EXIT); a POSIX shell under Wine sees its low 8 bits, 58.
    static constexpr UINT kControlEventExitStatus = 0xC000013A;
    // Older consoles refuse a WriteConsoleOutput call beyond 64 KiB.
    static constexpr int kMaxCellsPerWrite = 8000;

  private:
    std::optional<OpenError> OpenOutput(CONSOLE_SCREEN_BUFFER_INFO& info);
    void OpenInput();
    void ShowTopOfBuffer(const SMALL_RECT& view);
    void ReadCursor(Screen& screen, COORD position);
    void ReadCells(Screen& screen);
    void CloseDevices();
    bool Take(bool waitForOne);

    Win32Device output_;
    Win32Device input_;
    bool open_ = false;  // false again once Restore gave the console back
    std::optional<DWORD> originalMode_;
    std::optional<CONSOLE_CURSOR_INFO> originalCursor_;

    const Screen* screen_ = nullptr;
    // The cursor as the console was last told.
    CONSOLE_CURSOR_INFO shownCursor_{};
    COORD shownAt_{};
    std::vector<CHAR_INFO> cells_;  // one rectangle of cells to or from the console
    int lowestRow_ = 0;             // the lowest row the game wrote: the prompt goes below

    std::optional<InputEvent> next_;  // taken from the console, not yet handed out

    // Restore may run on a control-event thread while the main thread draws or closes.
    SRWLOCK lock_ = SRWLOCK_INIT;
};

}  // namespace dungeon
