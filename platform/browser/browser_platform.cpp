#include "platform/browser/browser_platform.h"

#include "platform/system_platform.h"

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

// In a web page the program outlives its games: the page keeps the last picture, shows how
// the game ended and starts the next one when the player asks, without a reload.
int RunOnSystemPlatform(int (*program)(Platform&)) {
    for (;;) {
        int status = program(SystemPlatform());
        if (dungeon_page_await_next_game(status) == 0) {
            return status;
        }
    }
}

BrowserPlatform::BrowserPlatform()
    : output_(kOutputCapacity, &BrowserPlatform::WriteToPage, this) {}

void BrowserPlatform::WriteToPage(void*, const char* bytes, std::size_t count) {
    dungeon_page_write(bytes, count);
}

std::optional<OpenError> BrowserPlatform::Open(Screen& screen) {
    if (open_) {
        return OpenError::kInUse;
    }
    screen.Reset(kWidth, kHeight, kDefaultAttribute);
    // Bytes of a key cut short by the end of the last game must not start this one.
    decoder_ = KeyDecoder{};
    open_ = true;
    Present(screen);  // the first frame clears the page's terminal
    return std::nullopt;
}

void BrowserPlatform::Close(const Screen&) {
    // Nothing to give back: the page keeps the last picture.
    open_ = false;
}

std::optional<InputEvent> BrowserPlatform::NextEvent() {
    InputEvent event;
    if (decoder_.PendingEvents() == 0) {
        TakeInput();
    }
    if (decoder_.PopEvent(event)) {
        return event;
    }
    return std::nullopt;
}

bool BrowserPlatform::TakeInput() {
    std::uint8_t bytes[1024];
    bool any = false;
    for (;;) {
        int count = dungeon_page_read(bytes, static_cast<int>(sizeof(bytes)));
        if (count <= 0) {
            return any;
        }
        decoder_.Feed(bytes, static_cast<std::size_t>(count));
        any = true;
    }
}

WaitResult BrowserPlatform::Wait(std::optional<std::uint32_t> deadline) {
    if (!open_) {
        return WaitResult::kClosed;
    }
    int before = decoder_.PendingEvents();
    for (;;) {
        TakeInput();
        if (decoder_.PendingEvents() != before) {
            return WaitResult::kInput;
        }
        // The page hands over each key's bytes whole, so a lone Escape is most likely
        // the Escape key; a short wait still lets a split sequence complete.
        int timeout = decoder_.HasPartial() ? kEscapeTimeoutMs : -1;
        if (deadline) {
            auto left = static_cast<std::int32_t>(*deadline - Milliseconds());
            if (left <= 0) {
                return WaitResult::kDeadline;
            }
            timeout = timeout < 0 || left < timeout ? static_cast<int>(left) : timeout;
        }
        if (dungeon_page_wait(timeout) == 0 && decoder_.HasPartial()) {
            decoder_.Flush();
            if (decoder_.PendingEvents() != before) {
                return WaitResult::kInput;
            }
        }
    }
}

std::uint32_t BrowserPlatform::Milliseconds() {
    return dungeon_page_clock();
}

void BrowserPlatform::Present(Screen& screen) {
    if (!open_ || !screen.Changed()) {
        return;
    }
    renderer_.Render(screen, kWidth, kHeight, output_);
    output_.Flush();
}

}  // namespace dungeon
