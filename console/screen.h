#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace dungeon {

// The attribute of a console nobody has coloured: light grey on black.
inline constexpr std::uint8_t kDefaultAttribute = 7;

struct Cell {
    std::uint8_t character = ' ';
    std::uint8_t attribute = kDefaultAttribute;

    friend constexpr bool operator==(const Cell&, const Cell&) = default;
};

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

// The picture of the console, stored once for every platform: the cells and the cursor, and
// the cells the platform last presented, so that a platform shows only the cells that differ
// and needs no copy of its own. A screen may be larger than any window (a Windows console
// buffer of 9001 rows); cells are stored only up to kMaxSide columns and rows, and everything
// beyond reads as a default blank. Clearing and scrolling touch the given rectangle only, so
// their cost follows the window, not the screen. Characters and attributes are stored apart,
// so that writing, clearing and comparing a row are each one memcpy, memset or memcmp.
// Allocates only in Reset.
class Screen {
  public:
    // Window corners are 8-bit: no window covers a cell beyond this column or row.
    static constexpr int kMaxSide = 255;

    // Sizes the screen and blanks it; the platform's picture is not known yet.
    void Reset(int width, int height, std::uint8_t attribute);

    int Width() const { return width_; }
    int Height() const { return height_; }
    // The part of the screen whose cells are stored.
    int StoredWidth() const { return storedWidth_; }
    int StoredHeight() const { return storedHeight_; }
    std::uint8_t Attribute() const { return attribute_; }
    bool Stored(int x, int y) const {
        // Below 1 wraps round to a large unsigned number.
        return static_cast<unsigned>(x - 1) < static_cast<unsigned>(storedWidth_) &&
               static_cast<unsigned>(y - 1) < static_cast<unsigned>(storedHeight_);
    }
    Cell At(int x, int y) const { return Stored(x, y) ? cells_.At(Index(x, y)) : Cell{}; }
    // A stored cell as the platform last presented it.
    Cell PresentedAt(int x, int y) const {
        return Stored(x, y) ? presented_.At(Index(x, y)) : Cell{};
    }

    // The characters into the cells of row y from column x rightwards, each with
    // `attribute`; what lies outside the stored cells is dropped.
    void Write(int x, int y, std::string_view characters, std::uint8_t attribute);
    void Write(int x, int y, Cell cell) {
        const char character = static_cast<char>(cell.character);
        Write(x, y, std::string_view(&character, 1), cell.attribute);
    }
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

    // Whether a platform has anything to show: a cell or the cursor differs from what it
    // last presented, or that is not known.
    bool Changed() const;
    // The columns of row y from the first to the last cell that differs from what was
    // presented; empty for a row that shows what it showed, the whole row while
    // !PresentedKnown.
    Span DifferingSpan(int y) const;
    // False until the first present, and after Forget: everything must be shown afresh.
    bool PresentedKnown() const { return presentedKnown_; }

    // The platform has shown every change: they become the presented picture.
    void MarkPresented();
    // What the platform shows is no longer known: at the next present every stored cell
    // counts as changed.
    void Forget();

  private:
    struct Cells {
        std::vector<std::uint8_t> characters;
        std::vector<std::uint8_t> attributes;

        Cell At(std::size_t index) const { return {characters[index], attributes[index]}; }
        friend bool operator==(const Cells&, const Cells&) = default;
        void Fill(std::size_t index, std::size_t count, Cell cell);
        void Assign(std::size_t count, Cell cell);
    };

    std::size_t Index(int x, int y) const {
        return static_cast<std::size_t>(y - 1) * static_cast<std::size_t>(storedWidth_) +
               static_cast<std::size_t>(x - 1);
    }
    int width_ = 0;
    int height_ = 0;
    int storedWidth_ = 0;
    int storedHeight_ = 0;
    std::uint8_t attribute_ = kDefaultAttribute;
    Cells cells_;
    Cells presented_;
    bool presentedKnown_ = false;

    int cursorX_ = 1;
    int cursorY_ = 1;
    bool cursorVisible_ = true;
    bool cursorChanged_ = true;
    int lowestRow_ = 0;
};

}  // namespace dungeon
