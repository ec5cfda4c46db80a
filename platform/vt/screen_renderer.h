#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "base/output_buffer.h"
#include "base/text.h"
#include "console/screen.h"

namespace dungeon {

// Brings a terminal up to date with the console's screen: only the cells that differ from what it
// shows (the presented picture), as code page 437 glyphs, with the cheapest cursor moves and
// colours only where they change. On a terminal that knows synchronized output, a frame that could
// be seen half drawn is wrapped in its marks. The terminal is assumed to be in raw output mode.
class ScreenRenderer {
  public:
    // Whether the terminal has said it knows synchronized output; off at first.
    void SetSynchronizedOutput(bool supported) { synchronizedOutput_ = supported; }
    bool SynchronizedOutput() const { return synchronizedOutput_; }
    // Frames of more bytes than this may arrive at the terminal in several pieces.
    static constexpr std::size_t kOneWrite = 4096;
    // Sequences it writes that giving the terminal back needs too.
    static constexpr std::string_view kEndFrame = "\x1b[?2026l";
    static constexpr std::string_view kAttributesOff = "\x1b[m";
    static constexpr std::string_view kShowCursor = "\x1b[?25h";
    static constexpr std::string_view kHideCursor = "\x1b[?25l";

    // Appends one frame: what changed in `screen`, clipped to the terminal's current size,
    // then the cursor. With `afresh`, or while the screen's presented picture is not known,
    // the terminal is cleared and every cell drawn.
    void Render(const Screen& screen, int terminalWidth, int terminalHeight, OutputBuffer& out,
                bool afresh = false);

  private:
    void ClearTerminal(OutputBuffer& out);
    void MoveTo(int x, int y, OutputBuffer& out);
    Text ColumnMove(int x, int y, bool sameRow) const;
    std::optional<Text> Rewrite(int x, int y, int limit) const;
    void SetAttribute(std::uint8_t attribute, OutputBuffer& out);
    void DrawRow(int y, int columns, bool afresh, OutputBuffer& out);
    void ShowCursor(int columns, int rows, OutputBuffer& out);

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
