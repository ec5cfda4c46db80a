#pragma once

#include <algorithm>
#include <optional>

#include "console/screen.h"

namespace dungeon {

// Hands `carry` the cells that differ, top to bottom, in rectangles of at most `maxCells`
// cells (unchanged cells inside go along; a row is never split, so `maxCells` must hold
// Screen::kMaxSide). `carry` says whether its rectangle got through; true when all did.
// Reset leaves rows whole.
template <typename Carry>
bool CarryChanges(const Screen& screen, int maxCells, Carry carry) {
    std::optional<Rect> band;
    bool all = true;
    for (int y = 1; y <= screen.StoredHeight(); ++y) {
        const Span span = screen.DifferingSpan(y);
        if (span.Empty()) {
            continue;
        }
        if (band) {
            const Rect merged{std::min(band->left, span.left), band->top,
                              std::max(band->right, span.right), y};
            if ((merged.right - merged.left + 1) * (y - merged.top + 1) <= maxCells) {
                band = merged;
                continue;
            }
            all = carry(*band) && all;
        }
        band = Rect{span.left, y, span.right, y};
    }
    return (!band || carry(*band)) && all;
}

// Visits the cells of `band` row by row, each with its place in `cells`, which holds them in
// that order.
template <typename Cells, typename Visit>
void EachCell(Cells& cells, const Rect& band, Visit visit) {
    auto cell = cells.begin();
    for (int y = band.top; y <= band.bottom; ++y) {
        for (int x = band.left; x <= band.right; ++x) {
            visit(x, y, *cell++);
        }
    }
}

}  // namespace dungeon
