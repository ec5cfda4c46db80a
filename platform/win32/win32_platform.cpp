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
// Cursor sizes in percent of a cell: the console's usual one, and the range it accepts in
// any change, one of visibility included.
constexpr DWORD kUsualCursorSize = 25;
constexpr DWORD kMinCursorSize = 1;
constexpr DWORD kMaxCursorSize = 100;

// The open platform, for the control-event handler.
std::atomic<Win32Platform*> activePlatform{nullptr};

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI OnControlEvent(DWORD event) {
    // Ctrl+C is an ordinary key to the game, and ignored like one. Windows raises the event
    // only when another program sends it; Wine also when it is typed, processed input off.
    if (event == CTRL_C_EVENT) {
        return TRUE;
    }
    // Ctrl+Break, the window closed, logging off, shutting down: the game ends here on every
    // host alike (under Wine a default handler may leave the process running). Not
    // ExitProcess: the static destructors would wait for the lock the main thread may hold.
    if (Win32Platform* platform = activePlatform.load()) {
        platform->Restore();
    }
    TerminateProcess(GetCurrentProcess(), Win32Platform::kControlEventExitStatus);
    return TRUE;
}

bool IsValid(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

COORD ToCoord(int x, int y) {
    return COORD{ToConsoleCoordinate(x), ToConsoleCoordinate(y)};
}

// A typed or shown character as the PC's byte; what code page 437 lacks becomes "?", as a
// console would give it in that code page.
std::uint8_t ToPcByte(WCHAR character) {
    if (character < 0x80) {
        return static_cast<std::uint8_t>(character);
    }
    return Cp437FromCodePoint(character).value_or(static_cast<std::uint8_t>('?'));
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

// The columns of row y whose cells differ from what the console shows.
Span DifferingSpan(const Screen& screen, int y) {
    Span differing;
    const Span changed = screen.ChangedSpan(y);
    for (int x = changed.left; x <= changed.right; ++x) {
        if (!screen.PresentedKnown() || !(screen.At(x, y) == screen.Presented(x, y))) {
            differing.left = differing.Empty() ? x : differing.left;
            differing.right = x;
        }
    }
    return differing;
}

// Gathers the spans of rows first..last into rectangles that one call can carry, unchanged
// cells inside them carried again, and hands each to `carry`; true if every one was carried.
template <typename SpanOf, typename Carry>
bool EachBand(int first, int last, SpanOf spanOf, Carry carry) {
    std::optional<Rect> band;
    bool all = true;
    for (int y = first; y <= last; ++y) {
        const Span span = spanOf(y);
        if (span.Empty()) {
            continue;
        }
        if (band) {
            const Rect merged{std::min(band->left, span.left), band->top,
                              std::max(band->right, span.right), y};
            if ((merged.right - merged.left + 1) * (y - merged.top + 1) <=
                Win32Platform::kMaxCellsPerWrite) {
                band = merged;
                continue;
            }
            all = carry(*band) && all;
        }
        band = Rect{span.left, y, span.right, y};
    }
    return band ? carry(*band) && all : all;
}

// Visits the cells of `band` row by row, each with its place in `cells`.
template <typename Visit>
void EachCell(std::vector<CHAR_INFO>& cells, const Rect& band, Visit visit) {
    auto cell = cells.begin();
    for (int y = band.top; y <= band.bottom; ++y) {
        for (int x = band.left; x <= band.right; ++x) {
            visit(x, y, *cell++);
        }
    }
}

// Carries `band` between `cells` and the console: `call` is the read or the write.
template <typename Call>
bool CarryBand(HANDLE output, std::vector<CHAR_INFO>& cells, const Rect& band, Call call) {
    const COORD size{static_cast<SHORT>(band.right - band.left + 1),
                     static_cast<SHORT>(band.bottom - band.top + 1)};
    SMALL_RECT region{ToConsoleCoordinate(band.left), ToConsoleCoordinate(band.top),
                      ToConsoleCoordinate(band.right), ToConsoleCoordinate(band.bottom)};
    return call(output, cells.data(), size, COORD{0, 0}, &region) != FALSE;
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
        Close(*screen_);
    }
}

template <typename IsConsole>
Win32Platform::Device Win32Platform::OpenDevice(DWORD standard, const char* name,
                                                IsConsole isConsole) {
    const HANDLE handle = GetStdHandle(standard);
    if (isConsole(handle)) {
        return Device{handle, false};
    }
    return Device{
        CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr),
        true};
}

