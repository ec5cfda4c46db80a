#include "platform/memory/memory_platform.h"

#include "console/pc_keyboard.h"

namespace dungeon {

MemoryPlatform::MemoryPlatform(int width, int height, std::uint16_t attribute)
    : attribute_(attribute) {
    grid_.Reset(width, height, Cell{' ', static_cast<std::uint8_t>(attribute & 0xFF)});
}

OpenResult MemoryPlatform::Open() {
    if (openResult_ == OpenResult::kOk) {
        open_ = true;
    }
    return openResult_;
}

void MemoryPlatform::Close() {
    open_ = false;
    ++closeCount_;
}

bool MemoryPlatform::GetScreenBufferInfo(ScreenBufferInfo& info) {
    if (!infoReadable_) {
        return false;
    }
    info.width = grid_.Width();
    info.height = grid_.Height();
    info.cursorX = cursorX_;
    info.cursorY = cursorY_;
    info.attribute = attribute_;
    return true;
}

void MemoryPlatform::SetCursor(int x, int y) {
    cursorX_ = x;
    cursorY_ = y;
}

void MemoryPlatform::ScrollRect(const Rect& source, const Rect& clip, int destX, int destY,
                                Cell fill) {
    grid_.Scroll(source, clip, destX, destY, fill);
}

void MemoryPlatform::WriteCell(int x, int y, Cell cell) {
    grid_.Write(x, y, cell);
}

void MemoryPlatform::SetCursorPosition(int x, int y) {
    if (grid_.Inside(x, y)) {
        cursorX_ = x;
        cursorY_ = y;
    }
}

bool MemoryPlatform::GetCursorInfo(CursorInfo& info) {
    info = cursor_;
    return true;
}

void MemoryPlatform::SetCursorInfo(const CursorInfo& info) {
    cursor_ = info;
}

int MemoryPlatform::PendingEventCount() {
    return static_cast<int>(events_.size());
}

bool MemoryPlatform::ReadEvent(InputEvent& event) {
    if (events_.empty()) {
        return false;
    }
    event = events_.front();
    events_.pop_front();
    return true;
}

bool MemoryPlatform::WaitForInput() {
    if (!waitHook_) {
        return false;
    }
    std::size_t before = events_.size();
    if (!waitHook_()) {
        return false;
    }
    // A hook that queues nothing would make the caller wait for ever.
    return events_.size() > before;
}

void MemoryPlatform::PushKey(const KeyEvent& key) {
    InputEvent event;
    event.kind = InputEvent::Kind::kKey;
    event.key = key;
    events_.push_back(event);
}

void MemoryPlatform::PushStroke(const KeyEvent& press) {
    KeyEvent down = press;
    down.keyDown = true;
    PushKey(down);
    KeyEvent up = press;
    up.keyDown = false;
    PushKey(up);
}

void MemoryPlatform::TypeCharacter(char character) {
    PushStroke(PcKeyPress(static_cast<std::uint8_t>(character)));
}

void MemoryPlatform::Type(const std::string& characters) {
    for (char c : characters) {
        TypeCharacter(c);
    }
}

void MemoryPlatform::PressSpecialKey(std::uint16_t virtualKey, std::uint16_t scanCode,
                                     std::uint32_t controlKeyState) {
    KeyEvent key;
    key.virtualKey = virtualKey;
    key.scanCode = scanCode;
    key.character = 0;
    key.controlKeyState = controlKeyState;
    PushStroke(key);
}

Cell MemoryPlatform::At(int x, int y) const {
    return grid_.At(x, y);
}

std::string MemoryPlatform::Row(int y) const {
    std::string row;
    for (int x = 1; x <= grid_.Width(); ++x) {
        row.push_back(static_cast<char>(At(x, y).character));
    }
    return row;
}

std::string MemoryPlatform::Screen() const {
    std::string screen;
    for (int y = 1; y <= grid_.Height(); ++y) {
        screen += Row(y);
        screen.push_back('\n');
    }
    return screen;
}

}  // namespace dungeon
