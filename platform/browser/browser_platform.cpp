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

// The page's "no time limit".
constexpr int kForever = -1;

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

void BrowserChannel::Write(std::string_view bytes) {
    dungeon_page_write(bytes.data(), bytes.size());
}

std::span<const std::uint8_t> BrowserChannel::Read(std::span<std::uint8_t> into) {
    int count = dungeon_page_read(into.data(), static_cast<int>(into.size()));
    return count > 0 ? into.first(static_cast<std::size_t>(count)) : std::span<std::uint8_t>{};
}

ChannelWait BrowserChannel::WaitForInput(std::optional<int> timeoutMs) {
    return dungeon_page_wait(timeoutMs.value_or(kForever)) != 0 ? ChannelWait::kReadable
                                                                : ChannelWait::kTimeout;
}

std::uint32_t BrowserChannel::Now() {
    return dungeon_page_clock();
}

}  // namespace dungeon
