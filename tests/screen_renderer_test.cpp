#include "platform/vt/screen_renderer.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "console/cp437.h"
#include "test_support/vt_screen.h"

namespace dungeon {
namespace {

using testing::VtScreen;

void Collect(void* context, const char* bytes, std::size_t count) {
    static_cast<std::string*>(context)->append(bytes, count);
}

// A screen of cells drawn by the program, the renderer and a terminal that shows its
// output.
class RendererTest : public ::testing::Test {
  protected:
    RendererTest() : output_(4096, &Collect, &sent_) {}

    void Start(int width, int height) {
        width_ = width;
        height_ = height;
        cells_.assign(static_cast<std::size_t>(width * height), Cell{' ', 7});
        screen_.Reset(width, height, kDefaultAttribute);
    }
    Cell& At(int x, int y) { return cells_[static_cast<std::size_t>((y - 1) * width_ + (x - 1))]; }

    // One frame; returns its bytes, which the terminal has been fed.
    std::string Frame(VtScreen& terminal, int terminalWidth, int terminalHeight, int cursorX = 1,
                      int cursorY = 1, bool cursorVisible = false) {
        sent_.clear();
        // The program's drawing arrives at the screen as the console makes it: cell by cell.
        for (int y = 1; y <= height_; ++y) {
            for (int x = 1; x <= width_; ++x) {
                if (!(screen_.At(x, y) == At(x, y))) {
                    screen_.Write(x, y, At(x, y));
                }
            }
        }
        screen_.SetCursor(cursorX, cursorY);
        screen_.SetCursorVisible(cursorVisible);
        renderer_.Render(screen_, terminalWidth, terminalHeight, output_);
        screen_.MarkPresented();
        output_.Flush();
        terminal.Feed(sent_);
        return sent_;
    }

    // The terminal shows every cell inside its size as the program drew it.
    void ExpectShown(const VtScreen& terminal, int columns, int rows) {
        for (int y = 1; y <= rows; ++y) {
            for (int x = 1; x <= columns; ++x) {
                ASSERT_EQ(terminal.Glyph(x, y), std::string(Cp437Glyph(At(x, y).character)))
                    << "at " << x << "," << y;
                ASSERT_EQ(terminal.Attribute(x, y), At(x, y).attribute) << "at " << x << "," << y;
            }
        }
        EXPECT_EQ(terminal.Problem(), "");
        EXPECT_TRUE(terminal.Idle());
        EXPECT_FALSE(terminal.Synchronized());
    }

