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
#include <optional>
#include <vector>

#include "console/platform.h"

namespace dungeon {

// The Windows console. Present copies what changed in the console's screen to the screen
// buffer in a few rectangles, with the wide-character call and the code page 437 glyphs, so
// the screen is never seen half-drawn and looks the same in every console host whatever its
// code page. The cursor, too, is applied at Present. Only the part of the buffer a window
// can reach is read and kept.
//
// Keys: the records the console holds are moved into a bounded queue of our own when the
// layer asks for the next one; waiting blocks on the input handle until the console holds
// a record, so nothing runs while the player thinks.
//
// The program uses one instance (SystemPlatform); tests may open further ones, one at a time.
class Win32Platform : public Platform {
  public:
    Win32Platform() = default;
    ~Win32Platform() override;
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    std::optional<OpenError> Open(Screen& screen) override;
    void Present(Screen& screen) override;
    void Close(const Screen& screen) override;
    std::optional<InputEvent> NextEvent() override;
    WaitResult Wait(std::optional<std::uint32_t> deadline) override;
    std::uint32_t Milliseconds() override { return GetTickCount(); }

    // Puts back the input mode and the cursor as they were found and leaves the cursor
    // below the picture, in view. Runs on the main thread from Close, or on the system's
    // thread for control events; nothing is presented after it.
    void Restore();

    // The exit status of a game ended by Ctrl+Break, by closing its console window, by
    // logging off or by shutting down: STATUS_CONTROL_C_EXIT, what Windows gives any console
    // program its own handler ends, so a batch file or a shell sees the game end like any
    // other interrupted program. (A POSIX shell under Wine sees its low 8 bits, 58.)
    static constexpr UINT kControlEventExitStatus = 0xC000013A;

    // The most cells one WriteConsoleOutput call carries: older consoles refuse calls
    // beyond 64 KiB.
    static constexpr int kMaxCellsPerWrite = 8000;
    static constexpr std::size_t kQueueCapacity = 256;

  private:
    void Close();
    bool Drain();
    bool ReadRecords(DWORD count);
    void Push(const INPUT_RECORD& record);
    void ReadShownCells(Screen& screen);
    bool WriteBand(const Screen& screen, int left, int top, int right, int bottom);

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

    // The screen being carried, and the cursor as the console was last told.
    Screen* screen_ = nullptr;
    int cursorSize_ = 25;
    bool shownCursorVisible_ = true;
    int shownCursorX_ = 0;
    int shownCursorY_ = 0;
    // One band of cells on its way to the console.
    std::vector<CHAR_INFO> band_;
    // Lowest row written to the console, so the shell continues below the last picture.
    int lowestRow_ = 0;
    // Restore has given the console back: presenting stops.
    bool handedBack_ = false;

    std::array<InputEvent, kQueueCapacity> queue_{};
    std::size_t queueHead_ = 0;
    std::size_t queueSize_ = 0;

    // Restore may run on a control-event thread while the main thread draws or closes.
    SRWLOCK lock_ = SRWLOCK_INIT;
};

}  // namespace dungeon
