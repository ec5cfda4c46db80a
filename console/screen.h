#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dungeon {

// The attribute of a console nobody has coloured: light grey on black.
inline constexpr std::uint8_t kDefaultAttribute = 7;

struct Cell {
    std::uint8_t character = ' ';
    std::uint8_t attribute = kDefaultAttribute;

    friend constexpr bool operator==(const Cell&, const Cell&) = default;
};
// Rows of cells are written as bytes, character then attribute.
static_assert(sizeof(Cell) == 2 && offsetof(Cell, attribute) == 1);

// A rectangle of cells, corners included; 1-based columns and rows.
struct Rect {
    int left = 1;
    int top = 1;
    int right = 1;
    int bottom = 1;

    friend bool operator==(const Rect&, const Rect&) = default;
};

// Columns left..right of one row; empty when left > right.
struct Span {
    int left = 1;
    int right = 0;

    bool Empty() const { return left > right; }
};

// The picture of the console, kept once for every platform: the cells, the cursor, and
// what the platform last presented, so that a platform shows only what changed and keeps
// no copy of its own. A screen may be taller or wider than any window can reach (a Windows
// console buffer of 9001 rows); cells are kept only where windows reach, and everything
// beyond reads as a default blank. Clearing and scrolling touch the given rectangle only,
// so their cost follows the window, not the screen. Allocates only in Reset.
class Screen {
  public:
    // Window corners are 8-bit: no window ever reaches a cell beyond this.
    static constexpr int kReach = 255;

    // Sizes the screen and blanks it; the platform's picture is not known yet.
    void Reset(int width, int height, std::uint8_t attribute);

    int Width() const { return width_; }
    int Height() const { return height_; }
    // The part of the screen whose cells are kept.
    int KeptWidth() const { return keptWidth_; }
    int KeptHeight() const { return keptHeight_; }
    std::uint8_t Attribute() const { return attribute_; }
    bool Kept(int x, int y) const {
        return x >= 1 && x <= keptWidth_ && y >= 1 && y <= keptHeight_;
    }
    Cell At(int x, int y) const { return Kept(x, y) ? cells_[Index(x, y)] : Cell{}; }

    void Write(int x, int y, Cell cell);
    // Every cell of `rect` becomes `fill`.
    void Clear(const Rect& rect, Cell fill);
    // Every row of `rect` moves up by one inside it; the top row is lost, the bottom one
    // becomes `fill`.
    void ScrollUp(const Rect& rect, Cell fill);

    int CursorX() const { return cursorX_; }
    int CursorY() const { return cursorY_; }
    bool CursorVisible() const { return cursorVisible_; }
    void SetCursor(int x, int y);
    void SetCursorVisible(bool visible);

    // The lowest row drawn on since Reset (written, cleared or scrolled); 0 when none.
    int LowestRowDrawn() const { return lowestRow_; }

    // What a platform asks before it presents. Rows outside firstChanged..lastChanged have
    // not changed; inside, ChangedSpan tells which columns of a row may have.
    bool Changed() const { return firstChanged_ <= lastChanged_ || cursorChanged_; }
    int FirstChangedRow() const { return firstChanged_; }
    int LastChangedRow() const { return lastChanged_; }
    Span ChangedSpan(int y) const {
        return y >= 1 && y <= keptHeight_ ? changed_[static_cast<std::size_t>(y - 1)] : Span{};
    }
    // ChangedSpan without the cells at its ends that are as presented: empty for a row drawn
    // again as it was. The whole span while !PresentedKnown.
    Span DifferingSpan(int y) const;
    bool CursorChanged() const { return cursorChanged_; }
    // The cell as the platform last presented it; meaningful only while PresentedKnown.
    Cell Presented(int x, int y) const { return presented_[Index(x, y)]; }
    // A kept row's cells, now and as presented, KeptWidth() of them from column 1.
    const Cell* RowCells(int y) const { return &cells_[Index(1, y)]; }
    const Cell* PresentedRow(int y) const { return &presented_[Index(1, y)]; }
    // False until the first present, and after Forget: everything must be shown afresh.
    bool PresentedKnown() const { return presentedKnown_; }

    // The platform has shown every change: they become the presented picture.
    void MarkPresented();
    // The platform no longer knows what it shows (a resize, a resume): at the next present
    // every kept cell counts as changed.
    void Forget();

  private:
    std::size_t Index(int x, int y) const {
        return static_cast<std::size_t>(y - 1) * static_cast<std::size_t>(keptWidth_) +
               static_cast<std::size_t>(x - 1);
    }
    void MarkChanged(int y, int left, int right);

    int width_ = 0;
    int height_ = 0;
    int keptWidth_ = 0;
    int keptHeight_ = 0;
    std::uint8_t attribute_ = kDefaultAttribute;
    std::vector<Cell> cells_;
    std::vector<Cell> presented_;
    std::vector<Span> changed_;  // per kept row
    int firstChanged_ = 1;
    int lastChanged_ = 0;
    bool presentedKnown_ = false;

    int cursorX_ = 1;
    int cursorY_ = 1;
    bool cursorVisible_ = true;
    bool cursorChanged_ = true;
    int lowestRow_ = 0;
};

}  // namespace dungeon
