#include "platform/win32/win32_platform.h"

#include <algorithm>
#include <atomic>

#include "console/cp437.h"
#include "platform/system_platform.h"
#include "platform/win32/win32_coords.h"

namespace dungeon {
namespace {

// Processed input would turn Ctrl+C into a signal instead of a key; mouse records and
// VT-encoded keys would only get in the way of the key events the layer reads.
constexpr DWORD kInputModeOff =
    ENABLE_PROCESSED_INPUT | ENABLE_MOUSE_INPUT | ENABLE_VIRTUAL_TERMINAL_INPUT;
// Records taken from the console per call.
constexpr DWORD kReadBatch = 64;

// The open platform, for the control-event handler.
std::atomic<Win32Platform*> activePlatform{nullptr};

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI OnControlEvent(DWORD event) {
    if (event == CTRL_C_EVENT) {
        // Ctrl+C is an ordinary key to the game, and ignored like one: the game plays on in
        // its modes. Windows raises the event only when another program sends it; Wine also
        // when it is typed, even with processed input off.
        return TRUE;
    }
    // Ctrl+Break, the window closed, logging off, shutting down: the game ends here, on
    // every host alike (under Wine a default handler may leave the process running).
    if (Win32Platform* platform = activePlatform.load()) {
        platform->Restore();
    }
    // Not ExitProcess: that would run the static destructors, whose close waits for the lock
    // the main thread may hold when it is cut off. The game has nothing left to flush.
    TerminateProcess(GetCurrentProcess(), Win32Platform::kControlEventExitStatus);
    return TRUE;
}

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

// Moves the console's view, keeping its size, so that its top row is `top` (0-based) and
// its left column the buffer's first.
void MoveView(HANDLE output, const SMALL_RECT& view, SHORT top) {
    SMALL_RECT moved;
    moved.Left = 0;
    moved.Top = top;
    moved.Right = static_cast<SHORT>(view.Right - view.Left);
    moved.Bottom = static_cast<SHORT>(top + (view.Bottom - view.Top));
    SetConsoleWindowInfo(output, TRUE, &moved);
}

CHAR_INFO ToCharInfo(Cell cell) {
    CHAR_INFO result;
    result.Char.UnicodeChar = static_cast<WCHAR>(Cp437CodePoint(cell.character));
    result.Attributes = cell.attribute;
    return result;
}

// A typed character as the PC keyboard's byte; what code page 437 lacks becomes "?", as a
// console would give it in that code page.
std::uint8_t ToPcByte(WCHAR character) {
    if (character < 0x80) {
        return static_cast<std::uint8_t>(character);
    }
    return Cp437FromCodePoint(character).value_or(static_cast<std::uint8_t>('?'));
}

}  // namespace

Platform& SystemPlatform() {
    static Win32Platform platform;
    return platform;
}

int RunOnSystemPlatform(int (*program)(Platform&)) {
    return program(SystemPlatform());
}

Win32Platform::~Win32Platform() {
    if (open_) {
        // The program ends without closing the console: what it drew still goes out.
        Present(*screen_);
        Close();
    }
}

std::optional<OpenError> Win32Platform::Open(Screen& screen) {
    if (open_) {
        return OpenError::kInUse;
    }
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);

