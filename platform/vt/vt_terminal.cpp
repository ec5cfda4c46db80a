#include "platform/vt/vt_terminal.h"

#include <algorithm>
#include <utility>

#include "base/deadline.h"
#include "base/number_text.h"

namespace dungeon {
namespace {

// A whole frame of a large terminal fits many times over.
constexpr std::size_t kOutputCapacity = std::size_t{64} * 1024;

// The kitty keyboard flags in force and the state of synchronized output, then the primary
// device attributes, which every terminal answers: what is answered before them, it knows.
constexpr std::string_view kQueries = "\x1b[?u\x1b[?2026$p\x1b[c";
// Kitty flags asked for: disambiguate, event types, alternate keys, all keys as escape codes,
// associated text. Asking again tells the decoder when they are in force.
constexpr std::string_view kKittyPush = "\x1b[>31u";
constexpr std::string_view kKittyAsk = "\x1b[?u";
constexpr std::string_view kKittyPop = "\x1b[<u";
constexpr std::string_view kKeypadApplication = "\x1b=";
constexpr std::string_view kKeypadNormal = "\x1b>";
// Cancels an escape sequence a frame may have left half sent when a signal came.
constexpr std::string_view kCancel = "\x18";

// The states of a mode in which a terminal says it knows it (set or reset).
constexpr int kModeSet = 1, kModeReset = 2;

void WriteToChannel(void* channel, const char* bytes, std::size_t count) {
    static_cast<ByteChannel*>(channel)->Write(std::string_view(bytes, count));
}

}  // namespace

VtTerminal::VtTerminal(ByteChannel& channel)
    : channel_(channel), output_(kOutputCapacity, WriteToChannel, &channel) {}

std::optional<OpenError> VtTerminal::Open(Screen& screen) {
    if (open_) {
        return OpenError::kInUse;
    }
    if (std::optional<OpenError> error = channel_.OpenChannel()) {
        return error;
    }
    open_ = true;
    // A terminal that reports no size is taken as the PC's 80 x 25, TerminalSize's own.
    const TerminalSize reported = channel_.Size();
    size_ = {reported.width > 0 ? std::min(reported.width, kMaxSide) : TerminalSize{}.width,
             reported.height > 0 ? std::min(reported.height, kMaxSide) : TerminalSize{}.height};
    screen.Reset(size_.width, size_.height, kDefaultAttribute);
    screen_ = &screen;
    // Nothing of an earlier run (a key cut short, what its terminal said) may start this one.
    decoder_.Reset();
    held_.reset();
    learnt_ = {};
    renderer_.SetSynchronizedOutput(false);
    AskTerminal();
    channel_.Write(kKeypadApplication);
    UpdateRestoreBytes();
    Present(screen);  // the first frame clears the terminal (and whatever an answer left)
    screen.MarkPresented();
    return std::nullopt;
}

void VtTerminal::AskTerminal() {
    channel_.Write(kQueries);
    const std::uint32_t deadline = channel_.Now() + kQueryTimeoutMs;
    while (!learnt_.attributesAnswered && !held_) {
        std::int32_t left = MillisecondsLeft(deadline, channel_.Now());
        if (left <= 0) {
            break;
        }
        ChannelWait waited = channel_.WaitForInput(left);
        if (waited == ChannelWait::kTimeout || waited == ChannelWait::kClosed) {
            break;  // no answer in time, or no terminal to answer
        }
        TakeInput();
        // A key typed ahead ends the questions: it is the player's, and comes first.
        held_ = PullKey();
    }
    if (!learnt_.attributesAnswered) {
        return;
    }
    const int mode = learnt_.synchronizedOutputMode;
    renderer_.SetSynchronizedOutput(mode == kModeSet || mode == kModeReset);
    if (learnt_.kittyKnown) {
        channel_.Write(kKittyPush);
        channel_.Write(kKittyAsk);
        learnt_.kittyPushed = true;
    }
}

std::optional<InputEvent> VtTerminal::PullKey() {
    while (std::optional<TerminalEvent> event = decoder_.Next()) {
        switch (event->kind) {
            case TerminalEvent::Kind::kKey:
                return InputEvent{InputEvent::Kind::kKey, event->key};
            case TerminalEvent::Kind::kKittyFlags:
                learnt_.kittyKnown = true;
                break;
            case TerminalEvent::Kind::kDeviceAttributes:
                learnt_.attributesAnswered = true;
                break;
            case TerminalEvent::Kind::kSynchronizedOutput:
                learnt_.synchronizedOutputMode = event->value;
                break;
        }
    }
    return std::nullopt;
}

bool VtTerminal::TakeInput() {
    std::uint8_t bytes[KeyDecoder::kMaxFeed];
    std::span<const std::uint8_t> read = channel_.Read(bytes);
    const std::uint32_t now = channel_.Now();
    if (!read.empty()) {
        decoder_.Feed(read, now);
    }
    const bool held = decoder_.Deadline().has_value();
    decoder_.Advance(now);  // a lone Escape whose time has come is the Escape key
    return !read.empty() || (held && !decoder_.Deadline());
}

std::optional<InputEvent> VtTerminal::NextEvent() {
    if (!open_) {
        return std::nullopt;
    }
    if (channel_.TakeNotice()) {
        Repaint();
    }
    held_ = held_ ? held_ : PullKey();
    if (!held_ && TakeInput()) {
        held_ = PullKey();
    }
    return std::exchange(held_, std::nullopt);
}

WaitResult VtTerminal::Wait() {
    if (!open_) {
        return WaitResult::kClosed;
    }
    for (;;) {
        held_ = held_ ? held_ : PullKey();
        if (held_) {
            return WaitResult::kInput;
        }
        const std::uint32_t now = channel_.Now();
        // Until a held Escape counts as the Escape key, if one is held.
        std::optional<int> timeout;
        if (const std::optional<std::uint32_t> deadline = decoder_.Deadline()) {
            timeout = std::max(0, MillisecondsLeft(*deadline, now));
        }
        switch (channel_.WaitForInput(timeout)) {
            case ChannelWait::kReadable:
            case ChannelWait::kTimeout:
                TakeInput();
                break;
            case ChannelWait::kNotice:
                Repaint();
                break;
            case ChannelWait::kClosed:
                decoder_.Advance(now + KeyDecoder::kEscapeTimeoutMs);  // nothing more comes
                held_ = PullKey();
                return held_ ? WaitResult::kInput : WaitResult::kClosed;
        }
    }
}

void VtTerminal::Repaint() {
    // Resized or resumed: the terminal's picture is not what it was; draw it anew.
    TerminalSize size = channel_.Size();
    if (size.width > 0 && size.height > 0) {
        size_ = size;
    }
    renderer_.Render(*screen_, size_.width, size_.height, output_, true);
    output_.Flush();
}

bool VtTerminal::Present(const Screen& screen) {
    if (!open_) {
        return false;
    }
    if (!screen.Changed()) {
        return true;
    }
    renderer_.Render(screen, size_.width, size_.height, output_);
    output_.Flush();
    if (screen.LowestRowDrawn() != restoreRow_) {
        UpdateRestoreBytes();
    }
    return true;
}

void VtTerminal::UpdateRestoreBytes() {
    restoreRow_ = screen_->LowestRowDrawn();
    leave_ = Text(kCancel);
    if (renderer_.SynchronizedOutput()) {
        leave_.Append(ScreenRenderer::kEndFrame);
    }
    leave_.Append(ScreenRenderer::kAttributesOff);
    if (learnt_.kittyPushed) {
        leave_.Append(kKittyPop);
    }
    leave_.Append(kKeypadNormal);
    leave_.Append(ScreenRenderer::kShowCursor);
    if (restoreRow_ > 0) {
        // The prompt starts on the line below the picture, never on top of it.
        const auto row = static_cast<std::uint32_t>(std::min(restoreRow_, size_.height));
        leave_ += Text("\x1b[") + DecimalText(row) + "H\r\n";
    }
    const std::string_view resume = learnt_.kittyPushed ? kKittyPush : std::string_view();
    channel_.SetRestoreBytes(leave_.View(), kKeypadApplication, resume);
}

void VtTerminal::Close() {
    if (!open_) {
        return;
    }
    UpdateRestoreBytes();
    channel_.CloseChannel(leave_.View());
    open_ = false;
}

void VtTerminal::CloseIfOpen() {
    if (open_) {
        Present(*screen_);
        Close();
    }
}

}  // namespace dungeon
