#include "platform/vt/screen_renderer.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string_view>

#include "base/number_text.h"
#include "console/cp437.h"

namespace dungeon {
namespace {

constexpr std::string_view kBeginFrame = "\x1b[?2026h";
// Erasing to the end of a row pays off from this many changed cells on.
constexpr int kEraseThreshold = 4;
// Line feeds are the shortest way down for up to this many rows.
constexpr int kMostLineFeeds = 4;

// The length of "ESC [ n final", the count left out when it is 0.
int CsiLength(int n) {
    return 3 + (n != 0 ? DecimalLength(static_cast<std::uint32_t>(n)) : 0);
}

// The count a relative move of n cells writes: none when it is 1.
int RelativeCount(int n) {
    return n == 1 ? 0 : n;
}

void AppendNumber(int n, OutputBuffer& out) {
    std::array<char, 10> room{};
    out.Append(DecimalDigits(static_cast<std::uint32_t>(n), room));
}

void AppendCsi(int n, char final, OutputBuffer& out) {
    out.Append("\x1b[");
    if (n != 0) {
        AppendNumber(n, out);
    }
    out.Append(std::string_view(&final, 1));
}

// What a row shows at column x; a cleared terminal (no row known) shows blanks.
Cell ShownAt(const Cell* shown, int x) {
    return shown != nullptr ? shown[x - 1] : Cell{};
}

// Whether erasing to the end of the row is the way to draw it from x on: all blank, with
// a background erasing fills with alike everywhere (the default one), and enough changed.
bool ErasesRestOfRow(const Cell* now, const Cell* shown, int x, int columns) {
    const Cell blank = now[x - 1];
    if (blank.character != ' ' || (blank.attribute & 0xF0) != 0) {
        return false;
    }
    int changed = 0;
    for (int i = x; i <= columns; ++i) {
        if (!(now[i - 1] == blank)) {
            return false;
        }
        changed += ShownAt(shown, i) == blank ? 0 : 1;
    }
    return changed >= kEraseThreshold;
}

// PC colour numbers (blue first) in ANSI order (red first).
constexpr std::uint32_t kAnsiColour[8] = {0, 4, 2, 6, 1, 5, 3, 7};

// ";n" for PC colour `colour` (0..15): ANSI numbers from `dark` on, the bright 60 above.
Text AnsiColour(int colour, std::uint32_t dark) {
    return Text(";") + DecimalText((colour >= 8 ? dark + 60 : dark) + kAnsiColour[colour & 7]);
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
    // Every way there is measured and the shortest is written, the first of equals; an
    // absolute position is always right, the others need to know where the cursor stands.
    const int absolute = x == 1 ? CsiLength(y == 1 ? 0 : y)
                                : CsiLength(y) + DecimalLength(static_cast<std::uint32_t>(x)) + 1;
    if (cursorX_ != 0 && cursorY_ != 0) {
        const int dy = y - cursorY_;
        const bool lineFeeds = dy > 0 && dy <= kMostLineFeeds;
        const int down = std::abs(dy);
        const int vertical = lineFeeds ? dy : dy != 0 ? CsiLength(RelativeCount(down)) : 0;
        const Way along = HorizontalWay(x, y, dy == 0);
        if (vertical + along.length < absolute) {
            if (lineFeeds) {
                out.Append(std::string_view("\n\n\n\n", static_cast<std::size_t>(dy)));
            } else if (dy != 0) {
                AppendCsi(RelativeCount(down), dy > 0 ? 'B' : 'A', out);
            }
            WriteWay(along, x, y, out);
            cursorX_ = x;
            cursorY_ = y;
            return;
        }
    }
    AppendCsi(x == 1 && y == 1 ? 0 : y, x == 1 ? 'H' : ';', out);
    if (x != 1) {
        AppendNumber(x, out);
        out.Append("H");
    }
    cursorX_ = x;
    cursorY_ = y;
}

ScreenRenderer::Way ScreenRenderer::HorizontalWay(int x, int y, bool sameRow) const {
    const int dx = x - cursorX_;
    if (dx == 0) {
        return {Along::kStay, 0};
    }
    Way best{Along::kColumn, CsiLength(x)};
    const auto consider = [&best](Way way) { best = way.length < best.length ? way : best; };
    consider({Along::kReturn, 1 + (x == 1 ? 0 : CsiLength(RelativeCount(x - 1)))});
    consider({Along::kRelative, CsiLength(RelativeCount(std::abs(dx)))});
    if (dx < 0 || !sameRow) {
        return best;
    }
    // Writing the cells passed over again may be shorter: they show as the screen has them.
    int reprint = 0;
    for (int i = cursorX_; i < x && reprint <= best.length; ++i) {
        const Cell cell = screen_->At(i, y);
        if (cell.attribute != attribute_) {
            return best;
        }
        reprint += static_cast<int>(Cp437Glyph(cell.character).size());
    }
    return reprint < best.length ? Way{Along::kReprint, reprint} : best;
}

void ScreenRenderer::WriteWay(Way way, int x, int y, OutputBuffer& out) const {
    const int dx = x - cursorX_;
    switch (way.along) {
        case Along::kStay:
            break;
        case Along::kColumn:
            AppendCsi(x, 'G', out);
            break;
        case Along::kReturn:
            out.Append("\r");
            if (x != 1) {
                AppendCsi(RelativeCount(x - 1), 'C', out);
            }
            break;
        case Along::kRelative:
            AppendCsi(RelativeCount(std::abs(dx)), dx < 0 ? 'D' : 'C', out);
            break;
        case Along::kReprint:
            for (int i = cursorX_; i < x; ++i) {
                out.Append(Cp437Glyph(screen_->At(i, y).character));
            }
            break;
    }
}

void ScreenRenderer::DrawRow(int y, int columns, bool afresh, OutputBuffer& out) {
    const Span span = afresh ? Span{1, columns} : screen_->DifferingSpan(y);
    const Cell* now = screen_->RowCells(y);
    const Cell* shown = afresh ? nullptr : screen_->PresentedRow(y);
    for (int x = span.left; x <= std::min(span.right, columns); ++x) {
        const Cell cell = now[x - 1];
        if (cell == ShownAt(shown, x)) {
            continue;
        }
        const bool erase = ErasesRestOfRow(now, shown, x, columns);
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

void ScreenRenderer::Render(const Screen& screen, int terminalWidth, int terminalHeight,
                            OutputBuffer& out, bool afresh) {
    screen_ = &screen;
    terminalWidth_ = terminalWidth;
    const std::size_t frameStart = out.Size();
    const std::size_t sentBefore = out.Sent();
    // The mark goes first, before it is known whether the frame needs it: a frame too big
    // for the buffer is partly sent before its end is known.
    if (synchronizedOutput_) {
        out.Append(kBeginFrame);
    }
    const std::size_t contentStart = out.Size();
    const bool wholeScreen = afresh || !screen.PresentedKnown();
    if (wholeScreen) {
        out.Append(kAttributesOff);
        out.Append("\x1b[H\x1b[2J");
        attribute_ = kDefaultAttribute;
        cursorX_ = 1;
        cursorY_ = 1;
        cursorShown_.reset();
    }
    const int columns = std::min(screen.StoredWidth(), terminalWidth);
    const int rows = std::min(screen.StoredHeight(), terminalHeight);
    for (int y = 1; y <= rows; ++y) {
        DrawRow(y, columns, wholeScreen, out);
    }
    const int x = screen.CursorX();
    const int y = screen.CursorY();
    const bool showCursor = screen.CursorVisible() && x >= 1 && x <= columns && y >= 1 && y <= rows;
    if (showCursor) {
        MoveTo(x, y, out);
    }
    if (cursorShown_ != showCursor) {
        out.Append(showCursor ? kShowCursor : kHideCursor);
        cursorShown_ = showCursor;
    }
    const bool sentInBetween = out.Sent() != sentBefore;
    if (!sentInBetween && out.Size() == contentStart) {
        out.Erase(frameStart, out.Size() - frameStart);  // nothing changed: send nothing at all
    } else if (synchronizedOutput_ && !wholeScreen && !sentInBetween &&
               out.Size() - contentStart <= kOneWrite) {
        out.Erase(frameStart, kBeginFrame.size());  // small enough to arrive whole
    } else if (synchronizedOutput_) {
        out.Append(kEndFrame);
    }
}

}  // namespace dungeon
