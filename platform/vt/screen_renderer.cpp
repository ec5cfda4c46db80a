#include "platform/vt/screen_renderer.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "base/number_text.h"
#include "console/cp437.h"

namespace dungeon {
namespace {

constexpr std::string_view kBeginFrame = "\x1b[?2026h";
// Erasing to the end of a row pays off from this many changed cells on.
constexpr int kEraseThreshold = 4;
// Line feeds are the shortest move down for up to this many rows.
constexpr int kMostLineFeeds = 4;
// A code page 437 glyph is at most this many bytes of UTF-8.
constexpr int kMostGlyphBytes = 3;

// "ESC [ n final"; the count is left out when it is 0.
Text Csi(int n, char final) {
    Text bytes("\x1b[");
    if (n != 0) {
        bytes += DecimalText(static_cast<std::uint32_t>(n));
    }
    return bytes.Append(final);
}

// The count a relative move of n cells writes: none when it is 1.
int RelativeCount(int n) {
    return n == 1 ? 0 : n;
}

// "ESC [ row ; column H", without the numbers that are 1.
Text Position(int x, int y) {
    if (x == 1) {
        return Csi(y == 1 ? 0 : y, 'H');
    }
    return Csi(y, ';') + DecimalText(static_cast<std::uint32_t>(x)) + "H";
}

// Up (dy < 0) or down by dy rows: line feeds for a few rows down (in raw mode they leave the
// column as it is), else "ESC [ n A" or "ESC [ n B".
Text RowMove(int dy) {
    if (dy > 0 && dy <= kMostLineFeeds) {
        return Text(std::string_view("\n\n\n\n", static_cast<std::size_t>(dy)));
    }
    return dy != 0 ? Csi(RelativeCount(std::abs(dy)), dy > 0 ? 'B' : 'A') : Text();
}

// What the terminal shows at (x, y); a cleared terminal shows blanks.
Cell ShownAt(const Screen& screen, bool afresh, int x, int y) {
    return afresh ? Cell{} : screen.PresentedAt(x, y);
}

// Whether erasing to the end of row y draws it from x on: all blank, with
// a background erasing fills with alike everywhere (the default one), and enough changed.
bool ErasesRestOfRow(const Screen& screen, bool afresh, int x, int y, int columns) {
    const Cell blank = screen.At(x, y);
    if (blank.character != ' ' || (blank.attribute & 0xF0) != 0) {
        return false;
    }
    int changed = 0;
    for (int i = x; i <= columns; ++i) {
        if (!(screen.At(i, y) == blank)) {
            return false;
        }
        changed += ShownAt(screen, afresh, i, y) == blank ? 0 : 1;
    }
    return changed >= kEraseThreshold;
}

// PC colour numbers (blue first) in ANSI order (red first).
constexpr std::uint32_t kAnsiColour[8] = {0, 4, 2, 6, 1, 5, 3, 7};

// ";n" for PC colour `colour` (0..15): ANSI numbers from `dark` on, the bright 60 above.
Text AnsiColour(int colour, std::uint32_t dark) {
    return Text(";") + DecimalText((colour >= 8 ? dark + 60 : dark) + kAnsiColour[colour & 7]);
}

// The whole screen, or more cells than one write takes: the terminal might show part of it.
bool MayBeSeenHalfDrawn(const Screen& screen, int columns, int rows, bool afresh) {
    if (afresh) {
        return true;
    }
    std::size_t cells = 0;
    for (int y = 1; y <= rows; ++y) {
        const Span span = screen.DifferingSpan(y);
        cells +=
            static_cast<std::size_t>(std::max(0, std::min(span.right, columns) - span.left + 1));
    }
    return cells * kMostGlyphBytes > ScreenRenderer::kOneWrite;
}

}  // namespace

void ScreenRenderer::SetAttribute(std::uint8_t attribute, OutputBuffer& out) {
    if (attribute_ == attribute) {
        return;
    }
    attribute_ = attribute;
    // Attribute 7 is the terminal's default pair of colours; others are set from that reset state.
    const int foreground = attribute & 0x0F;
    const int background = attribute >> 4;
    out.Append("\x1b[");
    if (attribute != kDefaultAttribute) {
        out.Append("0");
        if (foreground != 7) {
            out.Append(AnsiColour(foreground, 30).View());
        }
        if (background != 0) {
            out.Append(AnsiColour(background, 40).View());
        }
    }
    out.Append("m");
}

void ScreenRenderer::MoveTo(int x, int y, OutputBuffer& out) {
    if (cursorX_ == x && cursorY_ == y) {
        return;
    }
    // A position is always right; a move from where the cursor stands, where that is known,
    // is taken only when it is shorter.
    Text move = Position(x, y);
    if (cursorX_ != 0 && cursorY_ != 0) {
        const Text relative = RowMove(y - cursorY_) + ColumnMove(x, y, y == cursorY_);
        move = relative.Length() < move.Length() ? relative : move;
    }
    out.Append(move.View());
    cursorX_ = x;
    cursorY_ = y;
}

// The shortest move within the row from the cursor's column to x; of equal ones the first of:
// to the column, a carriage return with a move right, a move left or right, and writing the
// cells passed over again.
Text ScreenRenderer::ColumnMove(int x, int y, bool sameRow) const {
    const int dx = x - cursorX_;
    if (dx == 0) {
        return {};
    }
    Text best = Csi(x, 'G');
    const auto consider = [&best](const Text& move) {
        best = move.Length() < best.Length() ? move : best;
    };
    consider(x == 1 ? Text("\r") : Text("\r") + Csi(RelativeCount(x - 1), 'C'));
    consider(Csi(RelativeCount(std::abs(dx)), dx < 0 ? 'D' : 'C'));
    if (const std::optional<Text> rewrite =
            sameRow && dx > 0 ? Rewrite(x, y, best.Length()) : std::nullopt) {
        consider(*rewrite);
    }
    return best;
}

// The glyphs of the cells from the cursor up to x, which show as the screen has them: if they
// have the colours in force and come to fewer than `limit` bytes.
std::optional<Text> ScreenRenderer::Rewrite(int x, int y, int limit) const {
    Text glyphs;
    for (int i = cursorX_; i < x && glyphs.Length() < limit; ++i) {
        const Cell cell = screen_->At(i, y);
        if (cell.attribute != attribute_) {
            return std::nullopt;
        }
        glyphs.Append(Cp437Glyph(cell.character));
    }
    return glyphs.Length() < limit ? std::optional(glyphs) : std::nullopt;
}

void ScreenRenderer::DrawRow(int y, int columns, bool afresh, OutputBuffer& out) {
    const Span span = afresh ? Span{1, columns} : screen_->DifferingSpan(y);
    for (int x = span.left; x <= std::min(span.right, columns); ++x) {
        const Cell cell = screen_->At(x, y);
        if (cell == ShownAt(*screen_, afresh, x, y)) {
            continue;
        }
        const bool erase = ErasesRestOfRow(*screen_, afresh, x, y, columns);
        MoveTo(x, y, out);
        SetAttribute(cell.attribute, out);
        if (erase) {
            out.Append("\x1b[K");
            return;
        }
        out.Append(Cp437Glyph(cell.character));
        if (++cursorX_ > terminalWidth_) {
            // The terminal now waits to wrap; where its cursor stands depends on the terminal.
            cursorX_ = 0;
            cursorY_ = 0;
        }
    }
}

void ScreenRenderer::ClearTerminal(OutputBuffer& out) {
    out.Append(kAttributesOff);
    out.Append("\x1b[H\x1b[2J");
    attribute_ = kDefaultAttribute;
    cursorX_ = 1;
    cursorY_ = 1;
    cursorShown_.reset();
}

void ScreenRenderer::ShowCursor(int columns, int rows, OutputBuffer& out) {
    const int x = screen_->CursorX();
    const int y = screen_->CursorY();
    const bool show = screen_->CursorVisible() && x >= 1 && x <= columns && y >= 1 && y <= rows;
    if (show) {
        MoveTo(x, y, out);
    }
    if (cursorShown_ != show) {
        out.Append(show ? kShowCursor : kHideCursor);
        cursorShown_ = show;
    }
}

void ScreenRenderer::Render(const Screen& screen, int terminalWidth, int terminalHeight,
                            OutputBuffer& out, bool afresh) {
    screen_ = &screen;
    terminalWidth_ = terminalWidth;
    afresh = afresh || !screen.PresentedKnown();
    const int columns = std::min(screen.StoredWidth(), terminalWidth);
    const int rows = std::min(screen.StoredHeight(), terminalHeight);
    const bool marked = synchronizedOutput_ && MayBeSeenHalfDrawn(screen, columns, rows, afresh);
    if (marked) {
        out.Append(kBeginFrame);
    }
    if (afresh) {
        ClearTerminal(out);
    }
    for (int y = 1; y <= rows; ++y) {
        DrawRow(y, columns, afresh, out);
    }
    ShowCursor(columns, rows, out);
    if (marked) {
        out.Append(kEndFrame);
    }
}

}  // namespace dungeon
