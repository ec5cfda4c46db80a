#pragma once

// A small terminal for the tests and the fuzz targets: it decodes the bytes the game sends and
// keeps the picture they make, so that a test can compare it with what the program drew.
//
// It is strict. It knows only the sequences the screen renderer sends, and it refuses anything
// whose effect real terminals do not agree on: an unknown or malformed sequence, bad UTF-8, a
// control character, a cursor move past the edge of the screen, a line feed that scrolls, and
// a relative move, line feed or printed character while a wrap is pending after the last
// column. It keeps the first refusal as Problem() and goes on as a real terminal would
// (clamping, wrapping, scrolling), so that the picture can still be read.
//
// Mode::kWholeSession also takes what the terminal platform sends around the frames: its
// questions at start-up, the keypad and kitty keyboard modes, the CAN that ends a sequence cut
// short, and the line feed that scrolls when the prompt goes below the bottom row.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dungeon::testing {

class VtScreen {
  public:
    enum class Mode : std::uint8_t { kRendererOnly, kWholeSession };

    VtScreen(int width, int height, Mode mode = Mode::kRendererOnly)
        : width_(width),
          height_(height),
          mode_(mode),
          cells_(static_cast<std::size_t>(width * height)) {}

    void Feed(std::string_view bytes) {
        for (char c : bytes) {
            FeedByte(static_cast<std::uint8_t>(c));
        }
    }

    // The picture: a cell's glyph as the UTF-8 bytes received, and its PC colour attribute.
    std::string_view Glyph(int x, int y) const {
        const Cell& cell = At(x, y);
        return {cell.bytes.data(), cell.length};
    }
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
    bool Synchronized() const { return synchronized_; }
    bool KeypadApplication() const { return keypadApplication_; }
    int KittyDepth() const { return kittyDepth_; }
    int Clears() const { return clears_; }
    int Scrolls() const { return scrolls_; }
    // Between sequences and characters, not inside one.
    bool Idle() const { return state_ == State::kGround && utf8Left_ == 0; }
    // What was refused first, or empty. It is always a string literal, so its data() can be
    // printed as a C string.
    std::string_view Problem() const { return problem_; }

  private:
    static constexpr std::uint8_t kEscape = 0x1B;
    static constexpr std::uint8_t kCancel = 0x18;
    static constexpr int kResetAttribute = 7;  // light grey on black, as after SGR 0
    static constexpr int kCursorMode = 25;
    static constexpr int kSynchronizedMode = 2026;
    static constexpr std::size_t kLongestSequence = 32;
    static constexpr int kMostNumbers = 8;
    static constexpr int kLargestNumber = 9999;

    // A glyph is at most three bytes: the terminal takes no longer UTF-8 characters.
    struct Cell {
        std::array<char, 3> bytes = {' '};
        std::uint8_t length = 1;
        int attribute = kResetAttribute;
    };

    // A CSI sequence taken apart: ESC [, a prefix, numbers split by ';', an intermediate byte
    // and the final byte. An empty number counts as 0.
    struct Sequence {
        char prefix = 0;        // '<', '=', '>' or '?' before the numbers
        char intermediate = 0;  // a byte from ' ' to '/' after them, as in ESC [ ? 2026 $ p
        char final = 0;
        int numbers[kMostNumbers] = {};
        int count = 1;
        // Number `i`, where a missing or 0 one means 1, as for moves and positions.
        int Steps(int i) const { return i < count && numbers[i] != 0 ? numbers[i] : 1; }
    };

    enum class State : std::uint8_t { kGround, kEscape, kCsi };

    const Cell& At(int x, int y) const {
        return cells_[static_cast<std::size_t>((y - 1) * width_ + (x - 1))];
    }
    Cell& At(int x, int y) { return cells_[static_cast<std::size_t>((y - 1) * width_ + (x - 1))]; }
    Cell Blank() const { return Cell{{' '}, 1, attribute_}; }

    // Keeps the first problem; returns `ok`, so that a caller can skip what it cannot do.
    bool Check(bool ok, const char* problem) {
        if (!ok && problem_.empty()) {
            problem_ = problem;
        }
        return ok;
    }
    bool SessionOnly(const char* problem) { return Check(mode_ == Mode::kWholeSession, problem); }

    void FeedByte(std::uint8_t b) {
        if (utf8Left_ > 0 && (b & 0xC0) == 0x80) {
            ContinueCharacter(b);
            return;
        }
        if (b == kCancel) {  // ends any sequence or character in progress
            SessionOnly("a CAN, which only the platform sends when it gives the terminal back");
            state_ = State::kGround;
            utf8Left_ = 0;
            return;
        }
        Check(utf8Left_ == 0, "a UTF-8 character cut short");
        utf8Left_ = 0;
        if (state_ == State::kGround) {
            Ground(b);
        } else if (state_ == State::kEscape) {
            Escape(b);
        } else {
            CsiByte(b);
        }
    }

