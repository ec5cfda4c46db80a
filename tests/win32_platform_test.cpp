// The Windows console platform through the real console API: a screen buffer of its own,
// read back with ReadConsoleOutput, and key records put in with WriteConsoleInput.
#include "platform/win32/win32_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <optional>
#include <ratio>
#include <string>
#include <vector>

#include "base/text.h"
#include "console/console.h"
#include "console/cp437.h"
#include "platform/memory/memory_platform.h"
#include "tests/wait_until.h"

namespace dungeon {
namespace {

using namespace std::chrono_literals;

constexpr WORD kAttribute = 0x1E;
constexpr WORD kShellAttribute = 0x07;
// A cursor size the console would not choose by itself, in percent of a cell.
constexpr DWORD kLargeCursor = 50;
constexpr std::uint32_t kQuietWaitMs = 500;
// Set once the test program is alone on its console; its child processes inherit it.
constexpr const char* kOwnConsole = "DUNGEON_TESTS_OWN_CONSOLE";
// A buffer as the classic console host gives a new window, and a view of the usual height.
constexpr SHORT kTallWidth = 120;
constexpr SHORT kTallHeight = 9001;
constexpr SHORT kViewHeight = 30;

// CPU time of the calling thread, in the system's units of 100 ns.
using ThreadTime = std::chrono::duration<long long, std::ratio<1, 10'000'000>>;
ThreadTime ThreadCpuTime() {
    FILETIME created{};
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    EXPECT_TRUE(GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user));
    auto units = [](FILETIME time) {
        return static_cast<long long>((static_cast<ULONGLONG>(time.dwHighDateTime) << 32) |
                                      time.dwLowDateTime);
    };
    return ThreadTime(units(kernel) + units(user));
}

KEY_EVENT_RECORD Key(bool down, WORD vk, WORD scan, WCHAR ch, DWORD state) {
    KEY_EVENT_RECORD key{};
    key.bKeyDown = down ? TRUE : FALSE;
    key.wRepeatCount = 1;
    key.wVirtualKeyCode = vk;
    key.wVirtualScanCode = scan;
    key.uChar.UnicodeChar = ch;
    key.dwControlKeyState = state;
    return key;
}

// Control handlers the tests put around the platform's. Handlers run newest first: one
// installed after the platform opened sees every event first and remembers the thread the
// system runs them on; one installed before sees only what the platform passes on, and
// keeps the test process alive.
std::atomic<HANDLE> controlThread{nullptr};
std::atomic<bool> passedOn{false};

BOOL WINAPI NoteControlThread(DWORD /*event*/) {
    controlThread.store(OpenThread(SYNCHRONIZE, FALSE, GetCurrentThreadId()));
    return FALSE;
}

BOOL WINAPI CatchPassedOn(DWORD /*event*/) {
    passedOn.store(true);
    return TRUE;
}

// Raises `event` on this console and waits until every handler has run.
void RaiseControlEvent(DWORD event) {
    controlThread.store(nullptr);
    passedOn.store(false);
    ASSERT_TRUE(SetConsoleCtrlHandler(NoteControlThread, TRUE));
    ASSERT_TRUE(GenerateConsoleCtrlEvent(event, 0)) << GetLastError();
    ASSERT_TRUE(test_support::WaitUntil([] { return controlThread.load() != nullptr; }, 10s, 1ms));
    EXPECT_EQ(WaitForSingleObject(controlThread.load(), 10'000), WAIT_OBJECT_0);
    CloseHandle(controlThread.load());
    SetConsoleCtrlHandler(NoteControlThread, FALSE);
}

// A screen buffer and the console's input, made the program's standard handles while a
// test runs, so the platform opens them as it would the console it was started in.
class Win32PlatformTest : public ::testing::Test {
  protected:
    // Ctrl+C and Ctrl+Break reach every process of the console, and the console this
    // program was started in may be shared: with ctest, which the default handler would
    // end, and with the shell that started it. Then the tests run on a new console of their
    // own; the processes of the death tests are started on that and keep it.
    static void SetUpTestSuite() {
        DWORD processes[2];
        const DWORD attached = GetConsoleProcessList(processes, 2);  // 0: no console at all
        if (attached != 1 && GetEnvironmentVariableA(kOwnConsole, nullptr, 0) == 0) {
            FreeConsole();
            ASSERT_TRUE(AllocConsole()) << GetLastError();
        }
        ASSERT_TRUE(SetEnvironmentVariableA(kOwnConsole, "1"));
    }
    void SetUp() override {
        buffer_ = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            CONSOLE_TEXTMODE_BUFFER, nullptr);
        ASSERT_NE(buffer_, INVALID_HANDLE_VALUE) << GetLastError();
        COORD size{80, 25};
        SetConsoleScreenBufferSize(buffer_, size);
        CONSOLE_SCREEN_BUFFER_INFO info;
        ASSERT_TRUE(GetConsoleScreenBufferInfo(buffer_, &info));
        width_ = info.dwSize.X;
        height_ = info.dwSize.Y;
        ASSERT_GE(width_, 80);
        ASSERT_GE(height_, 25);
        SetConsoleTextAttribute(buffer_, kAttribute);
        input_ =
            CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(input_, INVALID_HANDLE_VALUE) << GetLastError();
        FlushConsoleInputBuffer(input_);
        savedOutput_ = GetStdHandle(STD_OUTPUT_HANDLE);
        savedInput_ = GetStdHandle(STD_INPUT_HANDLE);
        SetStdHandle(STD_OUTPUT_HANDLE, buffer_);
        SetStdHandle(STD_INPUT_HANDLE, input_);
    }
    void TearDown() override {
        console_.Finish();
        if (previousActive_ != INVALID_HANDLE_VALUE) {
            SetConsoleActiveScreenBuffer(previousActive_);
            CloseHandle(previousActive_);
        }
        SetStdHandle(STD_OUTPUT_HANDLE, savedOutput_);
        SetStdHandle(STD_INPUT_HANDLE, savedInput_);
        if (input_ != INVALID_HANDLE_VALUE) {
            CloseHandle(input_);
        }
        if (buffer_ != INVALID_HANDLE_VALUE) {
            CloseHandle(buffer_);
        }
    }

    // The input's mode as the console reports it, which may hold flags of the console's own
    // beside those a program set (Windows adds ENABLE_EXTENDED_FLAGS to ENABLE_INSERT_MODE).
    DWORD InputMode() const {
        DWORD mode = 0;
        EXPECT_TRUE(GetConsoleMode(input_, &mode)) << GetLastError();
        return mode;
    }
    std::vector<CHAR_INFO> ReadBuffer() const { return ReadBuffer(width_, height_); }
    // The top left `width` x `height` cells.
    std::vector<CHAR_INFO> ReadBuffer(int width, int height) const {
        std::vector<CHAR_INFO> cells(static_cast<std::size_t>(width * height));
        COORD size{static_cast<SHORT>(width), static_cast<SHORT>(height)};
        SMALL_RECT region{0, 0, static_cast<SHORT>(width - 1), static_cast<SHORT>(height - 1)};
        EXPECT_TRUE(ReadConsoleOutputW(buffer_, cells.data(), size, COORD{0, 0}, &region));
        return cells;
    }
    CHAR_INFO CellAt(const std::vector<CHAR_INFO>& cells, int x, int y) const {
        return cells[static_cast<std::size_t>((y - 1) * width_ + (x - 1))];
    }
    // The shell's lines before the game starts: row y full of one letter.
    static WCHAR ShellLetter(int y) { return static_cast<WCHAR>('a' + y % 26); }
    void FillLikeAShell() {
        std::vector<CHAR_INFO> cells(static_cast<std::size_t>(width_ * height_));
        for (int y = 1; y <= height_; ++y) {
            for (int x = 1; x <= width_; ++x) {
                CHAR_INFO& cell = cells[static_cast<std::size_t>((y - 1) * width_ + (x - 1))];
                cell.Char.UnicodeChar = ShellLetter(y);
                cell.Attributes = kShellAttribute;
            }
        }
        COORD size{static_cast<SHORT>(width_), static_cast<SHORT>(height_)};
        SMALL_RECT region{0, 0, static_cast<SHORT>(width_ - 1), static_cast<SHORT>(height_ - 1)};
        ASSERT_TRUE(WriteConsoleOutputW(buffer_, cells.data(), size, COORD{0, 0}, &region));
    }
    void PutKeys(const std::vector<KEY_EVENT_RECORD>& keys) {
        std::vector<INPUT_RECORD> records;
        for (const KEY_EVENT_RECORD& key : keys) {
            INPUT_RECORD record{};
            record.EventType = KEY_EVENT;
            record.Event.KeyEvent = key;
            records.push_back(record);
        }
        DWORD written = 0;
        ASSERT_TRUE(WriteConsoleInputW(input_, records.data(), static_cast<DWORD>(records.size()),
                                       &written));
        ASSERT_EQ(written, records.size());
    }
    std::vector<int> Keys(Console& console) {
        std::vector<int> keys;
        while (console.KeyWaiting()) {
            keys.push_back(static_cast<std::uint8_t>(console.GetKey()));
        }
        return keys;
    }

    HANDLE buffer_ = INVALID_HANDLE_VALUE;
    HANDLE input_ = INVALID_HANDLE_VALUE;
    HANDLE savedOutput_ = INVALID_HANDLE_VALUE;
    HANDLE savedInput_ = INVALID_HANDLE_VALUE;
    // The buffer the console showed before a test made its own the active one.
    HANDLE previousActive_ = INVALID_HANDLE_VALUE;
    int width_ = 0;
    int height_ = 0;
    Win32Platform platform_;
    Console console_;
};

// The same drawing on the console and on the in-memory platform, whose screens the game's
// tests check: clearing a pane that held the status line of the turn before, a scroll of a
// window over the shell's old lines, the wrap, and bytes that show as code page 437 glyphs.
// `present` ends a turn.
template <typename Present>
void Draw(Console& console, Present present) {
    console.SetWindow(42, 1, 80, 20);
    console.MoveCursor(1, 20);
    console.WriteText(Text("Quirn:  L:   5 A:  80 R: 50"));
    present();
    console.ClearWindow();
    console.WriteText(Text("Monster greift an!\r\n"));
    console.WriteText(Text("trifft auf\r\n"));
    present();
    console.SetWindow(1, 5, 10, 8);
    console.MoveCursor(1, 4);
    console.WriteText(Text("0123456789AB"));  // wraps and scrolls the window up by one
    console.SetWindow(1, 22, 80, 22);
    const char glyphs[] = {1, 3, 16, static_cast<char>(0x84), static_cast<char>(0xDB), 0, 9};
    console.WriteText(Text(std::string(glyphs, sizeof(glyphs))));
    console.HideCursor();
}

TEST_F(Win32PlatformTest, CellsReachTheConsoleWholeAtPresentAsTheMemoryScreenShowsThem) {
    FillLikeAShell();
    const std::vector<CHAR_INFO> before = ReadBuffer();
    ASSERT_TRUE(console_.Start(platform_));
    int turns = 0;
    Draw(console_, [&] {
        if (++turns == 1) {
            // Nothing is seen before Present: no half-drawn picture.
            const std::vector<CHAR_INFO> waiting = ReadBuffer();
            for (std::size_t i = 0; i < before.size(); ++i) {
                ASSERT_EQ(waiting[i].Char.UnicodeChar, before[i].Char.UnicodeChar) << i;
            }
        }
        console_.KeyWaiting();  // a turn ends by looking for keys, which presents
    });
    console_.KeyWaiting();

    MemoryPlatform memory(width_, height_, kAttribute);
    for (int y = 1; y <= height_; ++y) {
        for (int x = 1; x <= width_; ++x) {
            memory.Show(x, y, Cell{static_cast<std::uint8_t>(ShellLetter(y)), kShellAttribute});
        }
    }
    Console expected;
    ASSERT_TRUE(expected.Start(memory));
    Draw(expected, [] {});

    const std::vector<CHAR_INFO> shown = ReadBuffer();
    for (int y = 1; y <= height_; ++y) {
        for (int x = 1; x <= width_; ++x) {
            const Cell want = expected.GetScreen().At(x, y);
            const CHAR_INFO got = CellAt(shown, x, y);
            EXPECT_EQ(got.Char.UnicodeChar, Cp437CodePoint(want.character))
                << "column " << x << ", row " << y;
            EXPECT_EQ(got.Attributes, want.attribute) << "column " << x << ", row " << y;
        }
    }
    // The cases that went wrong or matter most, spelt out.
    for (int x = 42; x <= 80; ++x) {
        EXPECT_EQ(CellAt(shown, x, 20).Char.UnicodeChar, L' ') << "status line left at " << x;
        EXPECT_EQ(CellAt(shown, x, 20).Attributes, kAttribute);
    }
    EXPECT_EQ(CellAt(shown, 41, 20).Char.UnicodeChar, ShellLetter(20));
    EXPECT_EQ(CellAt(shown, 42, 1).Char.UnicodeChar, L'M');
    EXPECT_EQ(CellAt(shown, 1, 5).Char.UnicodeChar, ShellLetter(6));  // moved up by one
    EXPECT_EQ(CellAt(shown, 1, 7).Char.UnicodeChar, L'0');
    EXPECT_EQ(CellAt(shown, 1, 8).Char.UnicodeChar, L'A');
    EXPECT_EQ(CellAt(shown, 3, 8).Char.UnicodeChar, L' ');
    EXPECT_EQ(CellAt(shown, 11, 8).Char.UnicodeChar, ShellLetter(8));
    const std::wstring glyphs = L"\u263A\u2665\u25BA\u00E4\u2588 \u25CB";
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        EXPECT_EQ(CellAt(shown, static_cast<int>(i) + 1, 22).Char.UnicodeChar, glyphs[i]);
    }

    // The cursor, too, is the layer's once presented: where the last text ended, hidden.
    CONSOLE_SCREEN_BUFFER_INFO info;
    ASSERT_TRUE(GetConsoleScreenBufferInfo(buffer_, &info));
    EXPECT_EQ(info.dwCursorPosition.X + 1, console_.CursorX());
    EXPECT_EQ(info.dwCursorPosition.Y + 1, console_.CursorY());
    CONSOLE_CURSOR_INFO cursor;
    ASSERT_TRUE(GetConsoleCursorInfo(buffer_, &cursor));
    EXPECT_FALSE(cursor.bVisible);
}

TEST_F(Win32PlatformTest, HidingTheCursorKeepsItsSize) {
    const CONSOLE_CURSOR_INFO large{kLargeCursor, TRUE};
    ASSERT_TRUE(SetConsoleCursorInfo(buffer_, &large));
    ASSERT_TRUE(console_.Start(platform_));
    console_.HideCursor();
    console_.KeyWaiting();
    CONSOLE_CURSOR_INFO cursor;
    ASSERT_TRUE(GetConsoleCursorInfo(buffer_, &cursor));
    EXPECT_FALSE(cursor.bVisible);
    EXPECT_EQ(cursor.dwSize, kLargeCursor);
}

TEST_F(Win32PlatformTest, ClosingGivesBackTheModesAndPutsThePromptBelowThePicture) {
    const DWORD shellMode = ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT |
                            ENABLE_MOUSE_INPUT | ENABLE_INSERT_MODE;
    ASSERT_TRUE(SetConsoleMode(input_, shellMode));
    const DWORD shellModeRead = InputMode();
    const CONSOLE_CURSOR_INFO large{kLargeCursor, TRUE};
    ASSERT_TRUE(SetConsoleCursorInfo(buffer_, &large));
    ASSERT_TRUE(console_.Start(platform_));
    DWORD playing = 0;
    ASSERT_TRUE(GetConsoleMode(input_, &playing));
    EXPECT_EQ(playing & (ENABLE_PROCESSED_INPUT | ENABLE_MOUSE_INPUT), 0u);

    console_.SetWindow(1, 1, 40, 21);
    console_.MoveCursor(1, 21);
    console_.WriteText(Text("W"));
    console_.SetWindow(42, 1, 80, 20);  // the cursor ends above the lowest row drawn
    console_.HideCursor();
    console_.Finish();

    EXPECT_EQ(InputMode(), shellModeRead);
    CONSOLE_CURSOR_INFO cursor;
    ASSERT_TRUE(GetConsoleCursorInfo(buffer_, &cursor));
    EXPECT_TRUE(cursor.bVisible);
    EXPECT_EQ(cursor.dwSize, kLargeCursor);
    CONSOLE_SCREEN_BUFFER_INFO info;
    ASSERT_TRUE(GetConsoleScreenBufferInfo(buffer_, &info));
    EXPECT_EQ(info.dwCursorPosition.X, 0);
    EXPECT_EQ(info.dwCursorPosition.Y + 1, 22);
}

TEST_F(Win32PlatformTest, KeyRecordsBecomeTheLayersCharacters) {
    ASSERT_TRUE(console_.Start(platform_));
    const DWORD ctrlLeft = LEFT_CTRL_PRESSED | ENHANCED_KEY;
    const DWORD alt = LEFT_ALT_PRESSED | NUMLOCK_ON;
    PutKeys({
        Key(true, VK_LEFT, 75, 0, ctrlLeft),  // Ctrl+Left: 0, then 115
        Key(false, VK_LEFT, 75, 0, ctrlLeft),
        Key(true, VK_MENU, 56, 0, alt),  // Alt held, keypad 6 and 5, Alt released: "A"
        Key(true, VK_NUMPAD6, 77, 0, alt),
        Key(false, VK_NUMPAD6, 77, 0, alt),
        Key(true, VK_NUMPAD5, 76, 0, alt),
        Key(false, VK_NUMPAD5, 76, 0, alt),
        Key(false, VK_MENU, 56, 0, NUMLOCK_ON),
        Key(true, VK_SHIFT, 42, 0, SHIFT_PRESSED),  // a lone Shift: nothing
        Key(false, VK_SHIFT, 42, 0, 0),
        Key(true, 0xC0, 0x27, L'\u00F6', 0),  // "ö" typed: the PC byte 0x94
        Key(false, 0xC0, 0x27, L'\u00F6', 0),
        Key(true, 'C', 46, 3, LEFT_CTRL_PRESSED),  // Ctrl+C is a key like any other
        Key(false, 'C', 46, 3, LEFT_CTRL_PRESSED),
    });
    EXPECT_EQ(Keys(console_), (std::vector<int>{0, 115, 65, 0x94, 3}));
    // The last release stays queued until something comes behind it.
    EXPECT_FALSE(console_.KeyWaiting());
}

TEST_F(Win32PlatformTest, WaitingSleepsUntilARecordComes) {
    ASSERT_TRUE(console_.Start(platform_));
    std::future<std::pair<WaitResult, ThreadTime>> waited = std::async(std::launch::async, [&] {
        const ThreadTime before = ThreadCpuTime();
        const WaitResult result = platform_.Wait();
        return std::pair(result, ThreadCpuTime() - before);
    });
    EXPECT_EQ(waited.wait_for(std::chrono::milliseconds(kQuietWaitMs)),
              std::future_status::timeout);
    PutKeys({Key(true, '8', 9, L'8', 0), Key(false, '8', 9, L'8', 0)});
    ASSERT_EQ(waited.wait_for(10s), std::future_status::ready);
    const auto [result, spent] = waited.get();
    EXPECT_EQ(result, WaitResult::kInput);
    // A wait that polled would burn the quiet time on its thread.
    EXPECT_LT(spent, std::chrono::milliseconds(kQuietWaitMs / 10)) << spent.count() << " x 100 ns";
    ASSERT_TRUE(console_.KeyWaiting());
    EXPECT_EQ(console_.GetKey(), '8');
}

TEST_F(Win32PlatformTest, ControlCChangesNothingAndTheNextKeyActs) {
    SetConsoleCtrlHandler(nullptr, FALSE);  // a parent may have told us to ignore Ctrl+C
    ASSERT_TRUE(SetConsoleCtrlHandler(CatchPassedOn, TRUE));
    ASSERT_TRUE(console_.Start(platform_));
    DWORD playing = 0;
    ASSERT_TRUE(GetConsoleMode(input_, &playing));
    console_.HideCursor();
    console_.KeyWaiting();

    RaiseControlEvent(CTRL_C_EVENT);
    SetConsoleCtrlHandler(CatchPassedOn, FALSE);

    EXPECT_FALSE(passedOn.load()) << "Ctrl+C went on to the default handler";
    DWORD mode = 0;
    ASSERT_TRUE(GetConsoleMode(input_, &mode));
    EXPECT_EQ(mode, playing);
    CONSOLE_CURSOR_INFO cursor;
    ASSERT_TRUE(GetConsoleCursorInfo(buffer_, &cursor));
    EXPECT_FALSE(cursor.bVisible);
    PutKeys({Key(true, '8', 9, L'8', 0), Key(false, '8', 9, L'8', 0), Key(true, '2', 3, L'2', 0)});
    EXPECT_EQ(Keys(console_), (std::vector<int>{'8'}));
}

TEST_F(Win32PlatformTest, ControlBreakGivesTheConsoleBackAndEndsTheGame) {
    const DWORD shellMode = ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT;
    ASSERT_TRUE(SetConsoleMode(input_, shellMode));
    const DWORD shellModeRead = InputMode();
    // The event reaches every process of the console, this one too: it stays.
    ASSERT_TRUE(SetConsoleCtrlHandler(CatchPassedOn, TRUE));
    if (!GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, 0)) {
        SetConsoleCtrlHandler(CatchPassedOn, FALSE);
        GTEST_SKIP() << "this console cannot raise Ctrl+Break (Wine 8 refuses it), error "
                     << GetLastError();
    }
    EXPECT_EXIT(
        {
            if (console_.Start(platform_)) {
                console_.WriteText(Text("W"));
                console_.KeyWaiting();
                GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, 0);
                Sleep(10'000);  // the handler ends the process long before
            }
            std::exit(1);
        },
        ::testing::ExitedWithCode(static_cast<int>(Win32Platform::kControlEventExitStatus)), "");
    SetConsoleCtrlHandler(CatchPassedOn, FALSE);
    EXPECT_EQ(InputMode(), shellModeRead);
}

