#include "console/cell_grid.h"

#include <algorithm>

namespace dungeon {

void CellGrid::Reset(int width, int height, Cell blank) {
    width_ = width;
    height_ = height;
    cells_.assign(static_cast<std::size_t>(width * height), blank);
    scratch_.assign(cells_.size(), Cell{});
}

void CellGrid::Write(int x, int y, Cell cell) {
    if (Inside(x, y)) {
        cells_[Index(x, y)] = cell;
    }
}

int CellGrid::Scroll(const Rect& source, const Rect& clip, int destX, int destY, Cell fill) {
    // The part of the grid that may change.
    int left = std::max(clip.left, 1);
    int top = std::max(clip.top, 1);
    int right = std::min(clip.right, width_);
    int bottom = std::min(clip.bottom, height_);
    if (left > right || top > bottom) {
        return 0;
    }
    std::copy(cells_.begin(), cells_.end(), scratch_.begin());
    int dx = destX - source.left;
    int dy = destY - source.top;
    auto inSource = [&](int x, int y) {
        return x >= source.left && x <= source.right && y >= source.top && y <= source.bottom;
    };
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) {
            Cell cell = cells_[Index(x, y)];
            if (inSource(x, y)) {
                cell = fill;  // vacated, unless something moves onto it below
            }
            int fromX = x - dx;
            int fromY = y - dy;
            if (inSource(fromX, fromY)) {
                cell = Inside(fromX, fromY) ? scratch_[Index(fromX, fromY)] : fill;
            }
            cells_[Index(x, y)] = cell;
        }
    }
    return bottom;
}

}  // namespace dungeon