    // Text and the few control characters outside a sequence.
    void Ground(std::uint8_t b) {
        if (b == kEscape) {
            state_ = State::kEscape;
        } else if (b == '\r') {
            x_ = 1;
            pendingWrap_ = false;
        } else if (b == '\n') {
            LineFeed();
        } else if (b >= 0x20 && b < 0x7F) {
            const char c = static_cast<char>(b);
            Print(std::string_view(&c, 1));
        } else if (b >= 0xC2 && b <= 0xDF) {
            StartCharacter(b, b & 0x1Fu, 1, 0x80);
        } else if (b >= 0xE0 && b <= 0xEF) {
            StartCharacter(b, b & 0x0Fu, 2, 0x800);
        } else {
            Check(false, "a control character or a byte that starts no UTF-8 character");
        }
    }

    void StartCharacter(std::uint8_t lead, std::uint32_t bits, int left, std::uint32_t minimum) {
        character_[0] = static_cast<char>(lead);
        characterLength_ = 1;
        codePoint_ = bits;
        utf8Left_ = left;
        utf8Minimum_ = minimum;
    }

    void ContinueCharacter(std::uint8_t b) {
        character_[characterLength_++] = static_cast<char>(b);
        codePoint_ = codePoint_ << 6 | (b & 0x3Fu);
        if (--utf8Left_ == 0) {
            Check(codePoint_ >= utf8Minimum_, "an overlong UTF-8 character");
            Print(std::string_view(character_.data(), characterLength_));
        }
    }

    void Print(std::string_view glyph) {
        if (!Check(!pendingWrap_, "printing relies on the terminal's automatic wrap")) {
            x_ = 1;
            Down();
        }
        Cell& cell = At(x_, y_);
        cell = Blank();
        glyph.copy(cell.bytes.data(), glyph.size());
        cell.length = static_cast<std::uint8_t>(glyph.size());
        pendingWrap_ = x_ == width_;
        if (!pendingWrap_) {
            ++x_;
        }
    }

    void LineFeed() {
        Check(!pendingWrap_, "a line feed while a wrap is pending");
        if (y_ == height_) {
            SessionOnly("a line feed on the bottom row scrolls");
        }
        Down();
    }