// A buffer taller than its view, the view scrolled down by a shell's output: the game is
// drawn at the top of the buffer and must be seen there.
TEST_F(Win32PlatformTest, ATallBufferShowsTheGamesRowsAndTakesTheItemPanes) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    ASSERT_TRUE(GetConsoleScreenBufferInfo(buffer_, &info));
    // A buffer is never narrower than its window, which may be wider than the usual view.
    const SHORT width =
        std::max(kTallWidth, static_cast<SHORT>(info.srWindow.Right - info.srWindow.Left + 1));
    const COORD tall{width, kTallHeight};
    ASSERT_TRUE(SetConsoleScreenBufferSize(buffer_, tall)) << GetLastError();
    previousActive_ =
        CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_TRUE(SetConsoleActiveScreenBuffer(buffer_)) << GetLastError();
    const SMALL_RECT scrolled{0, kTallHeight - kViewHeight, static_cast<SHORT>(width - 1),
                              kTallHeight - 1};
    ASSERT_TRUE(SetConsoleWindowInfo(buffer_, TRUE, &scrolled)) << GetLastError();
    ASSERT_TRUE(GetConsoleScreenBufferInfo(buffer_, &info));
    ASSERT_EQ(info.srWindow.Top, kTallHeight - kViewHeight);
    const SHORT viewHeight = static_cast<SHORT>(info.srWindow.Bottom - info.srWindow.Top + 1);

    ASSERT_TRUE(console_.Start(platform_));
    EXPECT_EQ(console_.ScreenHeight(), kTallHeight);
    ASSERT_TRUE(GetConsoleScreenBufferInfo(buffer_, &info));
    EXPECT_EQ(info.srWindow.Top, 0);
    EXPECT_EQ(info.srWindow.Bottom - info.srWindow.Top + 1, viewHeight);

    console_.SetWindow(41, 30, 60, 39);  // an item's pane
    EXPECT_EQ(console_.WindowTop(), 30);
    EXPECT_EQ(console_.WindowBottom(), 39);
    console_.MoveCursor(1, 10);
    console_.WriteText(Text("Schwert"));
    console_.Finish();

    const std::vector<CHAR_INFO> shown = ReadBuffer(width, 40);
    EXPECT_EQ(shown[static_cast<std::size_t>(38 * width + 40)].Char.UnicodeChar, L'S');
    ASSERT_TRUE(GetConsoleScreenBufferInfo(buffer_, &info));
    EXPECT_EQ(info.dwCursorPosition.Y + 1, 40);
    EXPECT_LE(info.srWindow.Top, info.dwCursorPosition.Y) << "the prompt is out of view";
    EXPECT_GE(info.srWindow.Bottom, info.dwCursorPosition.Y) << "the prompt is out of view";
}

}  // namespace
}  // namespace dungeon
