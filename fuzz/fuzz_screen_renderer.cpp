// Differential test of the screen renderer: a picture is changed frame by frame in ways the
// input chooses (runs of cells, the cursor, the terminal's size), each frame goes through the
// renderer, and the bytes it sends are fed to a strict terminal model. After every frame the
// terminal must show exactly the picture (as far as the terminal is large enough), the
// cursor where and as the picture has it, and it must have understood every byte.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "console/cp437.h"
#include "fuzz/fuzz_input.h"
#include "platform/vt/screen_renderer.h"
#include "test_support/vt_screen.h"

namespace {

using dungeon::Cell;
using dungeon::fuzz::Require;
using dungeon::testing::VtScreen;

void Collect(void* context, const char* bytes, std::size_t count) {
    static_cast<std::string*>(context)->append(bytes, count);
}

class Session {
  public:
    Session(int width, int height, std::size_t bufferRoom)
        : width_(width),
          height_(height),
          cells_(static_cast<std::size_t>(width * height), Cell{' ', 7}),
          output_(bufferRoom, &Collect, &sent_) {
        screen_.Reset(width, height, dungeon::kDefaultAttribute);
    }

    Cell& At(int x, int y) { return cells_[static_cast<std::size_t>((y - 1) * width_ + (x - 1))]; }
    int CellCount() const { return width_ * height_; }
    Cell& At(int index) { return cells_[static_cast<std::size_t>(index)]; }

    // The terminal was resized (or the program resumed): its picture is gone.
    void NewTerminal(int width, int height) {
        terminalWidth_ = width;
        terminalHeight_ = height;
        terminal_ = std::make_unique<VtScreen>(width, height);
        screen_.Forget();
    }

    void SetCursor(int x, int y, bool visible) {
        cursorX_ = x;
        cursorY_ = y;
        cursorVisible_ = visible;
    }

    void Frame() {
        sent_.clear();
        // The program's cells go to the screen as the console writes them: one by one.
        for (int y = 1; y <= height_; ++y) {
            for (int x = 1; x <= width_; ++x) {
                if (!(screen_.At(x, y) == At(x, y))) {
                    screen_.Write(x, y, At(x, y));
                }
            }
        }
        screen_.SetCursor(cursorX_, cursorY_);
        screen_.SetCursorVisible(cursorVisible_);
        renderer_.Render(screen_, terminalWidth_, terminalHeight_, output_);
        screen_.MarkPresented();
        output_.Flush();
        terminal_->Feed(sent_);
        Check();
    }

  private:
    void Check() const {
        const VtScreen& terminal = *terminal_;
        std::string_view problem = terminal.Problem();
        Require(problem.empty(), problem.data());
        Require(terminal.Idle(), "the frame ends inside a sequence");
        Require(!terminal.Synchronized(), "the frame's synchronized output was left open");
        int columns = width_ < terminalWidth_ ? width_ : terminalWidth_;
        int rows = height_ < terminalHeight_ ? height_ : terminalHeight_;
        for (int y = 1; y <= terminalHeight_; ++y) {
            for (int x = 1; x <= terminalWidth_; ++x) {
                if (x > columns || y > rows) {
                    // Beyond the picture the terminal stays blank on the default background;
                    // erasing a row may pass there, and a blank's foreground shows nowhere.
                    Require(terminal.Glyph(x, y) == " " && (terminal.Attribute(x, y) & 0xF0) == 0,
                            "the terminal shows something beyond the picture");
                    continue;
                }
                Cell cell = cells_[static_cast<std::size_t>((y - 1) * width_ + (x - 1))];
                Require(terminal.Glyph(x, y) == dungeon::Cp437Glyph(cell.character),
                        "the terminal shows another character");
                Require(terminal.Attribute(x, y) == cell.attribute,
                        "the terminal shows other colours");
            }
        }
        bool inside = cursorX_ >= 1 && cursorX_ <= columns && cursorY_ >= 1 && cursorY_ <= rows;
        if (cursorVisible_ && inside) {
            Require(terminal.CursorVisible(), "the cursor is hidden");
            Require(terminal.CursorX() == cursorX_ && terminal.CursorY() == cursorY_,
                    "the cursor stands elsewhere");
        } else {
            Require(!terminal.CursorVisible(), "the cursor is shown");
        }
    }

    int width_;
    int height_;
    std::vector<Cell> cells_;
    std::string sent_;
    dungeon::OutputBuffer output_;
    dungeon::Screen screen_;
    dungeon::ScreenRenderer renderer_;
    std::unique_ptr<VtScreen> terminal_;
    int terminalWidth_ = 0;
    int terminalHeight_ = 0;
    int cursorX_ = 1;
    int cursorY_ = 1;
    bool cursorVisible_ = false;
};

// Cells as a program draws them: mostly a few characters and colours, so that runs, blanks
// worth erasing and repeated colours occur, but any byte and attribute now and then.
Cell NextCell(dungeon::fuzz::Input& in) {
    std::uint8_t character = in.Byte();
    std::uint8_t attribute = in.Byte();
    static constexpr std::uint8_t kCommon[8] = {' ', ' ', ' ', 'W', 'M', '.', 0, 0xDB};
    static constexpr std::uint8_t kColours[8] = {7, 7, 7, 0x1E, 0x0F, 0x70, 0x03, 0x47};
    Cell cell;
    cell.character = (character & 0x80) != 0 ? kCommon[character & 7] : character;
    cell.attribute = (attribute & 0x80) != 0 ? kColours[attribute & 7] : attribute;
    return cell;
}

// Mostly small sizes, which keep runs fast; any size up to `largest` now and then.
int Side(std::uint8_t b, int largest) {
    return (b & 0x80) != 0 ? b % largest + 1 : b % 12 + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    dungeon::fuzz::Input in(data, size);
    int width = Side(in.Byte(), 90);
    int height = Side(in.Byte(), 40);
    std::size_t room = static_cast<std::size_t>(in.Byte()) * 16;
    Session session(width, height, room);
    int terminalWidth = Side(in.Byte(), 100);
    session.NewTerminal(terminalWidth, Side(in.Byte(), 50));
    session.Frame();
    int frames = 0;
    while (!in.Empty() && frames < 16) {
        switch (in.Byte() % 8) {
            case 0:
            case 1:
            case 2: {  // a run of equal cells, possibly over several rows
                int start = in.InRange(0, session.CellCount() - 1);
                int length = in.Byte() + 1;
                Cell cell = NextCell(in);
                for (int i = start; i < start + length && i < session.CellCount(); ++i) {
                    session.At(i) = cell;
                }
                break;
            }
            case 3: {  // a few single cells
                int count = in.Byte() % 8 + 1;
                for (int i = 0; i < count; ++i) {
                    int at = in.InRange(0, session.CellCount() - 1);
                    session.At(at) = NextCell(in);
                }
                break;
            }
            case 4: {
                int x = in.Byte() % (width + 2);
                int y = in.Byte() % (height + 2);
                session.SetCursor(x, y, (in.Byte() & 1) != 0);
                break;
            }
            case 5: {
                terminalWidth = Side(in.Byte(), 100);
                session.NewTerminal(terminalWidth, Side(in.Byte(), 50));
                break;
            }
            default:
                session.Frame();
                ++frames;
                break;
        }
    }
    session.Frame();
    return 0;
}
