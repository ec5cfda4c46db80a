#include "platform/vt/vt_terminal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/vt/byte_channel.h"

namespace dungeon {
namespace {

// A terminal played by the test without any device: what it sends is queued in `input`
// beforehand, and whatever the terminal layer writes or leaves is collected.
class ScriptedChannel : public ByteChannel {
  public:
    std::optional<OpenError> OpenChannel() override { return std::nullopt; }
    void CloseChannel(std::string_view leaveBytes) override { leave = leaveBytes; }
    TerminalSize Size() override { return size; }
    bool Write(std::string_view bytes) override {
        written += writable ? bytes : "";
        return writable;
    }
    std::span<const std::uint8_t> Read(std::span<std::uint8_t> into) override {
        std::size_t count = std::min(into.size(), input.size());
        std::copy_n(input.begin(), count, into.begin());
        input.erase(0, count);
        return into.first(count);
    }
    ChannelWait WaitForInput(std::optional<int> timeoutMs) override {
        if (!input.empty()) {
            return ChannelWait::kReadable;
        }
        if (!timeoutMs) {
            return ChannelWait::kClosed;
        }
        now += static_cast<std::uint32_t>(*timeoutMs);
        return ChannelWait::kTimeout;
    }
    std::uint32_t Now() override { return now; }

    std::string input;
    std::string written;
    std::string leave;
    std::uint32_t now = 1000;
    TerminalSize size;
    bool writable = true;  // false: every write loses its bytes, as to a stalled terminal
};

constexpr const char* kKittyAnswers = "\x1b[?0u\x1b[?62c";
constexpr const char* kLegacyAnswers = "\x1b[?62c";
constexpr const char* kKittyPush = "\x1b[>31u";
constexpr const char* kKittyPop = "\x1b[<u";

TEST(VtTerminalTest, OpeningAgainForgetsWhatTheLastTerminalSaid) {
    ScriptedChannel channel;
    VtTerminal terminal(channel);
    Screen screen;
    channel.input = kKittyAnswers;
    ASSERT_EQ(terminal.Open(screen), std::nullopt);
    EXPECT_NE(channel.written.find(kKittyPush), std::string::npos);
    terminal.Close();
    EXPECT_NE(channel.leave.find(kKittyPop), std::string::npos);

    // Another terminal on the same channel, one without the kitty protocol.
    channel.written.clear();
    channel.input = kLegacyAnswers;
    ASSERT_EQ(terminal.Open(screen), std::nullopt);
    EXPECT_EQ(channel.written.find(kKittyPush), std::string::npos);
    EXPECT_TRUE(channel.input.empty()) << "its answer was waited for";
    terminal.Close();
    EXPECT_EQ(channel.leave.find(kKittyPop), std::string::npos);
}

TEST(VtTerminalTest, AKeyTakenByAWaitComesBeforeWhatArrivesLater) {
    ScriptedChannel channel;
    VtTerminal terminal(channel);
    Screen screen;
    channel.input = kLegacyAnswers;
    ASSERT_EQ(terminal.Open(screen), std::nullopt);
    channel.input = "a";
    ASSERT_EQ(terminal.Wait(), WaitResult::kInput);
    channel.input = "b";
    std::vector<std::pair<char, bool>> events;
    while (std::optional<InputEvent> event = terminal.NextEvent()) {
        events.emplace_back(static_cast<char>(event->key.character), event->key.keyDown);
    }
    std::vector<std::pair<char, bool>> expected = {
        {'a', true}, {'a', false}, {'b', true}, {'b', false}};
    EXPECT_EQ(events, expected);
    terminal.Close();
}

TEST(VtTerminalTest, AWaitEndsWhenALoneEscapeCountsAsTheEscapeKey) {
    ScriptedChannel channel;
    VtTerminal terminal(channel);
    Screen screen;
    channel.input = kLegacyAnswers;
    ASSERT_EQ(terminal.Open(screen), std::nullopt);
    const auto escapeTimeout = static_cast<std::uint32_t>(KeyDecoder::kEscapeTimeoutMs);

    const std::uint32_t start = channel.now;
    channel.input = "\x1b";
    ASSERT_EQ(terminal.Wait(), WaitResult::kInput);
    EXPECT_EQ(channel.now - start, escapeTimeout);
    std::optional<InputEvent> escape = terminal.NextEvent();
    ASSERT_TRUE(escape.has_value());
    EXPECT_EQ(escape->key.character, 0x1B);
    terminal.Close();
}

TEST(VtTerminalTest, ASideNotReportedIsThePcsAndNoneIsLargerThanAWindowCanBe) {
    ScriptedChannel channel;
    VtTerminal terminal(channel);
    Screen screen;
    channel.size = {0, 400};
    ASSERT_EQ(terminal.Open(screen), std::nullopt);
    EXPECT_EQ(screen.Width(), 80);
    EXPECT_EQ(screen.Height(), Screen::kMaxSide);
    terminal.Close();
}

TEST(VtTerminalTest, APresentSaysWhenBytesWereLostAlsoByARepaintBefore) {
    ScriptedChannel channel;
    VtTerminal terminal(channel);
    Screen screen;
    channel.input = kLegacyAnswers;
    ASSERT_EQ(terminal.Open(screen), std::nullopt);
    screen.Write(1, 1, Cell{'a', kDefaultAttribute});
    channel.writable = false;
    EXPECT_FALSE(terminal.Present(screen));
    channel.writable = true;
    EXPECT_TRUE(terminal.Present(screen));
    screen.MarkPresented();

    channel.writable = false;
    terminal.Repaint();
    channel.writable = true;
    EXPECT_FALSE(terminal.Present(screen)) << "nothing changed, yet the repaint was lost";
    EXPECT_TRUE(terminal.Present(screen));
    terminal.Close();
}

}  // namespace
}  // namespace dungeon
