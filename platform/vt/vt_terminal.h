#pragma once

#include <cstdint>
#include <optional>

#include "base/text.h"
#include "console/platform.h"
#include "platform/vt/byte_channel.h"
#include "platform/vt/key_decoder.h"
#include "platform/vt/screen_renderer.h"

namespace dungeon {

// The console on a VT terminal, whatever carries its bytes. At start it asks what the terminal
// knows (the kitty keyboard protocol, synchronized output; the device attributes, which every
// terminal answers, fence the answers) and switches that on; a present sends what changed. Keys
// become PC key events; a lone Escape counts once nothing followed it in time. Closing gives the
// terminal back: keyboard modes off, cursor shown, the prompt below the picture.
class VtTerminal : public Platform {
  public:
    explicit VtTerminal(ByteChannel& channel);

    std::optional<OpenError> Open(Screen& screen) override;
    void Close() override;
    bool Present(const Screen& screen) override;
    std::optional<InputEvent> NextEvent() override;
    WaitResult Wait() override;
    std::uint32_t Milliseconds() override { return channel_.Now(); }

    // How long start-up waits for the terminal to answer its questions.
    static constexpr int kQueryTimeoutMs = 200;
    // Larger terminals are used only up to this size: no window reaches further.
    static constexpr int kMaxSide = Screen::kMaxSide;

  protected:
    // The program ends without closing the console: what it drew still goes out.
    void CloseIfOpen();

  private:
    void AskTerminal();
    bool TakeInput();  // what the channel holds; false when nothing came of it
    // The next key event the decoder holds; the terminal's answers before it are taken in.
    std::optional<InputEvent> PullKey();
    void Repaint();
    void UpdateRestoreBytes();

    ByteChannel& channel_;
    KeyDecoder decoder_;
    ScreenRenderer renderer_;
    OutputBuffer output_;
    const Screen* screen_ = nullptr;
    bool open_ = false;
    // A key taken while start-up waited for answers, or while waiting looked ahead.
    std::optional<InputEvent> held_;
    TerminalSize size_;
    // What the terminal has said, and what was switched on.
    struct Learnt {
        bool attributesAnswered = false;
        bool kittyKnown = false;
        int synchronizedOutputMode = 0;
        bool kittyPushed = false;
    } learnt_;
    // The lowest row drawn when the restore bytes were last made.
    int restoreRow_ = -1;
    Text leave_;
};

}  // namespace dungeon
