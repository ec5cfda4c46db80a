#include "console/screen.h"

#include <algorithm>
#include <cstring>

namespace dungeon {

void Screen::Reset(int width, int height, std::uint8_t attribute) {
    width_ = std::max(width, 1);
    height_ = std::max(height, 1);
    keptWidth_ = std::min(width_, kReach);
    keptHeight_ = std::min(height_, kReach);
    attribute_ = attribute;
    const auto count = static_cast<std::size_t>(keptWidth_) * static_cast<std::size_t>(keptHeight_);
    cells_.assign(count, Cell{' ', attribute});
    presented_.assign(count, Cell{' ', attribute});
    changed_.assign(static_cast<std::size_t>(keptHeight_), Span{});
    firstChanged_ = 1;
    lastChanged_ = 0;
    cursorChanged_ = true;
    lowestRow_ = 0;
    Forget();
}

void Screen::MarkChanged(int y, int left, int right) {
    Span& span = changed_[static_cast<std::size_t>(y - 1)];
    if (span.Empty()) {
        span = Span{left, right};
    } else {
        span.left = std::min(span.left, left);
        span.right = std::max(span.right, right);
    }
    if (firstChanged_ > lastChanged_) {
        firstChanged_ = lastChanged_ = y;
    } else {
        firstChanged_ = std::min(firstChanged_, y);
        lastChanged_ = std::max(lastChanged_, y);
    }
    lowestRow_ = std::max(lowestRow_, y);
}

void Screen::Write(int x, int y, Cell cell) {
    if (!Kept(x, y)) {
        return;
    }
    cells_[Index(x, y)] = cell;
    MarkChanged(y, x, x);
}

void Screen::Clear(const Rect& rect, Cell fill) {
    const int left = std::max(rect.left, 1);
    const int right = std::min(rect.right, keptWidth_);
    const int top = std::max(rect.top, 1);
    const int bottom = std::min(rect.bottom, keptHeight_);
    if (left > right) {
        return;
    }
    // The first row is filled cell by cell, the others copied from it in one go.
    const std::size_t columns =
        static_cast<std::size_t>(right) - static_cast<std::size_t>(left) + 1;
    for (int y = top; y <= bottom; ++y) {
        Cell* row = &cells_[Index(left, y)];
        if (y == top) {
            std::fill_n(row, columns, fill);
        } else {
            std::memcpy(row, &cells_[Index(left, top)], columns * sizeof(Cell));
        }
        MarkChanged(y, left, right);
    }
}

void Screen::ScrollUp(const Rect& rect, Cell fill) {
    const int left = std::max(rect.left, 1);
    const int right = std::min(rect.right, keptWidth_);
    const int top = std::max(rect.top, 1);
    const int bottom = std::min(rect.bottom, keptHeight_);
    if (left > right || top > bottom) {
        return;
    }
    const std::ptrdiff_t columns = right - left + 1;
    for (int y = top; y < bottom; ++y) {
        auto from = cells_.begin() + static_cast<std::ptrdiff_t>(Index(left, y + 1));
        std::copy(from, from + columns,
                  cells_.begin() + static_cast<std::ptrdiff_t>(Index(left, y)));
        MarkChanged(y, left, right);
    }
    Clear(Rect{left, bottom, right, bottom}, fill);
}

void Screen::SetCursor(int x, int y) {
    if (x != cursorX_ || y != cursorY_) {
        cursorX_ = x;
        cursorY_ = y;
        cursorChanged_ = true;
    }
}

void Screen::SetCursorVisible(bool visible) {
    if (visible != cursorVisible_) {
        cursorVisible_ = visible;
        cursorChanged_ = true;
    }
}

Span Screen::DifferingSpan(int y) const {
    Span span = ChangedSpan(y);
    if (!presentedKnown_ || span.Empty()) {
        return span;
    }
    const Cell* now = RowCells(y);
    const Cell* shown = PresentedRow(y);
    // The whole span at once first: most rows drawn again show what they showed.
    const std::size_t width =
        static_cast<std::size_t>(span.right) - static_cast<std::size_t>(span.left) + 1;
    if (std::memcmp(now + span.left - 1, shown + span.left - 1, width * sizeof(Cell)) == 0) {
        return Span{};
    }
    const auto same = [now, shown](int x) { return now[x - 1] == shown[x - 1]; };
    while (same(span.left)) {
        ++span.left;
    }
    while (same(span.right)) {
        --span.right;
    }
    return span;
}

void Screen::MarkPresented() {
    if (presentedKnown_) {
        for (int y = firstChanged_; y <= lastChanged_; ++y) {
            Span& span = changed_[static_cast<std::size_t>(y - 1)];
            if (!span.Empty()) {
                auto from = cells_.begin() + static_cast<std::ptrdiff_t>(Index(span.left, y));
                std::copy(from, from + (span.right - span.left + 1),
                          presented_.begin() + static_cast<std::ptrdiff_t>(Index(span.left, y)));
                span = Span{};
            }
        }
    } else {
        presented_ = cells_;  // same size: no allocation
        std::fill(changed_.begin(), changed_.end(), Span{});
        presentedKnown_ = true;
    }
    firstChanged_ = 1;
    lastChanged_ = 0;
    cursorChanged_ = false;
}

void Screen::Forget() {
    presentedKnown_ = false;
    cursorChanged_ = true;
    if (keptHeight_ > 0) {
        // Every row in full: a platform that presents changes row by row redraws them all.
        std::fill(changed_.begin(), changed_.end(), Span{1, keptWidth_});
        firstChanged_ = 1;
        lastChanged_ = keptHeight_;
    }
}

}  // namespace dungeon