std::optional<OpenError> Win32Platform::Open(Screen& screen) {
    if (open_) {
        return OpenError::kInUse;
    }
    CONSOLE_SCREEN_BUFFER_INFO info{};
    const auto readInfo = [&info](HANDLE handle) {
        return GetConsoleScreenBufferInfo(handle, &info) != FALSE;
    };
    output_ = OpenDevice(STD_OUTPUT_HANDLE, "CONOUT$", readInfo);
    if (!IsValid(output_.handle) || !readInfo(output_.handle)) {
        const OpenError error =
            IsValid(output_.handle) ? OpenError::kNotAConsole : OpenError::kNoDevice;
        CloseDevices();
        return error;
    }
    // Without any console input no key will ever come; the game still draws.
    DWORD mode = 0;
    const auto readMode = [&mode](HANDLE handle) { return GetConsoleMode(handle, &mode) != FALSE; };
    input_ = OpenDevice(STD_INPUT_HANDLE, "CONIN$", readMode);
    originalMode_.reset();
    if (readMode(input_.handle) && SetConsoleMode(input_.handle, mode & ~kInputModeOff)) {
        originalMode_ = mode;
    }

    // The game draws from the top of the buffer, which a shell's output may have scrolled out
    // of view (the classic host gives a window 9001 rows): the view goes back up there.
    const SMALL_RECT& view = info.srWindow;
    if (view.Top != 0 || view.Left != 0) {
        const SMALL_RECT top{0, 0, static_cast<SHORT>(view.Right - view.Left),
                             static_cast<SHORT>(view.Bottom - view.Top)};
        SetConsoleWindowInfo(output_.handle, TRUE, &top);
    }
    screen.Reset(info.dwSize.X, info.dwSize.Y, static_cast<std::uint8_t>(info.wAttributes));
    shownAt_ = info.dwCursorPosition;
    screen.SetCursor(FromConsoleCoordinate(shownAt_.X), FromConsoleCoordinate(shownAt_.Y));
    // Remembered so that a cursor the game hides is shown again at the end.
    CONSOLE_CURSOR_INFO cursor{};
    originalCursor_.reset();
    if (GetConsoleCursorInfo(output_.handle, &cursor)) {
        originalCursor_ = cursor;
    }
    shownCursor_ = originalCursor_.value_or(CONSOLE_CURSOR_INFO{kUsualCursorSize, TRUE});
    shownCursor_.dwSize = std::clamp(shownCursor_.dwSize, kMinCursorSize, kMaxCursorSize);
    shownCursor_.bVisible = shownCursor_.bVisible != FALSE;
    screen.SetCursorVisible(shownCursor_.bVisible != FALSE);

    // The only allocation. What the console shows already (the shell's lines) is part of
    // the picture, which a scroll of a window moves like any other cell.
    band_.assign(static_cast<std::size_t>(kMaxCellsPerWrite), CHAR_INFO{});
    const bool read = EachBand(
        1, screen.KeptHeight(),
        [&](int) {
            return Span{1, screen.KeptWidth()};
        },
        [&](const Rect& band) {
            if (!CarryBand(output_.handle, band_, band, ReadConsoleOutputW)) {
                return false;
            }
            EachCell(band_, band, [&](int x, int y, const CHAR_INFO& shown) {
                screen.Write(x, y,
                             Cell{ToPcByte(shown.Char.UnicodeChar),
                                  static_cast<std::uint8_t>(shown.Attributes)});
            });
            return true;
        });
    screen.MarkPresented();
    if (!read) {
        screen.Forget();  // what the console shows is not known: it is all written anew
    }
    screen_ = &screen;
    lowestRow_ = 0;
    queueHead_ = 0;
    queueSize_ = 0;

    // Closing the window, logging off or Ctrl+Break must not leave the shell in raw mode.
    activePlatform.store(this);
    SetConsoleCtrlHandler(OnControlEvent, TRUE);
    open_ = true;
    return std::nullopt;
}

