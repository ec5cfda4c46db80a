#include "platform/win32/win32_platform.h"

#include <algorithm>
#include <atomic>

#include "console/cp437.h"
#include "console/system_platform.h"
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

BOOL WINAPI RestoreOnControlEvent(DWORD /*event*/) {
    Win32Platform* platform = activePlatform.load();
    if (platform != nullptr) {
        platform->Restore();
    }
    // Not handled: the default handler still ends the process.
    return FALSE;
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

CHAR_INFO ToCharInfo(Cell cell) {
    CHAR_INFO result;
    result.Char.UnicodeChar = static_cast<WCHAR>(Cp437CodePoint(cell.character));
    result.Attributes = cell.attribute;
    return result;
}

bool SameCharInfo(const CHAR_INFO& a, const CHAR_INFO& b) {
    return a.Char.UnicodeChar == b.Char.UnicodeChar && a.Attributes == b.Attributes;
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

Win32Platform::~Win32Platform() {
    if (open_) {
        // The program ends without closing the console: what it drew still goes out.
        Present();
        Close();
    }
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

    // The whole buffer, not only its visible window.
    info_.width = std::max<int>(bufferInfo.dwSize.X, 1);
    info_.height = std::max<int>(bufferInfo.dwSize.Y, 1);
    info_.cursorX = FromConsoleCoordinate(bufferInfo.dwCursorPosition.X);
    info_.cursorY = FromConsoleCoordinate(bufferInfo.dwCursorPosition.Y);
    info_.attribute = bufferInfo.wAttributes;
    cursorX_ = shownCursorX_ = info_.cursorX;
    cursorY_ = shownCursorY_ = info_.cursorY;

    // Remembered so that a cursor the game hides is shown again at the end.
    cursorSaved_ = GetConsoleCursorInfo(output_, &originalCursor_) != FALSE;
    cursor_ = CursorInfo{};
    if (cursorSaved_) {
        cursor_.size = static_cast<int>(originalCursor_.dwSize);
        cursor_.visible = originalCursor_.bVisible != FALSE;
    }
    shownCursor_ = cursor_;

    // The only allocations: the cells, what the console shows, and one band's worth.
    grid_.Reset(info_.width, info_.height, Cell{' ', static_cast<std::uint8_t>(info_.attribute)});
    front_.assign(static_cast<std::size_t>(info_.width) * static_cast<std::size_t>(info_.height),
                  CHAR_INFO{});
    band_.assign(static_cast<std::size_t>(std::max(kMaxCellsPerWrite, info_.width)), CHAR_INFO{});
    ReadInitialCells();
    dirtyTop_ = 0;
    dirtyBottom_ = 0;
    lowestRowWritten_ = 0;
    queueHead_ = 0;
    queueSize_ = 0;
    seenCount_ = 0;

    // Closing the window, logging off or Ctrl+Break must not leave the shell in raw mode.
    activePlatform.store(this);
    handlerInstalled_ = SetConsoleCtrlHandler(RestoreOnControlEvent, TRUE) != FALSE;
    open_ = true;
    return OpenResult::kOk;
}

void Win32Platform::ReadInitialCells() {
    // What stands on the console already (the shell's lines) is part of the picture: a
    // scroll of a window moves it like any other cell.
    const int rowsPerRead = std::max(1, kMaxCellsPerWrite / info_.width);
    for (int top = 1; top <= info_.height; top += rowsPerRead) {
        const int bottom = std::min(info_.height, top + rowsPerRead - 1);
        COORD size;
        size.X = static_cast<SHORT>(info_.width);
        size.Y = static_cast<SHORT>(bottom - top + 1);
        SMALL_RECT region = ToSmallRect(Rect{1, top, info_.width, bottom});
        const bool read = ReadConsoleOutputW(output_, band_.data(), size, ToCoord(1, 1), &region);
        for (int y = top; y <= bottom; ++y) {
            for (int x = 1; x <= info_.width; ++x) {
                const CHAR_INFO& shown =
                    band_[static_cast<std::size_t>((y - top) * info_.width + (x - 1))];
                if (read) {
                    Front(x, y) = shown;
                    grid_.Write(x, y,
                                Cell{ToPcByte(shown.Char.UnicodeChar),
                                     static_cast<std::uint8_t>(shown.Attributes & 0xFF)});
                } else {
                    // Unknown: marked so that it differs from every cell and is written.
                    Front(x, y).Char.UnicodeChar = 0xFFFF;
                    Front(x, y).Attributes = 0xFFFF;
                }
            }
        }
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
    const int lowestRow = lowestRowWritten_;
    lowestRowWritten_ = 0;
    if (lowestRow > 0) {
        SetConsoleCursorPosition(output_, ToCoord(1, std::min(lowestRow + 1, info_.height)));
    }
    ReleaseSRWLockExclusive(&lock_);
}

void Win32Platform::Close() {
    if (handlerInstalled_) {
        SetConsoleCtrlHandler(RestoreOnControlEvent, FALSE);
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

bool Win32Platform::GetScreenBufferInfo(ScreenBufferInfo& info) {
    if (!open_) {
        return false;
    }
    info = info_;
    info.cursorX = cursorX_;
    info.cursorY = cursorY_;
    return true;
}

void Win32Platform::MarkDirty(int top, int bottom) {
    top = std::max(top, 1);
    bottom = std::min(bottom, info_.height);
    if (top > bottom) {
        return;
    }
    if (dirtyTop_ == 0) {
        dirtyTop_ = top;
        dirtyBottom_ = bottom;
        return;
    }
    dirtyTop_ = std::min(dirtyTop_, top);
    dirtyBottom_ = std::max(dirtyBottom_, bottom);
}

void Win32Platform::ScrollRect(const Rect& source, const Rect& clip, int destX, int destY,
                               Cell fill) {
    const int lowest = grid_.Scroll(source, clip, destX, destY, fill);
    if (lowest > 0) {
        MarkDirty(clip.top, lowest);
    }
}

void Win32Platform::WriteCell(int x, int y, Cell cell) {
    if (grid_.Inside(x, y)) {
        grid_.Write(x, y, cell);
        MarkDirty(y, y);
    }
}

void Win32Platform::SetCursorPosition(int x, int y) {
    cursorX_ = x;
    cursorY_ = y;
}

bool Win32Platform::GetCursorInfo(CursorInfo& info) {
    info = cursor_;
    return open_;
}

void Win32Platform::SetCursorInfo(const CursorInfo& info) {
    cursor_ = info;
    // The console refuses sizes outside 1..100 percent, visibility change included.
    cursor_.size = std::clamp(info.size, 1, 100);
}

void Win32Platform::WriteBand(int left, int top, int right, int bottom) {
    const int width = right - left + 1;
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) {
            band_[static_cast<std::size_t>((y - top) * width + (x - left))] =
                ToCharInfo(grid_.At(x, y));
        }
    }
    COORD size;
    size.X = static_cast<SHORT>(width);
    size.Y = static_cast<SHORT>(bottom - top + 1);
    SMALL_RECT region = ToSmallRect(Rect{left, top, right, bottom});
    if (!WriteConsoleOutputW(output_, band_.data(), size, ToCoord(1, 1), &region)) {
        return;  // the cells stay different and are tried again at the next Present
    }
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) {
            Front(x, y) = band_[static_cast<std::size_t>((y - top) * width + (x - left))];
        }
    }
    lowestRowWritten_ = std::max(lowestRowWritten_, bottom);
}

void Win32Platform::Present() {
    if (!open_) {
        return;
    }
    AcquireSRWLockExclusive(&lock_);
    const bool hideFirst = shownCursor_.visible && !cursor_.visible;
    if (hideFirst) {
        CONSOLE_CURSOR_INFO hidden;
        hidden.dwSize = static_cast<DWORD>(cursor_.size);
        hidden.bVisible = FALSE;
        if (SetConsoleCursorInfo(output_, &hidden)) {
            shownCursor_ = cursor_;
        }
    }

    // Changed rows gather into one rectangle for as long as it stays within one call's
    // room; unchanged cells inside it are simply written again.
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    for (int y = dirtyTop_; y != 0 && y <= dirtyBottom_; ++y) {
        int first = 0;
        int last = 0;
        for (int x = 1; x <= info_.width; ++x) {
            if (!SameCharInfo(ToCharInfo(grid_.At(x, y)), Front(x, y))) {
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
            WriteBand(left, top, right, bottom);
        }
        left = first;
        right = last;
        top = y;
        bottom = y;
    }
    if (top != 0) {
        WriteBand(left, top, right, bottom);
    }
    dirtyTop_ = 0;
    dirtyBottom_ = 0;

    if (cursorX_ != shownCursorX_ || cursorY_ != shownCursorY_) {
        if (SetConsoleCursorPosition(output_, ToCoord(cursorX_, cursorY_))) {
            shownCursorX_ = cursorX_;
            shownCursorY_ = cursorY_;
        }
    }
    if (cursor_.visible != shownCursor_.visible || cursor_.size != shownCursor_.size) {
        CONSOLE_CURSOR_INFO shown;
        shown.dwSize = static_cast<DWORD>(cursor_.size);
        shown.bVisible = cursor_.visible ? TRUE : FALSE;
        if (SetConsoleCursorInfo(output_, &shown)) {
            shownCursor_ = cursor_;
        }
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

int Win32Platform::PendingEventCount() {
    Drain();
    seenCount_ = queueSize_;
    return static_cast<int>(queueSize_);
}

bool Win32Platform::ReadEvent(InputEvent& event) {
    if (queueSize_ == 0) {
        return false;
    }
    event = queue_[queueHead_];
    queueHead_ = (queueHead_ + 1) % kQueueCapacity;
    --queueSize_;
    if (seenCount_ > 0) {
        --seenCount_;  // the layer takes the oldest, which it has counted
    }
    return true;
}

bool Win32Platform::WaitForInput() {
    for (;;) {
        if (!Drain()) {
            return false;
        }
        if (queueSize_ != seenCount_ || queueSize_ == kQueueCapacity) {
            return true;
        }
        // The console's queue is empty: sleep until it holds something.
        if (WaitForSingleObject(input_, INFINITE) != WAIT_OBJECT_0) {
            return false;
        }
        if (!Drain()) {
            return false;
        }
        if (queueSize_ != seenCount_) {
            return true;
        }
        // Signalled, yet counted empty (Wine counts late): a read waits for what comes.
        if (!ReadRecords(static_cast<DWORD>(kQueueCapacity - queueSize_))) {
            return false;
        }
    }
}

}  // namespace dungeon
