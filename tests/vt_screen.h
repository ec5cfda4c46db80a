#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dungeon::testing {

// A small terminal for tests: it understands the sequences the POSIX platform sends
// (cursor movement, erasing, colours, private modes) and counts everything else, so a
// test can check that the bytes sent really produce the intended picture.
class VtScreen {
  public:
    VtScreen(int width, int height)
        : width_(width), height_(height), cells_(static_cast<std::size_t>(width * height)) {}

    void Feed(std::string_view bytes) {
        for (char c : bytes) {
            FeedByte(static_cast<std::uint8_t>(c));
        }
    }

    std::string Glyph(int x, int y) const { return At(x, y).glyph; }
    int Attribute(int x, int y) const { return At(x, y).attribute; }
    std::string Row(int y) const {
        std::string row;
        for (int x = 1; x <= width_; ++x) {
            row += Glyph(x, y);
        }
        return row;
    }
    int CursorX() const { return x_; }
    int CursorY() const { return y_; }
    bool CursorVisible() const { return cursorVisible_; }
    bool KeypadApplication() const { return keypadApplication_; }
    bool Synchronized() const { return synchronized_; }
    int KittyDepth() const { return kittyDepth_; }
    int Clears() const { return clears_; }
    int Scrolls() const { return scrolls_; }
    int Unknown() const { return unknown_; }

  private:
    struct VtCell {
        std::string glyph = " ";
        int attribute = 7;
    };
    const VtCell& At(int x, int y) const {
        return cells_[static_cast<std::size_t>((y - 1) * width_ + (x - 1))];
    }
    VtCell& At(int x, int y) {
        return cells_[static_cast<std::size_t>((y - 1) * width_ + (x - 1))];
    }

    void LineFeed() {
        if (y_ < height_) {
            ++y_;
            return;
        }
        ++scrolls_;
        for (int y = 1; y < height_; ++y) {
            for (int x = 1; x <= width_; ++x) {
                At(x, y) = At(x, y + 1);
            }
        }
        for (int x = 1; x <= width_; ++x) {
            At(x, height_) = VtCell{" ", attribute_};
        }
    }

    void Print(const std::string& glyph) {
        if (pendingWrap_) {
            pendingWrap_ = false;
            x_ = 1;
            LineFeed();
        }
        At(x_, y_) = VtCell{glyph, attribute_};
        if (x_ == width_) {
            pendingWrap_ = true;
        } else {
            ++x_;
        }
    }

    void FeedByte(std::uint8_t b) {
        switch (state_) {
            case State::kGround:
                if (utf8Left_ > 0) {
                    utf8_.push_back(static_cast<char>(b));
                    if (--utf8Left_ == 0) {
                        Print(utf8_);
                    }
                    return;
                }
                if (b == 0x1B) {
                    state_ = State::kEscape;
                } else if (b == 0x18) {
                    // CAN: cancels a sequence in progress; on its own it does nothing.
                } else if (b == '\r') {
                    x_ = 1;
                    pendingWrap_ = false;
                } else if (b == '\n') {
                    pendingWrap_ = false;
                    LineFeed();
                } else if (b < 0x20 || b == 0x7F) {
                    ++unknown_;
                } else if (b < 0x80) {
                    Print(std::string(1, static_cast<char>(b)));
                } else {
                    utf8_ = std::string(1, static_cast<char>(b));
                    utf8Left_ = b >= 0xF0 ? 3 : (b >= 0xE0 ? 2 : 1);
                }
                return;
            case State::kEscape:
                if (b == 0x18) {  // CAN: the sequence is cancelled
                    state_ = State::kGround;
                    return;
                }
                if (b == '[') {
                    state_ = State::kCsi;
                    sequence_.clear();
                    return;
                }
                if (b == '=') {
                    keypadApplication_ = true;
                } else if (b == '>') {
                    keypadApplication_ = false;
                } else {
                    ++unknown_;
                }
                state_ = State::kGround;
                return;
            case State::kCsi:
                if (b == 0x18) {  // CAN: the sequence is cancelled
                    state_ = State::kGround;
                    return;
                }
                if (b >= 0x40 && b <= 0x7E) {
                    state_ = State::kGround;
                    Csi(static_cast<char>(b));
                } else {
                    sequence_.push_back(static_cast<char>(b));
                }
                return;
        }
    }

