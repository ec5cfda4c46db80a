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

// The size used for a terminal that reports `reported`: a side it does not report is the PC's
// (TerminalSize's own), and no side is larger than any window can be.
TerminalSize UsableSize(TerminalSize reported) {
    const auto side = [](int length, int unknown) {
        return length > 0 ? std::min(length, Screen::kMaxSide) : unknown;
    };
    return {side(reported.width, TerminalSize{}.width),
            side(reported.height, TerminalSize{}.height)};
}

}  // namespace

VtTerminal::VtTerminal(ByteChannel& channel)
    : channel_(channel), output_(kOutputCapacity, Send, this) {}

void VtTerminal::Send(void* terminal, const char* bytes, std::size_t count) {
    auto& self = *static_cast<VtTerminal*>(terminal);
    self.bytesLost_ = !self.channel_.Write(std::string_view(bytes, count)) || self.bytesLost_;
}

VtTerminal::~VtTerminal() {
    if (open_) {
        Present(*screen_);
        Close();
    }
}

std::optional<OpenError> VtTerminal::Open(Screen& screen) {
    if (open_) {
        return OpenError::kInUse;
    }
    if (std::optional<OpenError> error = channel_.OpenChannel()) {
        return error;
    }
    open_ = true;
    size_ = UsableSize(channel_.Size());
    screen.Reset(size_.width, size_.height, kDefaultAttribute);
    screen_ = &screen;
    // Nothing of an earlier run (a key cut short, what its terminal said) may start this one.
    decoder_.Reset();
    pending_.reset();
    answers_ = {};
    kittyKeyboard_ = false;
    renderer_.SetSynchronizedOutput(false);
    AskTerminal();
    channel_.Write(kKeypadApplication);
    // The first frame clears the terminal (and whatever an answer left).
    if (Present(screen)) {
        screen.MarkPresented();
    }
    return std::nullopt;
}

void VtTerminal::AskTerminal() {
    channel_.Write(kQueries);
    const std::uint32_t deadline = channel_.Now() + kQueryTimeoutMs;
    while (!answers_.deviceAttributes && !pending_) {
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
        pending_ = PullKey();
    }
    if (!answers_.deviceAttributes) {
        return;
    }
    const int mode = answers_.synchronizedOutputMode;
    renderer_.SetSynchronizedOutput(mode == kModeSet || mode == kModeReset);
    if (answers_.kittyFlags) {
        channel_.Write(kKittyPush);
        channel_.Write(kKittyAsk);
        kittyKeyboard_ = true;
    }
}

std::optional<InputEvent> VtTerminal::PullKey() {
    while (std::optional<TerminalEvent> event = decoder_.Next()) {
        switch (event->kind) {
            case TerminalEvent::Kind::kKey:
                return InputEvent{InputEvent::Kind::kKey, event->key};
            case TerminalEvent::Kind::kKittyFlags:
                answers_.kittyFlags = true;
                break;
            case TerminalEvent::Kind::kDeviceAttributes:
                answers_.deviceAttributes = true;
                break;
            case TerminalEvent::Kind::kSynchronizedOutput:
                answers_.synchronizedOutputMode = event->value;
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
    const bool escapeWaiting = decoder_.Deadline().has_value();
    decoder_.Advance(now);  // a lone Escape whose time has come is the Escape key
    return !read.empty() || (escapeWaiting && !decoder_.Deadline());
}

std::optional<InputEvent> VtTerminal::NextEvent() {
    if (!open_) {
        return std::nullopt;
    }
    pending_ = pending_ ? pending_ : PullKey();
    if (!pending_ && TakeInput()) {
        pending_ = PullKey();
    }
    return std::exchange(pending_, std::nullopt);
}

WaitResult VtTerminal::Wait() {
    if (!open_) {
        return WaitResult::kClosed;
    }
    for (;;) {
        pending_ = pending_ ? pending_ : PullKey();
        if (pending_) {
            return WaitResult::kInput;
        }
        // Until a lone Escape counts as the Escape key, if one is waiting.
        std::optional<int> timeout;
        if (const std::optional<std::uint32_t> deadline = decoder_.Deadline()) {
            timeout = std::max(0, MillisecondsLeft(*deadline, channel_.Now()));
        }
        switch (channel_.WaitForInput(timeout)) {
            case ChannelWait::kReadable:
            case ChannelWait::kTimeout:
                TakeInput();
                break;
            case ChannelWait::kInterrupted:
                return WaitResult::kInput;  // the platform has something to do first
            case ChannelWait::kClosed:
                // Nothing more comes: a lone Escape is the Escape key now.
                decoder_.Advance(channel_.Now() + KeyDecoder::kEscapeTimeoutMs);
                pending_ = PullKey();
                return pending_ ? WaitResult::kInput : WaitResult::kClosed;
        }
    }
}

void VtTerminal::Repaint() {
    if (!open_) {
        return;
    }
    size_ = UsableSize(channel_.Size());
    renderer_.Render(*screen_, size_.width, size_.height, output_, true);
    output_.Flush();
    MakeLeaveBytes();  // the prompt's row stays inside the terminal's size
}

bool VtTerminal::Present(const Screen& screen) {
    if (!open_) {
        return false;
    }
    if (screen.Changed()) {
        renderer_.Render(screen, size_.width, size_.height, output_);
        output_.Flush();
        MakeLeaveBytes();  // the picture may go lower now, and the prompt must go below it
    }
    return !std::exchange(bytesLost_, false);
}

void VtTerminal::MakeLeaveBytes() {
    const int lowestRow = screen_->LowestRowDrawn();
    leave_ = Text(kCancel);
    if (renderer_.SynchronizedOutput()) {
        leave_.Append(ScreenRenderer::kEndFrame);
    }
    leave_.Append(ScreenRenderer::kAttributesOff);
    if (kittyKeyboard_) {
        leave_.Append(kKittyPop);
    }
    leave_.Append(kKeypadNormal);
    leave_.Append(ScreenRenderer::kShowCursor);
    if (lowestRow > 0) {
        // The prompt starts on the line below the picture, never on top of it.
        const auto row = static_cast<std::uint32_t>(std::min(lowestRow, size_.height));
        leave_ += Text("\x1b[") + DecimalText(row) + "H\r\n";
    }
}

VtTerminal::RestoreBytes VtTerminal::CurrentRestoreBytes() const {
    return {leave_.View(), kKeypadApplication, kittyKeyboard_ ? kKittyPush : std::string_view()};
}

void VtTerminal::Close() {
    if (!open_) {
        return;
    }
    channel_.CloseChannel(leave_.View());
    open_ = false;
}

}  // namespace dungeon
