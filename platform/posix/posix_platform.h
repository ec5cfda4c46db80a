#pragma once

#include <sys/select.h>
#include <sys/time.h>

#include <cstddef>
#include <cstdint>

#include "console/cell_grid.h"
#include "console/platform.h"
#include "platform/vt/key_decoder.h"
#include "platform/vt/screen_renderer.h"

namespace dungeon {

// The console on a POSIX terminal. The terminal (normally /dev/tty, the controlling
// terminal, so redirected standard streams do not matter) is put into raw mode, cleared
// once, and from then on shows this platform's cell buffer, which stays authoritative
// like a Win32 screen buffer: Present sends what changed, and so does every look for keys
// (PendingEventCount), which also takes in the bytes the terminal has sent, without
// waiting. Keys are decoded into PC key events. Every way out (Close, the end of the
// program, a terminating or crash signal) restores the terminal's modes, shows the cursor
// and leaves the prompt below the picture, and none of them waits for a terminal that has
// stopped reading; a stop (SIGTSTP) restores it as well and takes it over again on
// continuing, as does a continue after any other stop.
//
// Only one instance may be open at a time: the signal handlers act on it.
class PosixPlatform : public Platform {
  public:
    // `terminalType` is the terminal's type as TERM names it; null: TERM itself. A type
    // without cursor addressing ("dumb", or none at all) is refused.
    explicit PosixPlatform(const char* terminalPath = "/dev/tty",
                           const char* terminalType = nullptr);
    ~PosixPlatform() override;
    PosixPlatform(const PosixPlatform&) = delete;
    PosixPlatform& operator=(const PosixPlatform&) = delete;

    OpenResult Open() override;
    void Close() override;
    bool GetScreenBufferInfo(ScreenBufferInfo& info) override;
    void ScrollRect(const Rect& source, const Rect& clip, int destX, int destY, Cell fill) override;
    void WriteCell(int x, int y, Cell cell) override;
    void SetCursorPosition(int x, int y) override;
    bool GetCursorInfo(CursorInfo& info) override;
    void SetCursorInfo(const CursorInfo& info) override;
    int PendingEventCount() override;
    bool ReadEvent(InputEvent& event) override;
    bool WaitForInput() override;
    std::uint32_t TickCount() override;
    void Present() override;

    // For tests and measurements.
    Cell At(int x, int y) const;
    bool KittyProtocol() const { return kittyPushed_; }
    bool SynchronizedOutput() const { return synchronizedOutput_; }
    bool InputGone() const { return inputGone_; }
    std::size_t BytesSent() const { return output_.Sent(); }

    // How long start-up waits for the terminal to answer its queries.
    static constexpr int kQueryTimeoutMs = 200;

  protected:
    // The system's select(), watching for readable descriptors only. A test plays a system
    // whose wait fails by replacing it.
    virtual int Select(int count, fd_set* readable, timeval* timeout);

  private:
    // Waits until the terminal (and with `notices` the wake-up pipe) can be read, at most
    // `timeoutMs` milliseconds (-1: no limit); returns what select() returned.
    int WaitReadable(int timeoutMs, bool notices, bool& terminalReady, bool& noticeReady);
    static void WriteToTerminal(void* context, const char* bytes, std::size_t count);
    void ReadTerminal();
    void TakeDecoded();
    void AskTerminal();
    void TakeNotices();
    void ReadTerminalSize();
    void UpdateLeaveBytes();
    void Release();

    const char* path_;
    const char* type_;
    int fd_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    bool open_ = false;
    bool inputGone_ = false;
    bool kittyPushed_ = false;
    bool synchronizedOutput_ = false;
    // Something was drawn since the last frame went out.
    bool changed_ = true;

    int width_ = 80;
    int height_ = 25;
    int terminalWidth_ = 80;
    int terminalHeight_ = 25;
    // The lowest row the program has drawn on: the prompt goes below it at the end.
    int areaBottom_ = 0;
    int cursorX_ = 1;
    int cursorY_ = 1;
    CursorInfo cursor_;
    CellGrid grid_;

    KeyDecoder decoder_;
    // The key events decoded and not yet read, and the terminal's answers so far.
    static constexpr int kEventCapacity = 4096;
    InputEvent events_[kEventCapacity];
    int eventHead_ = 0;
    int eventCount_ = 0;
    int kittyReplies_ = 0;
    int deviceAttributeReplies_ = 0;
    int synchronizedOutputMode_ = 0;
    ScreenRenderer renderer_;
    OutputBuffer output_;
};

}  // namespace dungeon
