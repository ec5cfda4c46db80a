#pragma once

#include <algorithm>
#include <optional>

#include "console/screen.h"

namespace dungeon {

// Hands `visit` the rectangles that hold the cells differing from the presented picture, top to
// bottom, each of at most `maxCells` cells. Unchanged cells inside a rectangle come with it; a
// row is never split, so `maxCells` must be at least Screen::kMaxSide. After Reset every row
// differs, whole. `visit` says whether its rectangle got through; true when all did.
template <typename Visit>
bool ForEachChangedRectangle(const Screen& screen, int maxCells, Visit visit) {
    std::optional<Rect> rect;
    bool all = true;
    for (int y = 1; y <= screen.StoredHeight(); ++y) {
        const Span span = screen.DifferingSpan(y);
        if (span.Empty()) {
            continue;
        }
        if (rect) {
            const Rect merged{std::min(rect->left, span.left), rect->top,
                              std::max(rect->right, span.right), y};
            if ((merged.right - merged.left + 1) * (y - merged.top + 1) <= maxCells) {
                rect = merged;
                continue;
            }
            all = visit(*rect) && all;
        }
        rect = Rect{span.left, y, span.right, y};
    }
    return (!rect || visit(*rect)) && all;
}

// Visits the cells of `rect` row by row, each with its place in `cells`, which has them in
// that order.
template <typename Cells, typename Visit>
void EachCell(Cells& cells, const Rect& rect, Visit visit) {
    auto cell = cells.begin();
    for (int y = rect.top; y <= rect.bottom; ++y) {
        for (int x = rect.left; x <= rect.right; ++x) {
            visit(x, y, *cell++);
        }
    }
}

}  // namespace dungeon
