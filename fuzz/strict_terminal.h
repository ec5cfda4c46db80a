#pragma once

// A terminal for the renderer's fuzz target that is stricter than the tests' VtScreen: it
// knows only the sequences a renderer needs, and it refuses, with a failed check, anything
// whose effect real terminals do not agree on: an unknown or malformed sequence, bad UTF-8,
// a cursor movement that needs clamping at the screen's edge, a line feed that would scroll,
// and any relative movement or printing while a wrap is pending after the last column.
// Cells hold code points, so a frame is checked without building strings.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_input.h"

namespace dungeon::fuzz {

class StrictTerminal {
  public:
    struct Cell {
        std::uint32_t codePoint = ' ';
        int attribute = 7;
    };

    StrictTerminal(int width, int height)
        : width_(width), height_(height), cells_(static_cast<std::size_t>(width * height)) {}

    void Feed(std::string_view bytes) {
        for (char c : bytes) {
            FeedByte(static_cast<std::uint8_t>(c));
        }
    }

    const Cell& At(int x, int y) const {
        return cells_[static_cast<std::size_t>((y - 1) * width_ + (x - 1))];
    }
    int CursorX() const { return x_; }
    int CursorY() const { return y_; }
    bool CursorVisible() const { return cursorVisible_; }
    bool Synchronized() const { return synchronized_; }
    // Between sequences and characters, not inside one.
    bool Idle() const { return state_ == State::kGround && utf8Left_ == 0; }

  private:
    Cell& At(int x, int y) { return cells_[static_cast<std::size_t>((y - 1) * width_ + (x - 1))]; }

    void Print(std::uint32_t codePoint) {
        Require(!pendingWrap_, "printing relies on the terminal's automatic wrap");
        At(x_, y_) = Cell{codePoint, attribute_};
        if (x_ == width_) {
            pendingWrap_ = true;
        } else {
            ++x_;
        }
    }

    void FeedByte(std::uint8_t b) {
        switch (state_) {
            case State::kGround:
                Ground(b);
                return;
            case State::kEscape:
                Require(b == '[', "an escape sequence other than CSI");
                state_ = State::kCsi;
                length_ = 0;
                return;
            case State::kCsi:
                if (b >= 0x40 && b <= 0x7E) {
                    state_ = State::kGround;
                    Csi(static_cast<char>(b));
                    return;
                }
                Require(b >= 0x30 && b <= 0x3F, "a byte that cannot stand in a CSI sequence");
                Require(length_ < sizeof sequence_, "an overlong CSI sequence");
                sequence_[length_++] = static_cast<char>(b);
                return;
        }
    }

    void Ground(std::uint8_t b) {
        if (utf8Left_ > 0) {
            Require((b & 0xC0) == 0x80, "a UTF-8 character cut short");
            codePoint_ = codePoint_ << 6 | (b & 0x3Fu);
            if (--utf8Left_ == 0) {
                Require(codePoint_ >= utf8Minimum_, "an overlong UTF-8 character");
                Print(codePoint_);
            }
            return;
        }
        if (b == 0x1B) {
            state_ = State::kEscape;
        } else if (b == '\r') {
            x_ = 1;
            pendingWrap_ = false;
        } else if (b == '\n') {
            Require(!pendingWrap_, "a line feed while a wrap is pending");
            Require(y_ < height_, "a line feed on the bottom row scrolls");
            ++y_;
        } else if (b >= 0x20 && b < 0x7F) {
            Print(b);
        } else if (b >= 0xC2 && b <= 0xDF) {
            Start(b & 0x1Fu, 1, 0x80);
        } else if (b >= 0xE0 && b <= 0xEF) {
            Start(b & 0x0Fu, 2, 0x800);
        } else {
            Fail("a control character or a byte that starts no UTF-8 character");
        }
    }

    void Start(std::uint32_t bits, int left, std::uint32_t minimum) {
        codePoint_ = bits;
        utf8Left_ = left;
        utf8Minimum_ = minimum;
    }

