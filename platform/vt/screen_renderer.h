#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "console/screen.h"

namespace dungeon {

// Bytes on their way to the terminal. Its room is fixed at start-up; should a frame
// ever outgrow it, the part so far goes to the sink early instead of growing the buffer.
class OutputBuffer {
  public:
    using Sink = void (*)(void* context, const char* bytes, std::size_t count);

    OutputBuffer(std::size_t capacity, Sink sink, void* context);

    void Append(std::string_view bytes);
    // Hands everything held to the sink.
    void Flush();

    std::size_t Size() const { return size_; }
    // Total bytes handed to the sink so far.
    std::size_t Sent() const { return sent_; }
    // Takes out `count` bytes at `at`, as long as nothing was sent since they were appended.
    void Erase(std::size_t at, std::size_t count);

  private:
    std::vector<char> bytes_;
    std::size_t size_ = 0;
    std::size_t sent_ = 0;
    Sink sink_;
    void* context_;
};

// Brings a terminal up to date with the console's screen: only the cells that differ from what it
// shows (the presented picture), in runs, with the cheapest cursor moves and colours only where
// they change. On a terminal that knows synchronized output, a frame that could be seen half drawn
// (the whole screen, or more than one write) is wrapped in its marks. Cells are shown as their code
// page 437 glyphs; attribute 7 is the terminal's default colours. While the presented picture is
// not known, the next frame clears the terminal and draws every cell. The terminal is assumed to be
// in raw output mode (a line feed keeps the column).
class ScreenRenderer {
  public:
    // Whether the terminal has said it knows synchronized output; off at first.
    void SetSynchronizedOutput(bool supported) { synchronizedOutput_ = supported; }
    bool SynchronizedOutput() const { return synchronizedOutput_; }
    // Frames of more bytes than this may reach the terminal in several pieces.
    static constexpr std::size_t kOneWrite = 4096;
    // Sequences it writes that giving the terminal back needs too.
    static constexpr std::string_view kEndFrame = "\x1b[?2026l";
    static constexpr std::string_view kAttributesOff = "\x1b[m";
    static constexpr std::string_view kShowCursor = "\x1b[?25h";
    static constexpr std::string_view kHideCursor = "\x1b[?25l";

    // Appends one frame: what changed in `screen`, clipped to the terminal's current size,
    // then the cursor; the screen's changes are then presented.
    void Render(Screen& screen, int terminalWidth, int terminalHeight, OutputBuffer& out);

  private:
    // A way along the row from the cursor's column, and how many bytes it writes.
    enum class Along : std::uint8_t { kStay, kColumn, kReturn, kRelative, kReprint };
    struct Way {
        Along along;
        int length;
    };

    void MoveTo(int x, int y, OutputBuffer& out);
    // The shortest way along the row from the cursor's column to x, the first of equals.
    Way HorizontalWay(int x, int y, bool sameRow) const;
    void WriteWay(Way way, int x, int y, OutputBuffer& out) const;
    void SetAttribute(std::uint8_t attribute, OutputBuffer& out);
    void DrawRow(int y, int columns, OutputBuffer& out);

    const Screen* screen_ = nullptr;
    int terminalWidth_ = 0;
    // The terminal's cursor; 0 where it is not known (after writing the last column).
    int cursorX_ = 0;
    int cursorY_ = 0;
    int attribute_ = -1;               // -1: not known
    std::optional<bool> cursorShown_;  // nullopt: not known
    bool synchronizedOutput_ = false;
};

}  // namespace dungeon
