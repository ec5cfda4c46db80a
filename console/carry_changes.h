#pragma once

#include <algorithm>
#include <optional>

#include "console/screen.h"

namespace dungeon {

// Calls `send` with the cells that differ, top to bottom, in rectangles of at most
// `maxCells` cells (unchanged cells inside are included; a row is never split, so
// `maxCells` must be at least Screen::kMaxSide). `send` says whether its rectangle got
// through; true when all did. After Reset every row is whole.
template <typename Send>
bool CarryChanges(const Screen& screen, int maxCells, Send send) {
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
            all = send(*rect) && all;
        }
        rect = Rect{span.left, y, span.right, y};
    }
    return (!rect || send(*rect)) && all;
}

// Visits the cells of `rect` row by row, each with its place in `cells`, which stores them
// in that order.
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