    // The numbers of the sequence, an empty one as 0; returns how many there are.
    int Numbers(int* numbers, int room, std::size_t from) const {
        int count = 1;
        numbers[0] = 0;
        for (std::size_t i = from; i < length_; ++i) {
            char c = sequence_[i];
            if (c >= '0' && c <= '9') {
                numbers[count - 1] = numbers[count - 1] * 10 + (c - '0');
                Require(numbers[count - 1] <= 9999, "a number too large for a terminal");
            } else {
                Require(c == ';', "a parameter byte other than digits and ';'");
                Require(count < room, "too many parameters");
                numbers[count++] = 0;
            }
        }
        return count;
    }

    void Csi(char final) {
        bool isPrivate = length_ > 0 && sequence_[0] == '?';
        int n[8];
        int count = Numbers(n, 8, isPrivate ? 1 : 0);
        if (isPrivate) {
            Require(count == 1 && (final == 'h' || final == 'l'), "an unknown private mode");
            if (n[0] == 25) {
                cursorVisible_ = final == 'h';
            } else {
                Require(n[0] == 2026, "an unknown private mode");
                synchronized_ = final == 'h';
            }
            return;
        }
        auto steps = [&] {
            Require(count == 1, "a movement with more than one number");
            Require(!pendingWrap_, "a relative movement while a wrap is pending");
            return n[0] == 0 ? 1 : n[0];
        };
        switch (final) {
            case 'H': {
                Require(count <= 2, "a position with more than two numbers");
                int y = n[0] == 0 ? 1 : n[0];
                int x = count < 2 || n[1] == 0 ? 1 : n[1];
                Require(x <= width_ && y <= height_, "a position off the screen");
                x_ = x;
                y_ = y;
                break;
            }
            case 'G': {
                Require(count == 1, "a column with more than one number");
                int x = n[0] == 0 ? 1 : n[0];
                Require(x <= width_, "a column off the screen");
                x_ = x;
                break;
            }
            case 'A':
                y_ -= steps();
                Require(y_ >= 1, "a movement above the screen");
                break;
            case 'B':
                y_ += steps();
                Require(y_ <= height_, "a movement below the screen");
                break;
            case 'C':
                x_ += steps();
                Require(x_ <= width_, "a movement right of the screen");
                break;
            case 'D':
                x_ -= steps();
                Require(x_ >= 1, "a movement left of the screen");
                break;
            case 'K':
                Require(count == 1 && n[0] == 0, "an erase other than to the end of the row");
                for (int x = x_; x <= width_; ++x) {
                    At(x, y_) = Cell{' ', attribute_};
                }
                break;
            case 'J':
                Require(count == 1 && n[0] == 2, "an erase other than the whole screen");
                for (Cell& cell : cells_) {
                    cell = Cell{' ', attribute_};
                }
                break;
            case 'm':
                Sgr(n, count);
                return;  // colours leave a pending wrap alone
            default:
                Fail("an unknown CSI sequence");
        }
        pendingWrap_ = false;
    }

    void Sgr(const int* n, int count) {
        constexpr int kPc[8] = {0, 4, 2, 6, 1, 5, 3, 7};  // ANSI colour -> PC colour
        int foreground = attribute_ & 0x0F;
        int background = attribute_ >> 4;
        for (int i = 0; i < count; ++i) {
            int p = n[i];
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
            } else {
                Fail("an unknown colour parameter");
            }
        }
        attribute_ = foreground | (background << 4);
    }

    enum class State : std::uint8_t { kGround, kEscape, kCsi };
    int width_;
    int height_;
    std::vector<Cell> cells_;
    State state_ = State::kGround;
    char sequence_[32] = {};
    std::size_t length_ = 0;
    std::uint32_t codePoint_ = 0;
    std::uint32_t utf8Minimum_ = 0;
    int utf8Left_ = 0;
    int x_ = 1;
    int y_ = 1;
    bool pendingWrap_ = false;
    int attribute_ = 7;
    bool cursorVisible_ = true;
    bool synchronized_ = false;
};

}  // namespace dungeon::fuzz
