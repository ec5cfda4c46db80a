#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/vt/byte_channel.h"

// The page's side, in page_bridge.js. dungeon_page_wait and dungeon_page_await_next_game
// suspend the program until the page resumes it.
extern "C" {
void dungeon_page_write(const char* bytes, std::size_t count);
int dungeon_page_read(std::uint8_t* buffer, int capacity);
int dungeon_page_wait(int timeoutMs);
std::uint32_t dungeon_page_clock();
int dungeon_page_await_next_game(int exitStatus);
}

namespace dungeon {

// The page's terminal emulator (xterm.js) as the VT terminal's byte channel: the program
// runs as WebAssembly, its frames go to the page and the bytes the page's terminal reports
// for typed keys come back. Waiting suspends the program (Asyncify) and hands the page back
// to the browser until a key arrives or the time is up. The terminal stays at 80 x 25,
// whatever the page's size; at the end the last picture stays on the page.
class BrowserChannel : public ByteChannel {
  public:
    std::optional<OpenError> OpenChannel() override { return std::nullopt; }
    void CloseChannel(std::string_view) override {}
    TerminalSize Size() override { return TerminalSize{}; }  // 80 x 25, as the page sets it up
    bool Write(std::string_view bytes) override {
        dungeon_page_write(bytes.data(), bytes.size());
        return true;
    }
    std::span<const std::uint8_t> Read(std::span<std::uint8_t> into) override {
        const int count = dungeon_page_read(into.data(), static_cast<int>(into.size()));
        return count > 0 ? into.first(static_cast<std::size_t>(count)) : std::span<std::uint8_t>{};
    }
    ChannelWait WaitForInput(std::optional<int> timeoutMs) override {
        return dungeon_page_wait(timeoutMs.value_or(kForever)) != 0 ? ChannelWait::kReadable
                                                                    : ChannelWait::kTimeout;
    }
    std::uint32_t Now() override { return dungeon_page_clock(); }

    static constexpr int kForever = -1;  // the page's "no time limit"
};

}  // namespace dungeon
