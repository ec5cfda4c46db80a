#include "platform/win32/win32_platform.h"

#include <algorithm>
#include <atomic>
#include <utility>

#include "console/changed_rectangles.h"
#include "console/cp437.h"
#include "platform/system_platform.h"
#include "platform/win32/win32_coords.h"

namespace dungeon {
namespace {

// Processed input would make Ctrl+C a signal, not a key; mouse and VT-encoded input are not wanted.
constexpr DWORD kInputModeOff =
    ENABLE_PROCESSED_INPUT | ENABLE_MOUSE_INPUT | ENABLE_VIRTUAL_TERMINAL_INPUT;
// In percent of a cell: the usual size, and the range the console accepts in any change.
constexpr DWORD kUsualCursorSize = 25, kMinCursorSize = 1, kMaxCursorSize = 100;

std::atomic<Win32Platform*> activePlatform{nullptr};

// Runs on a thread of its own. Ctrl+C is a key to the game, ignored like any other (Wine raises
// the event when it is typed, too). The rest end the game here, as a default handler under Wine
// may not; not by ExitProcess, whose static destructors would wait for the main thread's lock.
BOOL WINAPI OnControlEvent(DWORD event) {
    if (event != CTRL_C_EVENT) {
        if (Win32Platform* platform = activePlatform.load()) {
            platform->Restore();
        }
        TerminateProcess(GetCurrentProcess(), Win32Platform::kControlEventExitStatus);
    }
    return TRUE;
}

bool IsValid(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

COORD ToCoord(int x, int y) {
    return COORD{ToConsoleCoordinate(x), ToConsoleCoordinate(y)};
}

// A character as the PC's byte; what code page 437 lacks is "?", as in a console of that code page.
std::uint8_t ToPcByte(WCHAR character) {
    return Cp437FromCharacter(character).value_or('?');
}

InputEvent ToInputEvent(const INPUT_RECORD& record) {
    if (record.EventType != KEY_EVENT) {
        return InputEvent{InputEvent::Kind::kOther, KeyEvent{}};
    }
    const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
    return InputEvent{InputEvent::Kind::kKey,
                      KeyEvent{key.bKeyDown != FALSE, key.wVirtualKeyCode, key.wVirtualScanCode,
                               ToPcByte(key.uChar.UnicodeChar), key.dwControlKeyState}};
}

// Copies the cells of `rect` between `cells` and the console: `call` is the read or the write.
template <typename Call>
bool CopyCells(HANDLE output, std::vector<CHAR_INFO>& cells, const Rect& rect, Call call) {
    const COORD size{static_cast<SHORT>(rect.right - rect.left + 1),
                     static_cast<SHORT>(rect.bottom - rect.top + 1)};
    SMALL_RECT region{ToConsoleCoordinate(rect.left), ToConsoleCoordinate(rect.top),
                      ToConsoleCoordinate(rect.right), ToConsoleCoordinate(rect.bottom)};
    return call(output, cells.data(), size, COORD{0, 0}, &region) != FALSE;
}

// The standard handle if it is a console, else the console's own device.
template <typename IsConsole>
Win32Device OpenDevice(DWORD standard, const char* name, IsConsole isConsole) {
    const HANDLE handle = GetStdHandle(standard);
    if (isConsole(handle)) {
        return {handle, false};
    }
    return {CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, 0, nullptr),
            true};
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
    if (open_) {  // the program ends without closing the console: what it drew still goes out
        Present(*screen_);
        Close();
    }
}

std::optional<OpenError> Win32Platform::Open(Screen& screen) {
    if (open_) {
        return OpenError::kInUse;
    }
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (std::optional<OpenError> error = OpenOutput(info)) {
        CloseDevices();
        return error;
    }
    OpenInput();
    ShowTopOfBuffer(info.srWindow);
    screen.Reset(info.dwSize.X, info.dwSize.Y, static_cast<std::uint8_t>(info.wAttributes));
    ReadCursor(screen, info.dwCursorPosition);
    ReadCells(screen);
    screen_ = &screen;
    next_.reset();
    // Closing the window, logging off or Ctrl+Break must not leave the shell in raw mode.
    activePlatform.store(this);
    SetConsoleCtrlHandler(OnControlEvent, TRUE);
    open_ = true;
    return std::nullopt;
}

std::optional<OpenError> Win32Platform::OpenOutput(CONSOLE_SCREEN_BUFFER_INFO& info) {
    const auto readInfo = [&info](HANDLE handle) {
        return GetConsoleScreenBufferInfo(handle, &info) != FALSE;
    };
    output_ = OpenDevice(STD_OUTPUT_HANDLE, "CONOUT$", readInfo);
    if (!IsValid(output_.handle)) {
        return OpenError::kNoDevice;
    }
    return readInfo(output_.handle) ? std::nullopt : std::optional(OpenError::kNotAConsole);
}

// Without any console input no key will ever come; the game still draws.
void Win32Platform::OpenInput() {
    DWORD mode = 0;
    const auto readMode = [&mode](HANDLE handle) { return GetConsoleMode(handle, &mode) != FALSE; };
    input_ = OpenDevice(STD_INPUT_HANDLE, "CONIN$", readMode);
    const bool modeSet =
        readMode(input_.handle) && SetConsoleMode(input_.handle, mode & ~kInputModeOff);
    originalMode_ = modeSet ? std::optional(mode) : std::nullopt;
}

// The game draws from the top of the buffer, which a shell's output may have scrolled out of
// view (the classic host gives a window 9001 rows): the view goes back up there.
void Win32Platform::ShowTopOfBuffer(const SMALL_RECT& view) {
    if (view.Top != 0 || view.Left != 0) {
        const SMALL_RECT top{0, 0, static_cast<SHORT>(view.Right - view.Left),
                             static_cast<SHORT>(view.Bottom - view.Top)};
        SetConsoleWindowInfo(output_.handle, TRUE, &top);
    }
}

void Win32Platform::ReadCursor(Screen& screen, COORD position) {
    shownAt_ = position;
    screen.SetCursor(FromConsoleCoordinate(position.X), FromConsoleCoordinate(position.Y));
    // Remembered so that a cursor the game hides is shown again at the end.
    CONSOLE_CURSOR_INFO cursor{};
    const bool cursorRead = GetConsoleCursorInfo(output_.handle, &cursor) != FALSE;
    originalCursor_ = cursorRead ? std::optional(cursor) : std::nullopt;
    shownCursor_ = originalCursor_.value_or(CONSOLE_CURSOR_INFO{kUsualCursorSize, TRUE});
    shownCursor_.dwSize = std::clamp(shownCursor_.dwSize, kMinCursorSize, kMaxCursorSize);
    screen.SetCursorVisible(shownCursor_.bVisible != FALSE);
}

// What the console shows already (the shell's lines) is part of the picture, which a scroll of
// a window moves like any other cell. The cell buffer is the platform's only allocation.
void Win32Platform::ReadCells(Screen& screen) {
    cells_.assign(static_cast<std::size_t>(kMaxCellsPerWrite), CHAR_INFO{});
    const bool read = ForEachChangedRectangle(screen, kMaxCellsPerWrite, [&](const Rect& rect) {
        if (!CopyCells(output_.handle, cells_, rect, ReadConsoleOutputW)) {
            return false;
        }
        EachCell(cells_, rect, [&](int x, int y, const CHAR_INFO& shown) {
            const auto attribute = static_cast<std::uint8_t>(shown.Attributes);
            screen.Write(x, y, Cell{ToPcByte(shown.Char.UnicodeChar), attribute});
        });
        return true;
    });
    if (read) {
        screen.MarkPresented();
    } else {
        screen.Forget();  // written whole at the first present
    }
}

void Win32Platform::Restore() {
    AcquireSRWLockExclusive(&lock_);
    if (const std::optional<DWORD> mode = std::exchange(originalMode_, std::nullopt)) {
        SetConsoleMode(input_.handle, *mode);
    }
    if (const auto cursor = std::exchange(originalCursor_, std::nullopt)) {
        SetConsoleCursorInfo(output_.handle, &*cursor);
    }
    // The prompt goes below the last picture; the console's view follows the cursor there.
    if (const int lowest = std::exchange(lowestRow_, 0); lowest > 0) {
        SetConsoleCursorPosition(output_.handle,
                                 ToCoord(1, std::min(lowest + 1, screen_->Height())));
    }
    open_ = false;  // what the main thread still presents would undo this
    ReleaseSRWLockExclusive(&lock_);
}

void Win32Platform::Close() {
    if (activePlatform.load() == this) {
        SetConsoleCtrlHandler(OnControlEvent, FALSE);
    }
    Restore();
    Win32Platform* self = this;
    activePlatform.compare_exchange_strong(self, nullptr);
    AcquireSRWLockExclusive(&lock_);
    CloseDevices();
    ReleaseSRWLockExclusive(&lock_);
}

void Win32Platform::CloseDevices() {
    for (Win32Device* device : {&output_, &input_}) {
        if (device->owned && IsValid(device->handle)) {
            CloseHandle(device->handle);
        }
        *device = Win32Device{};
    }
}

bool Win32Platform::Present(const Screen& screen) {
    AcquireSRWLockExclusive(&lock_);
    bool all = open_;
    if (open_ && screen.Changed()) {
        const auto tell = [&](const CONSOLE_CURSOR_INFO& cursor) {
            if (cursor.bVisible != shownCursor_.bVisible &&
                SetConsoleCursorInfo(output_.handle, &cursor)) {
                shownCursor_ = cursor;
            }
        };
        // Hidden before anything is drawn, shown only after.
        const CONSOLE_CURSOR_INFO cursor{shownCursor_.dwSize, screen.CursorVisible()};
        if (!cursor.bVisible) {
            tell(cursor);
        }
        all = ForEachChangedRectangle(screen, kMaxCellsPerWrite, [&](const Rect& rect) {
            EachCell(cells_, rect, [&](int x, int y, CHAR_INFO& shown) {
                const Cell cell = screen.At(x, y);
                shown.Char.UnicodeChar = static_cast<WCHAR>(Cp437CodePoint(cell.character));
                shown.Attributes = cell.attribute;
            });
            const bool written = CopyCells(output_.handle, cells_, rect, WriteConsoleOutputW);
            // Only rows the game wrote count: the shell's lines read at Open are no picture.
            lowestRow_ = written ? std::max(lowestRow_, rect.bottom) : lowestRow_;
            return written;
        });
        const COORD at = ToCoord(screen.CursorX(), screen.CursorY());
        if ((at.X != shownAt_.X || at.Y != shownAt_.Y) &&
            SetConsoleCursorPosition(output_.handle, at)) {
            shownAt_ = at;
        }
        tell(cursor);
    }
    ReleaseSRWLockExclusive(&lock_);
    return all;
}

// Takes the console's next record, if there is none waiting yet: one the console counts or,
// with `waitForOne`, one a read waits for. False when the console cannot be read.
bool Win32Platform::Take(bool waitForOne) {
    DWORD count = 0;
    if (!IsValid(input_.handle) || !GetNumberOfConsoleInputEvents(input_.handle, &count)) {
        return false;
    }
    if (next_ || (count == 0 && !waitForOne)) {
        return true;
    }
    INPUT_RECORD record{};
    DWORD read = 0;
    if (!ReadConsoleInputW(input_.handle, &record, 1, &read)) {
        return false;
    }
    next_ = read == 1 ? std::optional(ToInputEvent(record)) : std::nullopt;
    return true;
}

std::optional<InputEvent> Win32Platform::NextEvent() {
    Take(false);
    return std::exchange(next_, std::nullopt);
}

WaitResult Win32Platform::Wait() {
    // Signalled, yet counted empty (Wine counts late): then a read waits for what comes.
    bool signalled = false;
    for (;;) {
        if (!Take(signalled)) {
            return WaitResult::kClosed;
        }
        if (next_) {
            return WaitResult::kInput;
        }
        if (WaitForSingleObject(input_.handle, INFINITE) != WAIT_OBJECT_0) {
            return WaitResult::kClosed;
        }
        signalled = true;
    }
}

}  // namespace dungeon