    // One row down; on the bottom row the picture moves up instead.
    void Down() {
        pendingWrap_ = false;
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
            At(x, height_) = Blank();
        }
    }

    void Escape(std::uint8_t b) {
        state_ = State::kGround;
        if (b == '[') {
            state_ = State::kCsi;
            length_ = 0;
            return;
        }
        if (!Check(b == '=' || b == '>', "an escape sequence other than CSI, ESC = and ESC >")) {
            return;
        }
        SessionOnly("ESC = or ESC > (the keypad's mode), which only the platform sends");
        keypadApplication_ = b == '=';
    }

    void CsiByte(std::uint8_t b) {
        if (b >= 0x40 && b <= 0x7E) {
            state_ = State::kGround;
            Csi(Parse(static_cast<char>(b)));
            return;
        }
        Check(b >= 0x20 && b <= 0x3F, "a byte that cannot stand in a CSI sequence");
        if (Check(length_ < kLongestSequence, "an overlong CSI sequence")) {
            sequence_[length_++] = static_cast<char>(b);
        }
    }

    Sequence Parse(char final) {
        Sequence s;
        s.final = final;
        std::size_t i = 0;
        if (length_ > 0 && sequence_[0] >= '<' && sequence_[0] <= '?') {
            s.prefix = sequence_[i++];
        }
        for (; i < length_; ++i) {
            const char c = sequence_[i];
            if (s.intermediate != 0 || c < '0') {  // ' ' to '/': an intermediate byte
                Check(s.intermediate == 0, "more than one byte after the numbers");
                s.intermediate = c;
            } else if (c >= '0' && c <= '9') {
                int& number = s.numbers[s.count - 1];
                number = number * 10 + (c - '0');
                if (!Check(number <= kLargestNumber, "a number too large for a terminal")) {
                    number = kLargestNumber;
                }
            } else if (Check(c == ';', "a parameter byte other than digits and ';'") &&
                       Check(s.count < kMostNumbers, "too many parameters")) {
                ++s.count;
            }
        }
        return s;
    }

    void Csi(const Sequence& s) {
        if (SessionSequence(s) || !Check(s.intermediate == 0, "an unknown CSI sequence")) {
            return;
        }
        if (s.prefix == '?') {
            PrivateMode(s);
        } else if (!Check(s.prefix == 0, "an unknown CSI sequence")) {
            return;
        } else if (s.final == 'm') {
            Colours(s);  // colours leave a pending wrap alone
        } else {
            MoveOrErase(s);
        }
    }

    // The platform's questions (the kitty keyboard flags, a private mode's state, the device
    // attributes) and the kitty keyboard's push and pop. True if `s` is one of them.
    bool SessionSequence(const Sequence& s) {
        const bool kitty = s.final == 'u' && s.intermediate == 0 &&
                           (s.prefix == '?' || s.prefix == '>' || s.prefix == '<');
        const bool modeAsked = s.final == 'p' && s.prefix == '?' && s.intermediate == '$';
        const bool attributesAsked = s.final == 'c' && s.prefix == 0 && s.intermediate == 0 &&
                                     s.count == 1 && s.numbers[0] == 0;
        if (!kitty && !modeAsked && !attributesAsked) {
            return false;
        }
        SessionOnly("a question or a keyboard mode, which only the platform sends");
        if (kitty && s.prefix == '>') {
            ++kittyDepth_;
        } else if (kitty && s.prefix == '<' &&
                   Check(kittyDepth_ > 0, "a kitty pop without a push")) {
            --kittyDepth_;
        }
        return true;
    }

    void PrivateMode(const Sequence& s) {
        const int mode = s.numbers[0];
        if (!Check(s.count == 1 && (s.final == 'h' || s.final == 'l') &&
                       (mode == kCursorMode || mode == kSynchronizedMode),
                   "an unknown private mode")) {
            return;
        }
        if (mode == kCursorMode) {
            cursorVisible_ = s.final == 'h';
        } else {
            synchronized_ = s.final == 'h';
        }
    }

    void MoveOrErase(const Sequence& s) {
        if (std::string_view("HGABCD").find(s.final) != std::string_view::npos) {
            Move(s);
        } else if (s.final == 'K' || s.final == 'J') {
            Erase(s);
        } else {
            Check(false, "an unknown CSI sequence");
            return;
        }
        pendingWrap_ = false;
    }

    // H to a row and column, G to a column, A, B, C, D up, down, right, left by some cells.
    void Move(const Sequence& s) {
        Check(s.count <= (s.final == 'H' ? 2 : 1), "a cursor move with too many numbers");
        const int n = s.Steps(0);
        int x = s.final == 'G' ? n : (s.final == 'H' ? s.Steps(1) : x_);
        int y = s.final == 'H' ? n : y_;
        if (s.final != 'H' && s.final != 'G') {
            Check(!pendingWrap_, "a relative movement while a wrap is pending");
            x += (s.final == 'C' ? n : 0) - (s.final == 'D' ? n : 0);
            y += (s.final == 'B' ? n : 0) - (s.final == 'A' ? n : 0);
        }
        Check(x >= 1 && x <= width_ && y >= 1 && y <= height_, "a cursor move off the screen");
        x_ = std::clamp(x, 1, width_);
        y_ = std::clamp(y, 1, height_);
    }

    // K to the end of the row, J the whole screen (the only forms the renderer needs), with
    // blanks in the current colours, as terminals with "bce" do.
    void Erase(const Sequence& s) {
        const bool row = s.final == 'K';
        if (!Check(s.count == 1 && s.numbers[0] == (row ? 0 : 2),
                   "an erase other than to the end of the row or of the whole screen")) {
            return;
        }
        if (row) {
            for (int x = x_; x <= width_; ++x) {
                At(x, y_) = Blank();
            }
            return;
        }
        ++clears_;
        for (Cell& cell : cells_) {
            cell = Blank();
        }
    }

    // SGR: 0 resets, 30-37 and 90-97 set the foreground, 40-47 and 100-107 the background.
    void Colours(const Sequence& s) {
        constexpr int kPcColour[8] = {0, 4, 2, 6, 1, 5, 3, 7};  // of ANSI colour n
        constexpr int kBright = 8;
        int foreground = attribute_ & 0x0F;
        int background = attribute_ >> 4;
        for (int i = 0; i < s.count; ++i) {
            const int p = s.numbers[i];
            if (p == 0) {
                foreground = kResetAttribute & 0x0F;
                background = kResetAttribute >> 4;
            } else if (p >= 30 && p <= 37) {
                foreground = kPcColour[p - 30];
            } else if (p >= 90 && p <= 97) {
                foreground = kBright + kPcColour[p - 90];
            } else if (p >= 40 && p <= 47) {
                background = kPcColour[p - 40];
            } else if (p >= 100 && p <= 107) {
                background = kBright + kPcColour[p - 100];
            } else {
                Check(false, "an unknown colour parameter");
            }
        }
        attribute_ = foreground | (background << 4);
    }

    int width_;
    int height_;
    Mode mode_;
    std::vector<Cell> cells_;
    std::string_view problem_;
    State state_ = State::kGround;
    std::array<char, kLongestSequence> sequence_ = {};
    std::size_t length_ = 0;
    std::array<char, 3> character_ = {};
    std::size_t characterLength_ = 0;
    std::uint32_t codePoint_ = 0;
    std::uint32_t utf8Minimum_ = 0;
    int utf8Left_ = 0;
    int x_ = 1;
    int y_ = 1;
    bool pendingWrap_ = false;
    int attribute_ = kResetAttribute;
    bool cursorVisible_ = true;
    bool synchronized_ = false;
    bool keypadApplication_ = false;
    int kittyDepth_ = 0;
    int clears_ = 0;
    int scrolls_ = 0;
};

}  // namespace dungeon::testing
