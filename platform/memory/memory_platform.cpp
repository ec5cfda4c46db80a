#include "platform/memory/memory_platform.h"

#include "console/pc_keyboard.h"

namespace dungeon {

std::optional<OpenError> MemoryPlatform::Open(Screen& screen) {
    if (openError_) {
        return openError_;
    }
    screen.Reset(width_, height_, attribute_);
    screen.SetCursor(cursorAtOpen_.first, cursorAtOpen_.second);
    for (const auto& [at, cell] : shownAtOpen_) {
        screen.Write(at.first, at.second, cell);
    }
    screen.MarkPresented();
    screen_ = &screen;
    open_ = true;
    return std::nullopt;
}

std::optional<InputEvent> MemoryPlatform::NextEvent() {
    if (events_.empty()) {
        return std::nullopt;
    }
    InputEvent event = events_.front();
    events_.pop_front();
    return event;
}

WaitResult MemoryPlatform::Wait() {
    std::size_t before = events_.size();
    // A hook that queues nothing would make the caller wait for ever.
    return waitHook_ && waitHook_() && events_.size() > before ? WaitResult::kInput
                                                               : WaitResult::kClosed;
}

void MemoryPlatform::PushStroke(const KeyEvent& press) {
    for (bool down : {true, false}) {
        KeyEvent key = press;
        key.keyDown = down;
        PushEvent(InputEvent{InputEvent::Kind::kKey, key});
    }
}

void MemoryPlatform::TypeCharacter(char character) {
    PushStroke(PcKeyPress(static_cast<std::uint8_t>(character)));
}

void MemoryPlatform::Type(const std::string& characters) {
    for (char c : characters) {
        TypeCharacter(c);
    }
}

}  // namespace dungeon
