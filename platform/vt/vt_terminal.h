#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "base/text.h"
#include "console/platform.h"
#include "platform/vt/byte_channel.h"
#include "platform/vt/key_decoder.h"
#include "platform/vt/screen_renderer.h"

namespace dungeon {

// The console on a VT terminal, whatever transports its bytes. At start it asks what the terminal
// knows (the kitty keyboard protocol, synchronized output) and switches that on; a present sends
// what changed. Keys become PC key events; a lone Escape counts once nothing followed it in time.
// Closing gives the terminal back: keyboard modes off, cursor shown, the prompt below the picture.
class VtTerminal : public Platform {
  public:
    explicit VtTerminal(ByteChannel& channel);
    // The program ends without closing the console: what it drew still goes out.
    ~VtTerminal() override;
    VtTerminal(const VtTerminal&) = delete;
    VtTerminal& operator=(const VtTerminal&) = delete;

    std::optional<OpenError> Open(Screen& screen) override;
    void Close() override;
    // False also when a repaint since the last present lost bytes.
    bool Present(const Screen& screen) override;
    std::optional<InputEvent> NextEvent() override;
    // Also ends, as if input had come, when a signal interrupts the channel's wait.
    WaitResult Wait() override;
    std::uint32_t Milliseconds() override { return channel_.Now(); }

    bool IsOpen() const { return open_; }
    // The terminal was resized, or what it shows is not known any more: the size is read
    // again and the whole picture drawn anew, as last presented or changed since.
    void Repaint();

    // What gives the terminal back should the program end without closing it (a signal),
    // what takes it again after a stop, and what also follows then if the keyboard mode
    // was switched on. They change as the picture grows: asked again after every present.
    struct RestoreBytes {
        std::string_view leave;
        std::string_view enter;
        std::string_view resume;
    };
    RestoreBytes CurrentRestoreBytes() const;

    // How long start-up waits for the terminal to answer its questions.
    static constexpr int kQueryTimeoutMs = 200;

  private:
    // Where the output buffer's bytes leave for the channel.
    static void Send(void* terminal, const char* bytes, std::size_t count);
    void AskTerminal();
    bool TakeInput();  // what the channel has; false when nothing came of it
    // The next key event the decoder has; the terminal's answers before it are taken in.
    std::optional<InputEvent> PullKey();
    void MakeLeaveBytes();

    ByteChannel& channel_;
    KeyDecoder decoder_;
    ScreenRenderer renderer_;
    OutputBuffer output_;
    bool bytesLost_ = false;  // by a write since the last present
    const Screen* screen_ = nullptr;
    bool open_ = false;
    // A key taken while start-up waited for answers, or while a wait looked ahead.
    std::optional<InputEvent> pending_;
    TerminalSize size_;
    struct Answers {
        bool deviceAttributes = false;
        bool kittyFlags = false;
        int synchronizedOutputMode = 0;
    } answers_;
    bool kittyKeyboard_ = false;  // switched on, so it is switched off again at the end
    Text leave_;                  // what gives the terminal back, for the picture as last presented
};

}  // namespace dungeon