    std::vector<int> Numbers() const {
        std::vector<int> numbers(1, 0);
        for (char c : sequence_) {
            if (c >= '0' && c <= '9') {
                numbers.back() = numbers.back() * 10 + (c - '0');
            } else if (c == ';') {
                numbers.push_back(0);
            }
        }
        return numbers;
    }

    void Csi(char final) {
        std::vector<int> n = Numbers();
        auto at = [&](std::size_t i, int fallback) {
            return i < n.size() && n[i] != 0 ? n[i] : fallback;
        };
        auto clampX = [&](int x) { return x < 1 ? 1 : (x > width_ ? width_ : x); };
        auto clampY = [&](int y) { return y < 1 ? 1 : (y > height_ ? height_ : y); };
        bool isPrivate = !sequence_.empty() && sequence_[0] == '?';
        if (isPrivate && (final == 'h' || final == 'l')) {
            bool on = final == 'h';
            if (n[0] == 25) {
                cursorVisible_ = on;
            } else if (n[0] == 2026) {
                synchronized_ = on;
            } else {
                ++unknown_;
            }
            return;
        }
        if (final == 'u') {  // kitty keyboard protocol: push, pop, query
            if (!sequence_.empty() && sequence_[0] == '>') {
                ++kittyDepth_;
            } else if (!sequence_.empty() && sequence_[0] == '<') {
                --kittyDepth_;
            }
            return;
        }
        if (final == 'c' && sequence_.empty()) {
            return;  // device attributes asked
        }
        if (final == 'p' && isPrivate && sequence_.back() == '$') {
            return;  // the state of a private mode asked
        }
        pendingWrap_ = false;
        switch (final) {
            case 'H':
                y_ = clampY(at(0, 1));
                x_ = clampX(at(1, 1));
                break;
            case 'A':
                y_ = clampY(y_ - at(0, 1));
                break;
            case 'B':
                y_ = clampY(y_ + at(0, 1));
                break;
            case 'C':
                x_ = clampX(x_ + at(0, 1));
                break;
            case 'D':
                x_ = clampX(x_ - at(0, 1));
                break;
            case 'G':
                x_ = clampX(at(0, 1));
                break;
            case 'd':
                y_ = clampY(at(0, 1));
                break;
            case 'K': {  // 0: to the right, 1: to the left, 2: the whole row
                int from = n[0] == 0 ? x_ : 1;
                int to = n[0] == 1 ? x_ : width_;
                if (n[0] > 2) {
                    ++unknown_;
                }
                for (int x = from; x <= to; ++x) {
                    At(x, y_) = VtCell{" ", attribute_};
                }
                break;
            }
            case 'J':
                if (n[0] == 2) {
                    ++clears_;
                    for (VtCell& cell : cells_) {
                        cell = VtCell{};
                    }
                } else {
                    ++unknown_;
                }
                break;
            case 'm':
                Sgr(n);
                break;
            default:
                ++unknown_;
                break;
        }
    }

    void Sgr(const std::vector<int>& n) {
        constexpr int kPc[8] = {0, 4, 2, 6, 1, 5, 3, 7};  // ANSI colour -> PC colour
        int foreground = attribute_ & 0x0F;
        int background = attribute_ >> 4;
        for (int p : n) {
            if (p == 0) {
                foreground = 7;
                background = 0;
            } else if (p >= 30 && p <= 37) {
                foreground = kPc[p - 30];
            } else if (p >= 90 && p <= 97) {
                foreground = 8 + kPc[p - 90];
            } else if (p >= 40 && p <= 47) {
                background = kPc[p - 40];
            } else if (p >= 100 && p <= 107) {
                background = 8 + kPc[p - 100];
            } else if (p == 39) {
                foreground = 7;
            } else if (p == 49) {
                background = 0;
            } else {
                ++unknown_;
            }
        }
        attribute_ = foreground | (background << 4);
    }

    enum class State { kGround, kEscape, kCsi };
    int width_;
    int height_;
    std::vector<VtCell> cells_;
    State state_ = State::kGround;
    std::string sequence_;
    std::string utf8_;
    int utf8Left_ = 0;
    int x_ = 1;
    int y_ = 1;
    bool pendingWrap_ = false;
    int attribute_ = 7;
    bool cursorVisible_ = true;
    bool keypadApplication_ = false;
    bool synchronized_ = false;
    int kittyDepth_ = 0;
    int clears_ = 0;
    int scrolls_ = 0;
    int unknown_ = 0;
};

}  // namespace dungeon::testing
