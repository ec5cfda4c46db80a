#include "console/console.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "console/pc_keyboard.h"

namespace dungeon {
namespace {

// Codes of keys that produce no character, as the PC BIOS hands them out after a 0: by
// scan code, then without a modifier, with Shift, with Ctrl and with Alt (Modifier's order).
struct ExtendedRow {
    std::uint8_t scan;
    std::uint8_t codes[4];
};

constexpr ExtendedRow kExtendedRows[] = {
    {15, {15, 15, 148, 15}},     // Tab
    {28, {28, 28, 28, 166}},     // Enter
    {53, {53, 53, 149, 164}},    // keypad /
    {55, {55, 55, 150, 55}},     // keypad *
    {71, {71, 71, 119, 151}},    // Home
    {72, {72, 72, 141, 152}},    // Up
    {73, {73, 73, 132, 153}},    // Page Up
    {74, {74, 74, 142, 74}},     // keypad -
    {75, {75, 75, 115, 155}},    // Left
    {76, {76, 76, 143, 76}},     // keypad 5
    {77, {77, 77, 116, 157}},    // Right
    {78, {78, 78, 78, 78}},      // keypad +
    {79, {79, 79, 117, 159}},    // End
    {80, {80, 80, 145, 160}},    // Down
    {81, {81, 81, 118, 161}},    // Page Down
    {82, {82, 82, 146, 162}},    // Insert
    {83, {83, 83, 147, 163}},    // Delete
    {87, {133, 135, 137, 139}},  // F11
    {88, {134, 136, 138, 140}},  // F12
};

enum class Modifier : std::uint8_t { kNone, kShift, kCtrl, kAlt };

std::uint8_t TableCode(std::uint8_t scan, Modifier modifier) {
    if (scan >= 2 && scan <= 13) {  // the digit row, - and =
        return modifier == Modifier::kAlt ? static_cast<std::uint8_t>(scan + 118) : scan;
    }
    const auto column = static_cast<std::size_t>(modifier);
    if (scan >= 59 && scan <= 68) {  // F1..F10
        constexpr std::uint8_t kFunctionOffsets[] = {0, 25, 35, 45};
        return static_cast<std::uint8_t>(scan + kFunctionOffsets[column]);
    }
    for (const ExtendedRow& row : kExtendedRows) {
        if (row.scan == scan) {
            return row.codes[column];
        }
    }
    return scan;
}

constexpr std::uint8_t kBell = 7;
constexpr std::uint8_t kBackspace = 8;
constexpr std::uint8_t kLineFeed = 10;
constexpr std::uint8_t kCarriageReturn = 13;

// The characters that move the cursor, or do nothing, instead of filling a cell.
constexpr bool IsControl(std::uint8_t c) {
    return c <= kCarriageReturn &&
           (c == kBell || c == kBackspace || c == kLineFeed || c == kCarriageReturn);
}

bool IsModifierOrLockKey(std::uint16_t virtualKey) {
    constexpr std::uint16_t kKeys[] = {kVkShift,   kVkControl, kVkMenu,
                                       kVkCapital, kVkNumLock, kVkScroll};
    return std::find(std::begin(kKeys), std::end(kKeys), virtualKey & 0xFF) != std::end(kKeys);
}

void ReportStartFailure(const char* message) {
    std::fputs(message, stderr);
    std::fputs("\r\n", stderr);
    std::fflush(stderr);
}

}  // namespace

Console& TheConsole() {
    static Console console;
    return console;
}

bool Console::Start(Platform& platform) {
    *this = Console{};
    if (std::optional<OpenError> error = platform.Open(screen_)) {
        const bool noHandle = *error == OpenError::kNoDevice || *error == OpenError::kInUse;
        ReportStartFailure(noHandle ? kNoHandleMessage : kNoInfoMessage);
        return false;
    }
    platform_ = &platform;
    windowRight_ = static_cast<std::uint8_t>(screen_.Width() - 1);
    windowBottom_ = static_cast<std::uint8_t>(screen_.Height() - 1);
    return true;
}

void Console::Finish() {
    if (platform_ != nullptr) {
        Present();
        platform_->Close();
        platform_ = nullptr;  // given back: the platform is not used any more
    }
}

void Console::Present() {
    if (platform_->Present(screen_)) {
        screen_.MarkPresented();
    } else {
        screen_.Forget();  // shown afresh, whole, the next time
    }
}

std::uint32_t Console::TickCount() {
    return platform_ != nullptr ? platform_->Milliseconds() : 0;
}

void Console::SetWindow(std::uint8_t x1, std::uint8_t y1, std::uint8_t x2, std::uint8_t y2) {
    // A corner of 0 lies outside the screen; taking it would wrap the 8-bit corner.
    if (x1 == 0 || y1 == 0) {
        return;
    }
    if (!(x1 <= x2 && x2 <= screen_.Width() && y1 <= y2 && y2 <= screen_.Height())) {
        return;
    }
    windowLeft_ = static_cast<std::uint8_t>(x1 - 1);
    windowTop_ = static_cast<std::uint8_t>(y1 - 1);
    windowRight_ = static_cast<std::uint8_t>(x2 - 1);
    windowBottom_ = static_cast<std::uint8_t>(y2 - 1);
    MoveCursor(1, 1);
}

void Console::ClearWindow() {
    screen_.Clear(Window(), Blank());
    MoveCursor(1, 1);
}

void Console::MoveCursor(std::uint8_t x, std::uint8_t y) {
    int width = windowRight_ - windowLeft_ + 1;
    int height = windowBottom_ - windowTop_ + 1;
    if (x == 0 || x > width || y == 0 || y > height) {
        return;
    }
    screen_.SetCursor(windowLeft_ + x, windowTop_ + y);
}

void Console::HideCursor() {
    screen_.SetCursorVisible(false);
}

void Console::WriteText(const Text& text) {
    const Rect window = Window();
    int x = screen_.CursorX();
    int y = screen_.CursorY();
    std::string_view rest = text.View();
    while (!rest.empty()) {
        const auto c = static_cast<std::uint8_t>(rest.front());
        if (IsControl(c)) {
            MoveForControl(c, window, x, y);
            rest.remove_prefix(1);
        } else {
            const std::size_t written = WriteUpToEdge(rest, x, window.right, y);
            x += static_cast<int>(written);
            rest.remove_prefix(written);
        }
        // The wrap is immediate: the bottom-right cell scrolls the window at once.
        if (x > window.right) {
            x = window.left;
            ++y;
        }
        while (y > window.bottom) {
            screen_.ScrollUp(window, Blank());
            --y;
        }
    }
    screen_.SetCursor(x, y);
}

void Console::MoveForControl(std::uint8_t c, const Rect& window, int& x, int& y) {
    if (c == kBackspace) {
        x = x > window.left ? x - 1 : x;
    } else if (c == kLineFeed) {
        ++y;
    } else if (c == kCarriageReturn) {
        x = window.left;
    }  // a bell is silent
}

// Only the last of these characters can reach the window's edge, so they need no wrap or
// scroll between them.
std::size_t Console::WriteUpToEdge(std::string_view characters, int x, int right, int y) {
    const auto room = static_cast<std::size_t>(std::max(right - x + 1, 0));
    // A cursor beyond the edge still writes its first character there, then wraps.
    const std::size_t limit = std::min(characters.size(), std::max<std::size_t>(room, 1));
    std::size_t count = 0;
    while (count < limit && !IsControl(static_cast<std::uint8_t>(characters[count]))) {
        ++count;
    }
    screen_.Write(x, y, characters.substr(0, count), screen_.Attribute());
    return count;
}

std::uint8_t Console::ExtendedCode(std::uint16_t scanCode, std::uint32_t controlKeyState,
                                   std::uint16_t virtualKey) {
    std::uint32_t flags = controlKeyState & 0xFF;
    Modifier modifier = Modifier::kNone;
    if ((flags & kAltFlags) != 0) {
        modifier = Modifier::kAlt;
    } else if ((flags & kCtrlFlags) != 0) {
        modifier = Modifier::kCtrl;
    } else if ((flags & kShift) != 0) {
        modifier = Modifier::kShift;
    }
    if (modifier == Modifier::kAlt && IsKeypadDigit(virtualKey)) {
        altCodeStarted_ = true;
        altCode_ = static_cast<std::uint8_t>((altCode_ * 10 + (virtualKey - kVkNumpad0)) % 256);
    }
    return TableCode(static_cast<std::uint8_t>(scanCode & 0xFF), modifier);
}

bool Console::HandleEvent(const InputEvent& event) {
    if (event.kind != InputEvent::Kind::kKey) {
        return false;
    }
    const KeyEvent& key = event.key;
    if (key.keyDown) {
        bool altHeld = (key.controlKeyState & kAltFlags) != 0;
        if (IsModifierOrLockKey(key.virtualKey)) {
            return false;
        }
        if (key.character == 0 || key.controlKeyState == kLeftAlt) {
            pendingIsExtended_ = true;
            pendingKey_ = ExtendedCode(key.scanCode, key.controlKeyState, key.virtualKey);
        } else {
            pendingIsExtended_ = false;
            pendingKey_ = key.character;
        }
        // Alt with keypad digits types a character code, delivered when Alt is released.
        if (IsKeypadDigit(key.virtualKey) && altHeld) {
            pendingIsExtended_ = false;
            pendingKey_ = 0;
            return false;
        }
        return true;
    }
    if (key.virtualKey == kVkMenu && altCodeStarted_ && altCode_ != 0) {
        pendingKey_ = altCode_;
        altCodeStarted_ = false;
        altCode_ = 0;
        return true;
    }
    return false;
}

bool Console::KeyWaiting() {
    if (pendingKey_ != 0) {
        return true;
    }
    if (platform_ == nullptr) {
        return false;
    }
    // Looking for keys shows what was drawn since the last look: a player typing ahead
    // still sees every turn.
    Present();
    // A press counts only once another event stands behind it.
    for (;;) {
        if (!newest_) {
            newest_ = platform_->NextEvent();
        }
        if (!newest_) {
            return false;
        }
        std::optional<InputEvent> behind = platform_->NextEvent();
        if (!behind) {
            return false;
        }
        InputEvent oldest = *newest_;
        newest_ = behind;
        if (HandleEvent(oldest)) {
            return true;
        }
    }
}

bool Console::WaitForKey() {
    while (!KeyWaiting()) {
        if (inputLost_ || platform_ == nullptr) {
            return false;
        }
        Present();
        if (platform_->Wait() == WaitResult::kClosed) {
            inputLost_ = true;
            return KeyWaiting();
        }
    }
    return true;
}

char Console::GetKey() {
    if (!WaitForKey()) {
        return 0;
    }
    if (pendingIsExtended_) {
        pendingIsExtended_ = false;
        return 0;
    }
    auto key = static_cast<char>(pendingKey_);
    pendingKey_ = 0;
    return key;
}

}  // namespace dungeon