    int width_ = 0;
    int height_ = 0;
    std::vector<Cell> cells_;
    Screen screen_;
    ScreenRenderer renderer_;
    std::string sent_;
    OutputBuffer output_;
};

TEST_F(RendererTest, FirstFrameClearsThenOnlyChangesAreSent) {
    Start(80, 25);
    renderer_.SetSynchronizedOutput(true);
    VtScreen terminal(80, 25);
    std::string first = Frame(terminal, 80, 25);
    EXPECT_EQ(first, "\x1b[?2026h\x1b[m\x1b[H\x1b[2J\x1b[?25l\x1b[?2026l");
    EXPECT_EQ(Frame(terminal, 80, 25), "") << "nothing changed, nothing is sent";

    At(34, 12) = Cell{'H', 7};
    // A frame this small arrives whole: no synchronized-output marks.
    EXPECT_EQ(Frame(terminal, 80, 25), "\x1b[12;34HH");
    // The cursor stands right of "H": the next cell needs no movement, and one further
    // on is reached by writing the cell between again, shorter than a movement.
    At(35, 12) = Cell{'x', 7};
    At(37, 12) = Cell{'y', 7};
    EXPECT_EQ(Frame(terminal, 80, 25), "x y");
    At(1, 13) = Cell{'z', 7};
    EXPECT_EQ(Frame(terminal, 80, 25), "\n\rz");
    ExpectShown(terminal, 80, 25);
}

TEST_F(RendererTest, GlyphsColoursAndTheCursor) {
    Start(20, 5);
    VtScreen terminal(20, 5);
    Frame(terminal, 20, 5);
    At(1, 1) = Cell{1, 7};       // smiley
    At(2, 1) = Cell{0, 7};       // shown blank
    At(3, 1) = Cell{132, 7};     // a umlaut
    At(4, 1) = Cell{219, 7};     // full block
    At(5, 1) = Cell{27, 7};      // never a raw Escape
    At(6, 1) = Cell{'r', 0x1C};  // light red on blue
    std::string bytes = Frame(terminal, 20, 5, 3, 4, true);
    EXPECT_NE(bytes.find("\u263a \u00e4\u2588\u2190"), std::string::npos);
    EXPECT_NE(bytes.find("\x1b[0;91;44mr"), std::string::npos);
    EXPECT_EQ(terminal.Row(1).rfind("\u263a \u00e4\u2588\u2190r", 0), 0u);
    EXPECT_EQ(terminal.Attribute(6, 1), 0x1C);
    EXPECT_TRUE(terminal.CursorVisible());
    EXPECT_EQ(terminal.CursorX(), 3);
    EXPECT_EQ(terminal.CursorY(), 4);
    // Hiding the cursor alone is a frame of its own.
    EXPECT_EQ(Frame(terminal, 20, 5, 3, 4, false), "\x1b[?25l");
    ExpectShown(terminal, 20, 5);
}

TEST_F(RendererTest, RandomFramesAlwaysShowTheBuffer) {
    Start(80, 25);
    std::mt19937 random(2024);
    const std::uint8_t kAttributes[] = {7, 7, 7, 0x1E, 0x70, 0x0C, 0x8F};
    for (int run = 0; run < 4; ++run) {
        int terminalWidth = run == 1 ? 60 : 80;
        int terminalHeight = run == 1 ? 20 : (run == 2 ? 30 : 25);
        VtScreen terminal(terminalWidth, terminalHeight);
        screen_.Forget();  // a new terminal: its picture is unknown
        for (int frame = 0; frame < 150; ++frame) {
            int changes = static_cast<int>(random() % 40);
            for (int i = 0; i < changes; ++i) {
                int x = 1 + static_cast<int>(random() % 80);
                int y = 1 + static_cast<int>(random() % 25);
                int length = 1 + static_cast<int>(random() % 30);
                std::uint8_t attribute = kAttributes[random() % std::size(kAttributes)];
                bool blanks = random() % 3 == 0;
                for (int k = 0; k < length && x + k <= 80; ++k) {
                    At(x + k, y) =
                        Cell{blanks ? std::uint8_t{' '} : static_cast<std::uint8_t>(random() % 256),
                             attribute};
                }
            }
            if (random() % 10 == 0) {  // a cleared row
                int y = 1 + static_cast<int>(random() % 25);
                for (int x = 1 + static_cast<int>(random() % 40); x <= 80; ++x) {
                    At(x, y) = Cell{' ', 7};
                }
            }
            int cursorX = 1 + static_cast<int>(random() % 80);
            int cursorY = 1 + static_cast<int>(random() % 25);
            bool visible = random() % 2 == 0;
            Frame(terminal, terminalWidth, terminalHeight, cursorX, cursorY, visible);
            int columns = terminalWidth < 80 ? terminalWidth : 80;
            int rows = terminalHeight < 25 ? terminalHeight : 25;
            ExpectShown(terminal, columns, rows);
            if (HasFatalFailure()) {
                return;
            }
            bool cursorInside = cursorX <= columns && cursorY <= rows;
            EXPECT_EQ(terminal.CursorVisible(), visible && cursorInside);
            if (visible && cursorInside) {
                EXPECT_EQ(terminal.CursorX(), cursorX);
                EXPECT_EQ(terminal.CursorY(), cursorY);
            }
        }
    }
}

TEST_F(RendererTest, ErasingTheRestOfARow) {
    Start(40, 3);
    VtScreen terminal(40, 3);
    for (int x = 1; x <= 40; ++x) {
        At(x, 2) = Cell{'#', 7};
    }
    Frame(terminal, 40, 3);
    for (int x = 11; x <= 40; ++x) {
        At(x, 2) = Cell{' ', 7};
    }
    std::string bytes = Frame(terminal, 40, 3);
    EXPECT_EQ(bytes, "\x1b[2;11H\x1b[K");
    ExpectShown(terminal, 40, 3);
}

TEST_F(RendererTest, ErasingPaysOffFromFourChangedCells) {
    Start(40, 3);
    VtScreen terminal(40, 3);
    for (int x = 1; x <= 40; ++x) {
        At(x, 1) = Cell{'#', 7};
        At(x, 3) = Cell{'#', 7};
    }
    Frame(terminal, 40, 3);
    for (int x = 37; x <= 40; ++x) {
        At(x, 1) = Cell{' ', 7};
        At(x, 3) = Cell{' ', 7};
    }
    At(37, 1) = Cell{'#', 7};  // three blanks to go in row 1, four in row 3
    std::string bytes = Frame(terminal, 40, 3);
    EXPECT_EQ(bytes, "\x1b[1;38H   \x1b[3;37H\x1b[K");
    ExpectShown(terminal, 40, 3);
}

// Each move is the shortest there is, and of moves as short the first: to a column, a carriage
// return with a move right, a move left or right; line feeds go down, a position always works.
TEST_F(RendererTest, CursorMovesTakeTheShortestWayAndOfEqualOnesTheFirst) {
    Start(80, 25);
    VtScreen terminal(80, 25);
    Frame(terminal, 80, 25);
    At(5, 1) = Cell{'a', 7};  // the column, as long as a move right or writing the blanks again
    At(2, 2) = Cell{'b', 7};  // the column, as long as a return with a move right, or a move left
    EXPECT_EQ(Frame(terminal, 80, 25), "\x1b[5Ga\n\x1b[2Gb");
    At(1, 4) = Cell{'c', 7};
    EXPECT_EQ(Frame(terminal, 80, 25), "\n\n\rc");
    At(60, 5) = Cell{'d', 7};
    At(70, 5) = Cell{'e', 7};  // a move right is shorter than the column
    EXPECT_EQ(Frame(terminal, 80, 25), "\n\x1b[60Gd\x1b[9Ce");
    At(10, 3) = Cell{'f', 7};  // up, then left, is longer than the position itself
    EXPECT_EQ(Frame(terminal, 80, 25), "\x1b[3;10Hf");
    ExpectShown(terminal, 80, 25);
}

TEST_F(RendererTest, SynchronizedOutputOnlyWhereKnownAndOnlyForFramesThatCouldTear) {
    // A terminal that does not know the marks never gets them, not even for a whole screen.
    Start(100, 40);
    VtScreen plain(100, 40);
    EXPECT_EQ(Frame(plain, 100, 40), "\x1b[m\x1b[H\x1b[2J\x1b[?25l");

    renderer_.SetSynchronizedOutput(true);
    auto fill = [&](std::uint8_t first) {
        for (int y = 1; y <= 40; ++y) {
            for (int x = 1; x <= 100; ++x) {
                At(x, y) = Cell{static_cast<std::uint8_t>(first + (x + y) % 2), 7};
            }
        }
    };
    // 4,000 cells of three-byte glyphs: more than one write, and more than the output
    // buffer holds, so the frame leaves in pieces; the marks still enclose all of it.
    fill(1);
    std::string big = Frame(plain, 100, 40);
    EXPECT_GT(big.size(), ScreenRenderer::kOneWrite);
    EXPECT_EQ(big.rfind("\x1b[?2026h", 0), 0u);
    EXPECT_EQ(big.find("\x1b[?2026h", 1), std::string::npos);
    EXPECT_EQ(big.size() - big.rfind("\x1b[?2026l"), 8u);
    ExpectShown(plain, 100, 40);

    // A repaint of the whole screen is marked however small it is.
    fill(' ');
    Frame(plain, 100, 40);
    screen_.Forget();
    std::string repaint = Frame(plain, 100, 40);
    EXPECT_EQ(repaint.rfind("\x1b[?2026h\x1b[m\x1b[H\x1b[2J", 0), 0u);
    EXPECT_EQ(repaint.size() - repaint.rfind("\x1b[?2026l"), 8u);
    ExpectShown(plain, 100, 40);
}

TEST(OutputBufferTest, AFrameLargerThanTheBufferStillArrivesWholeAndInOrder) {
    std::string sent;
    OutputBuffer buffer(64, &Collect, &sent);
    std::string expected;
    for (int i = 0; i < 500; ++i) {
        buffer.Append(std::to_string(i) + ",");
        expected += std::to_string(i) + ",";
    }
    buffer.Flush();
    EXPECT_EQ(sent, expected);
    EXPECT_EQ(buffer.Sent(), expected.size());
}

TEST(Cp437Test, GlyphsAndTheirWayBack) {
    EXPECT_EQ(Cp437Glyph('A'), "A");
    EXPECT_EQ(Cp437Glyph(0), " ");
    EXPECT_EQ(Cp437Glyph(3), "\u2665");
    EXPECT_EQ(Cp437Glyph(127), "\u2302");
    EXPECT_EQ(Cp437Glyph(225), "\u00df");
    EXPECT_EQ(Cp437Glyph(255), "\u00a0");
    for (int byte = 128; byte < 256; ++byte) {
        std::string_view glyph = Cp437Glyph(static_cast<std::uint8_t>(byte));
        // Decode the UTF-8 and find the byte again.
        auto lead = static_cast<std::uint8_t>(glyph[0]);
        std::uint32_t codePoint = glyph.size() == 2 ? (lead & 0x1Fu) : (lead & 0x0Fu);
        for (std::size_t i = 1; i < glyph.size(); ++i) {
            codePoint = (codePoint << 6) | (static_cast<std::uint8_t>(glyph[i]) & 0x3Fu);
        }
        EXPECT_EQ(Cp437FromCodePoint(codePoint), std::optional<std::uint8_t>(byte)) << byte;
    }
    EXPECT_FALSE(Cp437FromCodePoint(0x20AC));  // the euro sign
    EXPECT_FALSE(Cp437FromCodePoint('A'));     // ASCII is typed as itself
}

TEST(Cp437Test, TypedCharactersArriveAsThePcsBytes) {
    using Byte = std::optional<std::uint8_t>;
    EXPECT_EQ(Cp437FromCharacter('A'), Byte('A'));
    EXPECT_EQ(Cp437FromCharacter(0), Byte(0));
    // Control characters and Delete are the keys, not the glyphs that share their bytes.
    EXPECT_EQ(Cp437FromCharacter(0x1B), Byte(0x1B));
    EXPECT_EQ(Cp437FromCharacter(0x7F), Byte(0x7F));
    EXPECT_FALSE(Cp437FromCharacter(0x80));             // a C1 control: no PC byte
    EXPECT_FALSE(Cp437FromCharacter(0x263A));           // the smiley of byte 1
    EXPECT_FALSE(Cp437FromCharacter(0x2302));           // the house of byte 127
    EXPECT_EQ(Cp437FromCharacter(0x00E4), Byte(0x84));  // "ä"
    EXPECT_EQ(Cp437FromCharacter(0x00A0), Byte(0xFF));
    EXPECT_FALSE(Cp437FromCharacter(0x20AC));         // the euro sign
    EXPECT_FALSE(Cp437FromCharacter(0x10000 + 'A'));  // no wrap into ASCII
}

}  // namespace
}  // namespace dungeon
