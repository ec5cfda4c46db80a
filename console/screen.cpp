#include "console/screen.h"

#include <algorithm>
#include <cstring>

namespace dungeon {

void Screen::Reset(int width, int height, std::uint8_t attribute) {
    width_ = std::max(width, 1);
    height_ = std::max(height, 1);
    storedWidth_ = std::min(width_, kMaxSide);
    storedHeight_ = std::min(height_, kMaxSide);
    attribute_ = attribute;
    const auto count =
        static_cast<std::size_t>(storedWidth_) * static_cast<std::size_t>(storedHeight_);
    cells_.assign(count, Cell{' ', attribute});
    presented_.assign(count, Cell{' ', attribute});
    lowestRow_ = 0;
    Forget();
}

void Screen::Write(int x, int y, std::string_view characters, std::uint8_t attribute) {
    if (y < 1 || y > storedHeight_) {
        return;
    }
    const int first = std::max(x, 1);
    const int last = std::min(x + static_cast<int>(characters.size()) - 1, storedWidth_);
    Cell* cell = first <= last ? &cells_[Index(first, y)] : nullptr;
    for (int column = first; column <= last; ++column) {
        *cell++ = Cell{static_cast<std::uint8_t>(characters[static_cast<std::size_t>(column - x)]),
                       attribute};
    }
    if (first <= last) {
        lowestRow_ = std::max(lowestRow_, y);
    }
}

void Screen::Clear(const Rect& rect, Cell fill) {
    const int left = std::max(rect.left, 1);
    const int right = std::min(rect.right, storedWidth_);
    const int top = std::max(rect.top, 1);
    const int bottom = std::min(rect.bottom, storedHeight_);
    if (left > right || top > bottom) {
        return;
    }
    for (int y = top; y <= bottom; ++y) {
        std::fill_n(&cells_[Index(left, y)], right - left + 1, fill);
    }
    lowestRow_ = std::max(lowestRow_, bottom);
}

void Screen::ScrollUp(const Rect& rect, Cell fill) {
    const int left = std::max(rect.left, 1);
    const int right = std::min(rect.right, storedWidth_);
    const int top = std::max(rect.top, 1);
    const int bottom = std::min(rect.bottom, storedHeight_);
    if (left > right || top > bottom) {
        return;
    }
    for (int y = top; y < bottom; ++y) {
        const Cell* below = &cells_[Index(left, y + 1)];
        std::copy(below, below + (right - left + 1), &cells_[Index(left, y)]);
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

bool Screen::Changed() const {
    return !presentedKnown_ || cursorChanged_ ||
           std::memcmp(cells_.data(), presented_.data(), cells_.size() * sizeof(Cell)) != 0;
}

Span Screen::DifferingSpan(int y) const {
    if (y < 1 || y > storedHeight_) {
        return Span{};
    }
    if (!presentedKnown_) {
        return Span{1, storedWidth_};
    }
    const Cell* now = RowCells(y);
    const Cell* shown = PresentedRow(y);
    // The whole row at once first: most rows show what they showed.
    if (std::memcmp(now, shown, static_cast<std::size_t>(storedWidth_) * sizeof(Cell)) == 0) {
        return Span{};
    }
    Span span{1, storedWidth_};
    while (now[span.left - 1] == shown[span.left - 1]) {
        ++span.left;
    }
    while (now[span.right - 1] == shown[span.right - 1]) {
        --span.right;
    }
    return span;
}

void Screen::MarkPresented() {
    std::copy(cells_.begin(), cells_.end(), presented_.begin());
    presentedKnown_ = true;
    cursorChanged_ = false;
}

void Screen::Forget() {
    presentedKnown_ = false;
    cursorChanged_ = true;
}

}  // namespace dungeon
