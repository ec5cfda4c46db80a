#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "console/platform.h"
#include "platform/vt/key_decoder.h"
#include "platform/vt/screen_renderer.h"

namespace dungeon {

// The console in a web page: the program runs as WebAssembly, and a terminal emulator on
// the page (xterm.js) shows it. The platform keeps its own 80 x 25 cell buffer, as the
// Win32 screen buffer would; Present sends the page what changed, rendered as VT escape
// sequences, and the bytes the page's terminal reports for typed keys are decoded into
// PC key events. Waiting for a key suspends the program (Asyncify) and hands the page back
// to the browser until a key arrives.
class BrowserPlatform : public Platform {
  public:
    BrowserPlatform();

    std::optional<OpenError> Open(Screen& screen) override;
    void Present(Screen& screen) override;
    void Close(const Screen& screen) override;
    std::optional<InputEvent> NextEvent() override;
    WaitResult Wait(std::optional<std::uint32_t> deadline) override;
    std::uint32_t Milliseconds() override;

    // The size the game keeps, whatever the page's window.
    static constexpr int kWidth = 80;
    static constexpr int kHeight = 25;
    // How long the rest of a sequence may take before a lone Escape counts as a key.
    static constexpr int kEscapeTimeoutMs = 100;

  private:
    static void WriteToPage(void* context, const char* bytes, std::size_t count);
    bool TakeInput();

    bool open_ = false;

    KeyDecoder decoder_;
    ScreenRenderer renderer_;
    OutputBuffer output_;
};

}  // namespace dungeon
