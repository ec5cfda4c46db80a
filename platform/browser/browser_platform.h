#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/vt/byte_channel.h"
#include "platform/vt/vt_terminal.h"

namespace dungeon {

// The page's terminal emulator (xterm.js) as the VT terminal's byte channel: the program
// runs as WebAssembly, its frames go to the page and the bytes the page's terminal reports
// for typed keys come back. Waiting suspends the program (Asyncify) and hands the page back
// to the browser until a key arrives or the time is up. The terminal keeps 80 x 25,
// whatever the page's size; at the end the page keeps the last picture as it stands.
class BrowserChannel : public ByteChannel {
  public:
    std::optional<OpenError> OpenChannel() override { return std::nullopt; }
    void CloseChannel(std::string_view) override {}
    TerminalSize Size() override { return TerminalSize{kWidth, kHeight}; }
    void Write(std::string_view bytes) override;
    std::span<const std::uint8_t> Read(std::span<std::uint8_t> into) override;
    ChannelWait WaitForInput(std::optional<int> timeoutMs) override;
    bool TakeNotice() override { return false; }
    std::uint32_t Now() override;
    void SetRestoreBytes(std::string_view, std::string_view, std::string_view) override {}

    static constexpr int kWidth = 80;
    static constexpr int kHeight = 25;
};

class BrowserPlatform : protected BrowserChannel, public VtTerminal {
  public:
    BrowserPlatform() : VtTerminal(static_cast<BrowserChannel&>(*this)) {}
};

}  // namespace dungeon