    // Standard output may be redirected: then draw on the console device itself.
    CONSOLE_SCREEN_BUFFER_INFO bufferInfo;
    if (!GetConsoleScreenBufferInfo(output, &bufferInfo)) {
        ownedOutput_ = OpenDevice("CONOUT$");
        if (!IsValid(ownedOutput_)) {
            ownedOutput_ = INVALID_HANDLE_VALUE;
            return OpenError::kNoDevice;
        }
        output = ownedOutput_;
        if (!GetConsoleScreenBufferInfo(output, &bufferInfo)) {
            CloseHandle(ownedOutput_);
            ownedOutput_ = INVALID_HANDLE_VALUE;
            return OpenError::kNotAConsole;
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

    // The game draws from the top of the buffer, which a shell's output may have scrolled out
    // of view (the classic host gives a window 9001 rows): the view goes back up there.
    if (bufferInfo.srWindow.Top != 0 || bufferInfo.srWindow.Left != 0) {
        MoveView(output_, bufferInfo.srWindow, 0);
    }
    // The whole buffer, not only its visible window.
    screen.Reset(std::max<int>(bufferInfo.dwSize.X, 1), std::max<int>(bufferInfo.dwSize.Y, 1),
                 static_cast<std::uint8_t>(bufferInfo.wAttributes & 0xFF));
    shownCursorX_ = FromConsoleCoordinate(bufferInfo.dwCursorPosition.X);
    shownCursorY_ = FromConsoleCoordinate(bufferInfo.dwCursorPosition.Y);
    screen.SetCursor(shownCursorX_, shownCursorY_);

    // Remembered so that a cursor the game hides is shown again at the end.
    cursorSaved_ = GetConsoleCursorInfo(output_, &originalCursor_) != FALSE;
    cursorSize_ = 25;
    shownCursorVisible_ = true;
    if (cursorSaved_) {
        cursorSize_ = static_cast<int>(originalCursor_.dwSize);
        shownCursorVisible_ = originalCursor_.bVisible != FALSE;
    }
    screen.SetCursorVisible(shownCursorVisible_);

    // The only allocation: one band's worth of cells.
    band_.assign(static_cast<std::size_t>(kMaxCellsPerWrite), CHAR_INFO{});
    ReadShownCells(screen);
    screen_ = &screen;
    lowestRow_ = 0;
    handedBack_ = false;
    queueHead_ = 0;
    queueSize_ = 0;

    // Closing the window, logging off or Ctrl+Break must not leave the shell in raw mode.
    activePlatform.store(this);
    handlerInstalled_ = SetConsoleCtrlHandler(OnControlEvent, TRUE) != FALSE;
    open_ = true;
    return std::nullopt;
}

void Win32Platform::ReadShownCells(Screen& screen) {
    // What stands on the console already (the shell's lines) is part of the picture: a
    // scroll of a window moves it like any other cell. Only what a window can reach.
    const int width = screen.KeptWidth();
    const int rowsPerRead = std::max(1, kMaxCellsPerWrite / width);
    bool allRead = true;
    for (int top = 1; top <= screen.KeptHeight(); top += rowsPerRead) {
        const int bottom = std::min(screen.KeptHeight(), top + rowsPerRead - 1);
        COORD size;
        size.X = static_cast<SHORT>(width);
        size.Y = static_cast<SHORT>(bottom - top + 1);
        SMALL_RECT region = ToSmallRect(Rect{1, top, width, bottom});
        if (!ReadConsoleOutputW(output_, band_.data(), size, ToCoord(1, 1), &region)) {
            allRead = false;
            continue;
        }
        for (int y = top; y <= bottom; ++y) {
            for (int x = 1; x <= width; ++x) {
                const CHAR_INFO& shown =
                    band_[static_cast<std::size_t>((y - top) * width + (x - 1))];
                screen.Write(x, y,
                             Cell{ToPcByte(shown.Char.UnicodeChar),
                                  static_cast<std::uint8_t>(shown.Attributes & 0xFF)});
            }
        }
    }
    screen.MarkPresented();
    if (!allRead) {
        screen.Forget();  // what the console shows is not known: it is all written anew
    }
}

void Win32Platform::Restore() {
    AcquireSRWLockExclusive(&lock_);
    if (inputModeChanged_) {
        SetConsoleMode(input_, originalInputMode_);
        inputModeChanged_ = false;
    }
    if (cursorSaved_) {
        SetConsoleCursorInfo(output_, &originalCursor_);
        cursorSaved_ = false;
    }
    // The shell's prompt goes below the last picture instead of over it.
    const int lowestRow = lowestRow_;
    lowestRow_ = 0;
    if (lowestRow > 0 && screen_ != nullptr) {
        // The console moves its view to show the cursor, so the view follows the prompt.
        SetConsoleCursorPosition(output_, ToCoord(1, std::min(lowestRow + 1, screen_->Height())));
    }
    // Whatever the main thread still presents would undo this.
    handedBack_ = true;
    ReleaseSRWLockExclusive(&lock_);
}

void Win32Platform::Close(const Screen&) {
    Close();
}

void Win32Platform::Close() {
    if (handlerInstalled_) {
        SetConsoleCtrlHandler(OnControlEvent, FALSE);
        handlerInstalled_ = false;
    }
    Restore();
    Win32Platform* self = this;
    activePlatform.compare_exchange_strong(self, nullptr);
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

bool Win32Platform::WriteBand(const Screen& screen, int left, int top, int right, int bottom) {
    const int width = right - left + 1;
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) {
            band_[static_cast<std::size_t>((y - top) * width + (x - left))] =
                ToCharInfo(screen.At(x, y));
        }
    }
    COORD size;
    size.X = static_cast<SHORT>(width);
    size.Y = static_cast<SHORT>(bottom - top + 1);
    SMALL_RECT region = ToSmallRect(Rect{left, top, right, bottom});
    if (!WriteConsoleOutputW(output_, band_.data(), size, ToCoord(1, 1), &region)) {
        return false;
    }
    // Only rows the game changed count: the shell's lines read in at Open are no picture.
    lowestRow_ = std::max(lowestRow_, bottom);
    return true;
}

void Win32Platform::Present(Screen& screen) {
    if (!open_ || !screen.Changed()) {
        return;
    }
    AcquireSRWLockExclusive(&lock_);
    if (handedBack_) {
        ReleaseSRWLockExclusive(&lock_);
        return;
    }
    auto setCursorInfo = [&](bool visible) {
        CONSOLE_CURSOR_INFO info;
        // The console refuses sizes outside 1..100 percent, visibility change included.
        info.dwSize = static_cast<DWORD>(std::clamp(cursorSize_, 1, 100));
        info.bVisible = visible ? TRUE : FALSE;
        if (SetConsoleCursorInfo(output_, &info)) {
            shownCursorVisible_ = visible;
        }
    };
    if (shownCursorVisible_ && !screen.CursorVisible()) {
        setCursorInfo(false);  // hidden before anything is drawn
    }

    // Changed rows gather into one rectangle for as long as it stays within one call's
    // room; unchanged cells inside it are simply written again.
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool written = true;
    for (int y = screen.FirstChangedRow(); y <= screen.LastChangedRow(); ++y) {
        const Span span = screen.ChangedSpan(y);
        int first = 0;
        int last = 0;
        for (int x = span.left; x <= span.right; ++x) {
            if (!screen.PresentedKnown() || !(screen.At(x, y) == screen.Presented(x, y))) {
                first = first == 0 ? x : first;
                last = x;
            }
        }
        if (first == 0) {
            continue;
        }
        if (top != 0) {
            const int newLeft = std::min(left, first);
            const int newRight = std::max(right, last);
            if ((newRight - newLeft + 1) * (y - top + 1) <= kMaxCellsPerWrite) {
                left = newLeft;
                right = newRight;
                bottom = y;
                continue;
            }
            written = WriteBand(screen, left, top, right, bottom) && written;
        }
        left = first;
        right = last;
        top = y;
        bottom = y;
    }
    if (top != 0) {
        written = WriteBand(screen, left, top, right, bottom) && written;
    }

    if (screen.CursorX() != shownCursorX_ || screen.CursorY() != shownCursorY_) {
        if (SetConsoleCursorPosition(output_, ToCoord(screen.CursorX(), screen.CursorY()))) {
            shownCursorX_ = screen.CursorX();
            shownCursorY_ = screen.CursorY();
        }
    }
    if (screen.CursorVisible() != shownCursorVisible_) {
        setCursorInfo(screen.CursorVisible());
    }
    screen.MarkPresented();
    if (!written) {
        screen.Forget();  // tried again, whole, at the next present
    }
    ReleaseSRWLockExclusive(&lock_);
}

void Win32Platform::Push(const INPUT_RECORD& record) {
    InputEvent event;
    if (record.EventType == KEY_EVENT) {
        const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
        event.kind = InputEvent::Kind::kKey;
        event.key.keyDown = key.bKeyDown != FALSE;
        event.key.virtualKey = key.wVirtualKeyCode;
        event.key.scanCode = key.wVirtualScanCode;
        event.key.character = ToPcByte(key.uChar.UnicodeChar);
        event.key.controlKeyState = key.dwControlKeyState;
    } else {
        event.kind = InputEvent::Kind::kOther;
    }
    queue_[(queueHead_ + queueSize_) % kQueueCapacity] = event;
    ++queueSize_;
}

bool Win32Platform::ReadRecords(DWORD count) {
    INPUT_RECORD records[kReadBatch];
    DWORD read = 0;
    if (!ReadConsoleInputW(input_, records, std::min(count, kReadBatch), &read)) {
        return false;
    }
    for (DWORD i = 0; i < read; ++i) {
        Push(records[i]);
    }
    return true;
}

bool Win32Platform::Drain() {
    if (!IsValid(input_)) {
        return false;
    }
    while (queueSize_ < kQueueCapacity) {
        DWORD count = 0;
        if (!GetNumberOfConsoleInputEvents(input_, &count)) {
            return false;
        }
        if (count == 0) {
            return true;
        }
        // Never more than the console holds, so the read returns at once.
        const auto room = static_cast<DWORD>(kQueueCapacity - queueSize_);
        if (!ReadRecords(std::min(count, room))) {
            return false;
        }
    }
    return true;
}

std::optional<InputEvent> Win32Platform::NextEvent() {
    if (queueSize_ == 0) {
        Drain();
    }
    if (queueSize_ == 0) {
        return std::nullopt;
    }
    InputEvent event = queue_[queueHead_];
    queueHead_ = (queueHead_ + 1) % kQueueCapacity;
    --queueSize_;
    return event;
}

WaitResult Win32Platform::Wait(std::optional<std::uint32_t> deadline) {
    for (;;) {
        if (!Drain()) {
            return WaitResult::kClosed;
        }
        if (queueSize_ != 0) {
            return WaitResult::kInput;
        }
        DWORD timeout = INFINITE;
        if (deadline) {
            auto left = static_cast<std::int32_t>(*deadline - Milliseconds());
            if (left <= 0) {
                return WaitResult::kDeadline;
            }
            timeout = static_cast<DWORD>(left);
        }
        // The console's queue is empty: sleep until it holds something.
        DWORD waited = WaitForSingleObject(input_, timeout);
        if (waited == WAIT_TIMEOUT) {
            continue;
        }
        if (waited != WAIT_OBJECT_0 || !Drain()) {
            return WaitResult::kClosed;
        }
        if (queueSize_ != 0) {
            return WaitResult::kInput;
        }
        // Signalled, yet counted empty (Wine counts late): a read waits for what comes.
        if (!ReadRecords(static_cast<DWORD>(kQueueCapacity - queueSize_))) {
            return WaitResult::kClosed;
        }
        if (queueSize_ != 0) {
            return WaitResult::kInput;
        }
    }
}

}  // namespace dungeon
