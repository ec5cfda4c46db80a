#pragma once

#include <cstddef>
#include <vector>

#include "console/platform.h"

namespace dungeon {

// The character cells of a screen that a platform keeps itself (in memory, or for a
// terminal that only shows it), with the scroll of a console screen buffer: a rectangle
// moves, clipped, and what it leaves behind becomes the fill cell. Coordinates are 1-based;
// writes outside the grid are ignored. Allocates only in Reset.
class CellGrid {
  public:
    void Reset(int width, int height, Cell blank);

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Inside(int x, int y) const { return x >= 1 && x <= width_ && y >= 1 && y <= height_; }
    // A default cell outside the grid.
    Cell At(int x, int y) const { return Inside(x, y) ? cells_[Index(x, y)] : Cell{}; }
    const Cell* Data() const { return cells_.data(); }

    void Write(int x, int y, Cell cell);
    // Moves the cells of `source` so that its top-left corner lands on (destX, destY); only
    // cells inside `clip` change, and those of `source` that nothing moved onto become
    // `fill`. Returns the lowest row that may have changed, 0 when none could.
    int Scroll(const Rect& source, const Rect& clip, int destX, int destY, Cell fill);

  private:
    std::size_t Index(int x, int y) const {
        return static_cast<std::size_t>((y - 1) * width_ + (x - 1));
    }

    int width_ = 0;
    int height_ = 0;
    std::vector<Cell> cells_;
    std::vector<Cell> scratch_;
};

}  // namespace dungeon
