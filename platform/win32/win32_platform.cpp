// The Windows console: the screen buffer and the key event records of kernel32, which the
// console layer's model follows one to one.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <climits>

#include "console/system_platform.h"
#include "platform/win32/win32_coords.h"

namespace dungeon {
namespace {

// The PC character set: bytes show as the glyphs the game was drawn with.
constexpr UINT kPcCodePage = 437;
// Processed input would turn Ctrl+C into a signal instead of a key; mouse records and
// VT-encoded keys would only get in the way of the key events the layer reads.
constexpr DWORD kInputModeOff =
    ENABLE_PROCESSED_INPUT | ENABLE_MOUSE_INPUT | ENABLE_VIRTUAL_TERMINAL_INPUT;
// While a key is pending the layer waits for the event behind it, so the first polls are
// quick; an event left alone in the queue is polled more slowly after a while.
constexpr int kQuickPolls = 50;
constexpr DWORD kQuickPollMs = 1;
constexpr DWORD kSlowPollMs = 10;

BOOL WINAPI RestoreOnControlEvent(DWORD event);

HANDLE OpenDevice(const char* name) {
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}

bool IsValid(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

SMALL_RECT ToSmallRect(const Rect& rect) {
    SMALL_RECT result;
    result.Left = ToConsoleCoordinate(rect.left);
    result.Top = ToConsoleCoordinate(rect.top);
    result.Right = ToConsoleCoordinate(rect.right);
    result.Bottom = ToConsoleCoordinate(rect.bottom);
    return result;
}

COORD ToCoord(int x, int y) {
    COORD result;
    result.X = ToConsoleCoordinate(x);
    result.Y = ToConsoleCoordinate(y);
    return result;
}

CHAR_INFO ToCharInfo(Cell cell) {
    CHAR_INFO result;
    result.Char.AsciiChar = static_cast<CHAR>(cell.character);
    result.Attributes = cell.attribute;
    return result;
}

class Win32Platform : public Platform {
  public:
    ~Win32Platform() override { Close(); }

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
    // The console shows its buffer as it is written; there is nothing to flush.
    void Present() override {}

    // Puts back the input mode, the code pages and the cursor as they were found. Runs
    // on the main thread from Close, or on the system's thread for control events.
    void Restore();

  private:
    bool CountEvents(DWORD& count) const;

    HANDLE output_ = INVALID_HANDLE_VALUE;
    HANDLE input_ = INVALID_HANDLE_VALUE;
    // Devices opened here because standard output or input was redirected.
    HANDLE ownedOutput_ = INVALID_HANDLE_VALUE;
    HANDLE ownedInput_ = INVALID_HANDLE_VALUE;
    bool open_ = false;
    bool handlerInstalled_ = false;

    bool inputModeChanged_ = false;
    DWORD originalInputMode_ = 0;
    bool outputCodePageChanged_ = false;
    UINT originalOutputCodePage_ = 0;
    bool inputCodePageChanged_ = false;
    UINT originalInputCodePage_ = 0;
    bool cursorSaved_ = false;
    CONSOLE_CURSOR_INFO originalCursor_{};

    // Lowest buffer row written (0-based), so the shell continues below the last picture.
    std::atomic<int> lowestRowWritten_{-1};
    // The event count the layer saw last; waiting ends once the queue holds another.
    int lastSeenCount_ = -1;
    // Restore may run on a control-event thread while the main thread closes.
    SRWLOCK lock_ = SRWLOCK_INIT;
};

Win32Platform& TheWin32Platform() {
    static Win32Platform platform;
    return platform;
}

BOOL WINAPI RestoreOnControlEvent(DWORD /*event*/) {
    TheWin32Platform().Restore();
    // Not handled: the default handler still ends the process.
    return FALSE;
}

OpenResult Win32Platform::Open() {
    if (open_) {
        return OpenResult::kOk;
    }
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);

    // Standard output may be redirected: then draw on the console device itself.
    CONSOLE_SCREEN_BUFFER_INFO bufferInfo;
    if (!GetConsoleScreenBufferInfo(output, &bufferInfo)) {
        ownedOutput_ = OpenDevice("CONOUT$");
        if (!IsValid(ownedOutput_)) {
            ownedOutput_ = INVALID_HANDLE_VALUE;
            return OpenResult::kNoConsoleHandle;
        }
        output = ownedOutput_;
        if (!GetConsoleScreenBufferInfo(output, &bufferInfo)) {
            CloseHandle(ownedOutput_);
            ownedOutput_ = INVALID_HANDLE_VALUE;
            return OpenResult::kNoScreenBufferInfo;
        }
    }
    output_ = output;

    // The same for standard input; without any console input no key will ever come.
    DWORD mode = 0;
    bool modeKnown = GetConsoleMode(input, &mode) != FALSE;
    if (!modeKnown) {
        ownedInput_ = OpenDevice("CONIN$");
        if (IsValid(ownedInput_)) {
            input = ownedInput_;
            modeKnown = GetConsoleMode(input, &mode) != FALSE;
        } else {
            ownedInput_ = INVALID_HANDLE_VALUE;
            input = INVALID_HANDLE_VALUE;
        }
    }
    input_ = input;
    if (modeKnown && SetConsoleMode(input_, mode & ~kInputModeOff)) {
        originalInputMode_ = mode;
        inputModeChanged_ = true;
    }

    const UINT outputCodePage = GetConsoleOutputCP();
    if (outputCodePage != 0 && outputCodePage != kPcCodePage && SetConsoleOutputCP(kPcCodePage)) {
        originalOutputCodePage_ = outputCodePage;
        outputCodePageChanged_ = true;
    }
    // Typed characters come in the input code page; the layer takes them as PC bytes.
    const UINT inputCodePage = GetConsoleCP();
    if (inputCodePage != 0 && inputCodePage != kPcCodePage && SetConsoleCP(kPcCodePage)) {
        originalInputCodePage_ = inputCodePage;
        inputCodePageChanged_ = true;
    }

    // Remembered so that a cursor the game hides is shown again at the end.
    cursorSaved_ = GetConsoleCursorInfo(output_, &originalCursor_) != FALSE;
    lowestRowWritten_ = -1;
    lastSeenCount_ = -1;

    // Closing the window, logging off or Ctrl+Break must not leave the shell in raw mode.
    handlerInstalled_ = SetConsoleCtrlHandler(RestoreOnControlEvent, TRUE) != FALSE;
    open_ = true;
    return OpenResult::kOk;
}

void Win32Platform::Restore() {
    AcquireSRWLockExclusive(&lock_);
    if (inputModeChanged_) {
        SetConsoleMode(input_, originalInputMode_);
        inputModeChanged_ = false;
    }
    if (outputCodePageChanged_) {
        SetConsoleOutputCP(originalOutputCodePage_);
        outputCodePageChanged_ = false;
    }
    if (inputCodePageChanged_) {
        SetConsoleCP(originalInputCodePage_);
        inputCodePageChanged_ = false;
    }
    if (cursorSaved_) {
        SetConsoleCursorInfo(output_, &originalCursor_);
        cursorSaved_ = false;
    }
    // The shell's prompt goes below the last picture instead of over it.
    const int lowestRow = lowestRowWritten_.exchange(-1);
    CONSOLE_SCREEN_BUFFER_INFO bufferInfo;
    if (lowestRow >= 0 && GetConsoleScreenBufferInfo(output_, &bufferInfo)) {
        COORD below;
        below.X = 0;
        below.Y = static_cast<SHORT>(std::min(lowestRow + 1, bufferInfo.dwSize.Y - 1));
        SetConsoleCursorPosition(output_, below);
    }
    ReleaseSRWLockExclusive(&lock_);
}

void Win32Platform::Close() {
    if (handlerInstalled_) {
        SetConsoleCtrlHandler(RestoreOnControlEvent, FALSE);
        handlerInstalled_ = false;
    }
    Restore();
    AcquireSRWLockExclusive(&lock_);
    if (IsValid(ownedOutput_)) {
        CloseHandle(ownedOutput_);
    }
    if (IsValid(ownedInput_)) {
        CloseHandle(ownedInput_);
    }
    ownedOutput_ = INVALID_HANDLE_VALUE;
    ownedInput_ = INVALID_HANDLE_VALUE;
    output_ = INVALID_HANDLE_VALUE;
    input_ = INVALID_HANDLE_VALUE;
    open_ = false;
    ReleaseSRWLockExclusive(&lock_);
}

bool Win32Platform::GetScreenBufferInfo(ScreenBufferInfo& info) {
    CONSOLE_SCREEN_BUFFER_INFO bufferInfo;
    if (!GetConsoleScreenBufferInfo(output_, &bufferInfo)) {
        return false;
    }
    // The whole buffer, not only its visible window.
    info.width = bufferInfo.dwSize.X;
    info.height = bufferInfo.dwSize.Y;
    info.cursorX = FromConsoleCoordinate(bufferInfo.dwCursorPosition.X);
    info.cursorY = FromConsoleCoordinate(bufferInfo.dwCursorPosition.Y);
    info.attribute = bufferInfo.wAttributes;
    return true;
}

void Win32Platform::ScrollRect(const Rect& source, const Rect& clip, int destX, int destY,
                               Cell fill) {
    const SMALL_RECT sourceRect = ToSmallRect(source);
    const SMALL_RECT clipRect = ToSmallRect(clip);
    const CHAR_INFO fillInfo = ToCharInfo(fill);
    ScrollConsoleScreenBufferA(output_, &sourceRect, &clipRect, ToCoord(destX, destY), &fillInfo);
}

void Win32Platform::WriteCell(int x, int y, Cell cell) {
    const CHAR_INFO cellInfo = ToCharInfo(cell);
    COORD size;
    size.X = 1;
    size.Y = 1;
    const COORD origin = ToCoord(1, 1);
    SMALL_RECT region = ToSmallRect(Rect{x, y, x, y});
    if (WriteConsoleOutputA(output_, &cellInfo, size, origin, &region) &&
        region.Bottom >= region.Top) {
        int lowest = lowestRowWritten_.load();
        while (region.Bottom > lowest &&
               !lowestRowWritten_.compare_exchange_weak(lowest, region.Bottom)) {
        }
    }
}

void Win32Platform::SetCursorPosition(int x, int y) {
    SetConsoleCursorPosition(output_, ToCoord(x, y));
}

bool Win32Platform::GetCursorInfo(CursorInfo& info) {
    CONSOLE_CURSOR_INFO cursor;
    if (!GetConsoleCursorInfo(output_, &cursor)) {
        return false;
    }
    info.size = static_cast<int>(cursor.dwSize);
    info.visible = cursor.bVisible != FALSE;
    return true;
}

void Win32Platform::SetCursorInfo(const CursorInfo& info) {
    CONSOLE_CURSOR_INFO cursor;
    // The console refuses sizes outside 1..100 percent, visibility change included.
    cursor.dwSize = static_cast<DWORD>(std::clamp(info.size, 1, 100));
    cursor.bVisible = info.visible ? TRUE : FALSE;
    SetConsoleCursorInfo(output_, &cursor);
}

bool Win32Platform::CountEvents(DWORD& count) const {
    count = 0;
    return IsValid(input_) && GetNumberOfConsoleInputEvents(input_, &count) != FALSE;
}

int Win32Platform::PendingEventCount() {
    DWORD count = 0;
    if (!CountEvents(count)) {
        count = 0;
    }
    lastSeenCount_ = static_cast<int>(std::min<DWORD>(count, INT_MAX));
    return lastSeenCount_;
}

bool Win32Platform::ReadEvent(InputEvent& event) {
    // Reading an empty queue would block.
    DWORD count = 0;
    if (!CountEvents(count) || count == 0) {
        return false;
    }
    INPUT_RECORD record;
    DWORD read = 0;
    if (!ReadConsoleInputA(input_, &record, 1, &read) || read != 1) {
        return false;
    }
    event = InputEvent{};
    if (record.EventType != KEY_EVENT) {
        event.kind = InputEvent::Kind::kOther;
        return true;
    }
    const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
    event.kind = InputEvent::Kind::kKey;
    event.key.keyDown = key.bKeyDown != FALSE;
    event.key.virtualKey = key.wVirtualKeyCode;
    event.key.scanCode = key.wVirtualScanCode;
    event.key.character = static_cast<std::uint8_t>(key.uChar.AsciiChar);
    event.key.controlKeyState = key.dwControlKeyState;
    return true;
}

bool Win32Platform::WaitForInput() {
    if (!IsValid(input_)) {
        return false;
    }
    for (int polls = 0;; ++polls) {
        // Blocks while the queue is empty; the handle stays signaled while it is not.
        if (WaitForSingleObject(input_, INFINITE) != WAIT_OBJECT_0) {
            return false;
        }
        DWORD count = 0;
        if (!CountEvents(count)) {
            return false;
        }
        if (static_cast<int>(std::min<DWORD>(count, INT_MAX)) != lastSeenCount_) {
            return true;
        }
        // Only time tells when another event joins those the layer has already seen.
        Sleep(polls < kQuickPolls ? kQuickPollMs : kSlowPollMs);
    }
}

}  // namespace

Platform& SystemPlatform() {
    return TheWin32Platform();
}

}  // namespace dungeon