void Win32Platform::Restore() {
    AcquireSRWLockExclusive(&lock_);
    if (originalMode_) {
        SetConsoleMode(input_.handle, *originalMode_);
    }
    if (originalCursor_) {
        SetConsoleCursorInfo(output_.handle, &*originalCursor_);
    }
    // The prompt goes below the last picture; the console's view follows the cursor there.
    if (lowestRow_ > 0) {
        SetConsoleCursorPosition(output_.handle,
                                 ToCoord(1, std::min(lowestRow_ + 1, screen_->Height())));
    }
    originalMode_.reset();
    originalCursor_.reset();
    lowestRow_ = 0;
    open_ = false;  // what the main thread still presents would undo this
    ReleaseSRWLockExclusive(&lock_);
}

void Win32Platform::Close(const Screen&) {
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
    for (Device* device : {&output_, &input_}) {
        if (device->owned && IsValid(device->handle)) {
            CloseHandle(device->handle);
        }
        *device = Device{};
    }
}

void Win32Platform::Present(Screen& screen) {
    if (!screen.Changed()) {
        return;
    }
    AcquireSRWLockExclusive(&lock_);
    if (open_) {
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
        const bool written = EachBand(
            screen.FirstChangedRow(), screen.LastChangedRow(),
            [&](int y) { return DifferingSpan(screen, y); },
            [&](const Rect& band) {
                EachCell(band_, band, [&](int x, int y, CHAR_INFO& shown) {
                    const Cell cell = screen.At(x, y);
                    shown.Char.UnicodeChar = static_cast<WCHAR>(Cp437CodePoint(cell.character));
                    shown.Attributes = cell.attribute;
                });
                if (!CarryBand(output_.handle, band_, band, WriteConsoleOutputW)) {
                    return false;
                }
                // Only rows the game wrote count: the shell's lines read at Open are no picture.
                lowestRow_ = std::max(lowestRow_, band.bottom);
                return true;
            });
        const COORD at = ToCoord(screen.CursorX(), screen.CursorY());
        if ((at.X != shownAt_.X || at.Y != shownAt_.Y) &&
            SetConsoleCursorPosition(output_.handle, at)) {
            shownAt_ = at;
        }
        tell(cursor);
        screen.MarkPresented();
        if (!written) {
            screen.Forget();  // tried again, whole, at the next present
        }
    }
    ReleaseSRWLockExclusive(&lock_);
}

// Moves at most `count` of the console's records into the queue; waits if it holds none.
bool Win32Platform::Take(DWORD count) {
    std::array<INPUT_RECORD, kReadBatch> records;
    DWORD read = 0;
    if (!ReadConsoleInputW(input_.handle, records.data(), std::min(count, kReadBatch), &read)) {
        return false;
    }
    for (DWORD i = 0; i < read; ++i) {
        queue_[(queueHead_ + queueSize_++) % kQueueCapacity] = ToInputEvent(records[i]);
    }
    return true;
}

// Takes what the console holds, as far as the queue has room; never waits.
bool Win32Platform::Drain() {
    DWORD count = 0;
    while (queueSize_ < kQueueCapacity) {
        if (!IsValid(input_.handle) || !GetNumberOfConsoleInputEvents(input_.handle, &count)) {
            return false;
        }
        if (count == 0) {
            return true;
        }
        if (!Take(std::min(count, static_cast<DWORD>(kQueueCapacity - queueSize_)))) {
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
    const InputEvent event = queue_[queueHead_];
    queueHead_ = (queueHead_ + 1) % kQueueCapacity;
    --queueSize_;
    return event;
}

WaitResult Win32Platform::Wait(std::optional<std::uint32_t> deadline) {
    // Signalled, yet counted empty (Wine counts late): then a read waits for what comes.
    bool signalled = false;
    for (;;) {
        if (!Drain() || (signalled && queueSize_ == 0 && !Take(kReadBatch))) {
            return WaitResult::kClosed;
        }
        if (queueSize_ != 0) {
            return WaitResult::kInput;
        }
        DWORD timeout = INFINITE;
        if (deadline) {
            const auto left = static_cast<std::int32_t>(*deadline - Milliseconds());
            if (left <= 0) {
                return WaitResult::kDeadline;
            }
            timeout = static_cast<DWORD>(left);
        }
        const DWORD waited = WaitForSingleObject(input_.handle, timeout);
        if (waited != WAIT_OBJECT_0 && waited != WAIT_TIMEOUT) {
            return WaitResult::kClosed;
        }
        signalled = waited == WAIT_OBJECT_0;
    }
}

}  // namespace dungeon
