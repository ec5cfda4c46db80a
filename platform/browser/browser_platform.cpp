#include "platform/browser/browser_platform.h"

#include <optional>
#include <span>

#include "console/system_platform.h"

// The page's side, in page_bridge.js. dungeon_page_wait and dungeon_page_await_next_game
// suspend the program until the page wakes it.
extern "C" {
void dungeon_page_write(const char* bytes, std::size_t count);
int dungeon_page_read(std::uint8_t* buffer, int capacity);
int dungeon_page_wait(int timeoutMs);
std::uint32_t dungeon_page_clock();
int dungeon_page_await_next_game(int exitStatus);
}

namespace dungeon {
namespace {

// A whole frame of the 80 x 25 screen fits many times over.
constexpr std::size_t kOutputCapacity = 32 * 1024;

}  // namespace

Platform& SystemPlatform() {
    static BrowserPlatform platform;
    return platform;
}

bool AwaitNextGame(int exitStatus) {
    return dungeon_page_await_next_game(exitStatus) != 0;
}

BrowserPlatform::BrowserPlatform()
    : output_(kOutputCapacity, &BrowserPlatform::WriteToPage, this) {}

void BrowserPlatform::WriteToPage(void*, const char* bytes, std::size_t count) {
    dungeon_page_write(bytes, count);
}

OpenResult BrowserPlatform::Open() {
    if (open_) {
        return OpenResult::kOk;
    }
    grid_.Reset(kWidth, kHeight, Cell{' ', 7});
    renderer_.Resize(kWidth, kHeight);
    cursorX_ = 1;
    cursorY_ = 1;
    cursor_ = CursorInfo{};
    // Bytes of a key cut short by the end of the last game must not start this one.
    decoder_.Reset();
    eventHead_ = 0;
    eventCount_ = 0;
    open_ = true;
    Present();  // the first frame clears the page's terminal
    return OpenResult::kOk;
}

void BrowserPlatform::Close() {
    // Nothing to give back: the page keeps the last picture.
    open_ = false;
}

bool BrowserPlatform::GetScreenBufferInfo(ScreenBufferInfo& info) {
    if (!open_) {
        return false;
    }
    info.width = kWidth;
    info.height = kHeight;
    info.cursorX = cursorX_;
    info.cursorY = cursorY_;
    info.attribute = 7;
    return true;
}

void BrowserPlatform::ScrollRect(const Rect& source, const Rect& clip, int destX, int destY,
                                 Cell fill) {
    if (open_) {
        grid_.Scroll(source, clip, destX, destY, fill);
    }
}

void BrowserPlatform::WriteCell(int x, int y, Cell cell) {
    if (open_) {
        grid_.Write(x, y, cell);
    }
}

void BrowserPlatform::SetCursorPosition(int x, int y) {
    if (grid_.Inside(x, y)) {
        cursorX_ = x;
        cursorY_ = y;
    }
}

bool BrowserPlatform::GetCursorInfo(CursorInfo& info) {
    info = cursor_;
    return open_;
}

void BrowserPlatform::SetCursorInfo(const CursorInfo& info) {
    cursor_ = info;
}

int BrowserPlatform::PendingEventCount() {
    return eventCount_;
}

bool BrowserPlatform::ReadEvent(InputEvent& event) {
    if (eventCount_ == 0) {
        return false;
    }
    event = events_[eventHead_];
    eventHead_ = (eventHead_ + 1) % kEventCapacity;
    --eventCount_;
    return true;
}

void BrowserPlatform::TakeDecoded() {
    // The page's terminal is asked nothing: only keys are expected.
    while (std::optional<TerminalEvent> event = decoder_.Next()) {
        if (event->kind == TerminalEvent::Kind::kKey && eventCount_ < kEventCapacity) {
            events_[(eventHead_ + eventCount_) % kEventCapacity] =
                InputEvent{InputEvent::Kind::kKey, event->key};
            ++eventCount_;
        }
    }
}

bool BrowserPlatform::TakeInput() {
    std::uint8_t bytes[KeyDecoder::kMaxFeed];
    bool any = false;
    for (;;) {
        int count = dungeon_page_read(bytes, static_cast<int>(sizeof(bytes)));
        if (count <= 0) {
            return any;
        }
        decoder_.Feed(std::span<const std::uint8_t>(bytes, static_cast<std::size_t>(count)),
                      TickCount());
        TakeDecoded();
        any = true;
    }
}

bool BrowserPlatform::WaitForInput() {
    if (!open_) {
        return false;
    }
    int before = eventCount_;
    for (;;) {
        TakeInput();
        if (eventCount_ != before) {
            return true;
        }
        // The page hands over each key's bytes whole, so a lone Escape is most likely
        // the Escape key; a short wait still lets a split sequence complete.
        int timeout = -1;
        if (std::optional<std::uint32_t> deadline = decoder_.Deadline()) {
            auto left = static_cast<std::int32_t>(*deadline - TickCount());
            timeout = left > 0 ? left : 0;
        }
        if (dungeon_page_wait(timeout) == 0) {
            decoder_.Advance(TickCount());
            TakeDecoded();
            if (eventCount_ != before) {
                return true;
            }
        }
    }
}

std::uint32_t BrowserPlatform::TickCount() {
    return dungeon_page_clock();
}

void BrowserPlatform::Present() {
    if (!open_) {
        return;
    }
    renderer_.Render(grid_.Data(), kWidth, kHeight, cursorX_, cursorY_, cursor_.visible, output_);
    output_.Flush();
}

}  // namespace dungeon
