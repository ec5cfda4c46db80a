#include "console/screen.h"

#include <algorithm>
#include <cstring>

namespace dungeon {

void Screen::Cells::Fill(std::size_t index, std::size_t count, Cell cell) {
    std::memset(&characters[index], cell.character, count);
    std::memset(&attributes[index], cell.attribute, count);
}

void Screen::Cells::Assign(std::size_t count, Cell cell) {
    characters.assign(count, cell.character);
    attributes.assign(count, cell.attribute);
}

void Screen::Reset(int width, int height, std::uint8_t attribute) {
    width_ = std::max(width, 1);
    height_ = std::max(height, 1);
    storedWidth_ = std::min(width_, kMaxSide);
    storedHeight_ = std::min(height_, kMaxSide);
    attribute_ = attribute;
    const auto count =
        static_cast<std::size_t>(storedWidth_) * static_cast<std::size_t>(storedHeight_);
    cells_.Assign(count, Cell{' ', attribute});
    presented_.Assign(count, Cell{' ', attribute});
    lowestRow_ = 0;
    Forget();
}

void Screen::Write(int x, int y, std::string_view characters, std::uint8_t attribute) {
    if (y < 1 || y > storedHeight_) {
        return;
    }
    const int first = std::max(x, 1);
    const int last = std::min(x + static_cast<int>(characters.size()) - 1, storedWidth_);
    if (first > last) {
        return;
    }
    const std::size_t at = Index(first, y);
    const auto count = static_cast<std::size_t>(last) - static_cast<std::size_t>(first) + 1;
    std::memcpy(&cells_.characters[at], &characters[static_cast<std::size_t>(first - x)], count);
    std::memset(&cells_.attributes[at], attribute, count);
    lowestRow_ = std::max(lowestRow_, y);
}

void Screen::Clear(const Rect& rect, Cell fill) {
    const int left = std::max(rect.left, 1);
    const int right = std::min(rect.right, storedWidth_);
    const int top = std::max(rect.top, 1);
    const int bottom = std::min(rect.bottom, storedHeight_);
    if (left > right || top > bottom) {
        return;
    }
    const auto count = static_cast<std::size_t>(right) - static_cast<std::size_t>(left) + 1;
    for (int y = top; y <= bottom; ++y) {
        cells_.Fill(Index(left, y), count, fill);
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
    const auto count = static_cast<std::size_t>(right) - static_cast<std::size_t>(left) + 1;
    for (int y = top; y < bottom; ++y) {
        for (std::vector<std::uint8_t>* plane : {&cells_.characters, &cells_.attributes}) {
            std::memcpy(&(*plane)[Index(left, y)], &(*plane)[Index(left, y + 1)], count);
        }
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
    return !presentedKnown_ || cursorChanged_ || cells_ != presented_;
}

Span Screen::DifferingSpan(int y) const {
    if (y < 1 || y > storedHeight_) {
        return Span{};
    }
    if (!presentedKnown_) {
        return Span{1, storedWidth_};
    }
    const std::size_t first = Index(1, y);
    const auto width = static_cast<std::size_t>(storedWidth_);
    // The whole row at once first: most rows show what they showed.
    const auto same = [&](const auto& now, const auto& shown) {
        return std::memcmp(&now[first], &shown[first], width) == 0;
    };
    if (same(cells_.characters, presented_.characters) &&
        same(cells_.attributes, presented_.attributes)) {
        return Span{};
    }
    Span span{1, storedWidth_};
    while (At(span.left, y) == PresentedAt(span.left, y)) {
        ++span.left;
    }
    while (At(span.right, y) == PresentedAt(span.right, y)) {
        --span.right;
    }
    return span;
}

void Screen::MarkPresented() {
    presented_ = cells_;
    presentedKnown_ = true;
    cursorChanged_ = false;
}

void Screen::Forget() {
    presentedKnown_ = false;
    cursorChanged_ = true;
}

}  // namespace dungeon
