#include "platform/vt/vt_terminal.h"

#include <algorithm>
#include <utility>

#include "base/number_text.h"

namespace dungeon {
namespace {

// A whole frame of a large terminal fits many times over.
constexpr std::size_t kOutputCapacity = std::size_t{64} * 1024;

// The kitty keyboard protocol's flags in force, and the state of synchronized output, then
// the primary device attributes, which every terminal answers: an answer to one of the
// first two before that one means the terminal knows it.
constexpr std::string_view kQueries = "\x1b[?u\x1b[?2026$p\x1b[c";
// Kitty keyboard protocol flags asked for: disambiguate, event types, alternate keys, all
// keys as escape codes, associated text. Asking for the flags again tells the decoder when
// the new ones are in force.
constexpr std::string_view kKittyPush = "\x1b[>31u";
constexpr std::string_view kKittyAsk = "\x1b[?u";
constexpr std::string_view kKittyPop = "\x1b[<u";
constexpr std::string_view kKeypadApplication = "\x1b=";
constexpr std::string_view kKeypadNormal = "\x1b>";
// Cancels an escape sequence a frame may have left half sent when a signal came.
constexpr std::string_view kCancel = "\x18";

// The states of a mode in which a terminal says it knows it (set or reset).
constexpr int kModeSet = 1;
constexpr int kModeReset = 2;

std::int32_t MillisecondsLeft(std::uint32_t deadline, std::uint32_t now) {
    return static_cast<std::int32_t>(deadline - now);
}

}  // namespace

VtTerminal::VtTerminal(ByteChannel& channel)
    : channel_(channel), output_(kOutputCapacity, &VtTerminal::WriteToChannel, this) {}

void VtTerminal::WriteToChannel(void* context, const char* bytes, std::size_t count) {
    static_cast<VtTerminal*>(context)->channel_.Write(std::string_view(bytes, count));
}

std::optional<OpenError> VtTerminal::Open(Screen& screen) {
    if (open_) {
        return OpenError::kInUse;
    }
    if (std::optional<OpenError> error = channel_.OpenChannel()) {
        return error;
    }
    open_ = true;
    size_ = channel_.Size();
    // A terminal that reports no size is taken as the PC's 80 x 25.
    const int width = size_.width > 0 ? std::min(size_.width, kMaxSide) : 80;
    const int height = size_.height > 0 ? std::min(size_.height, kMaxSide) : 25;
    size_ = TerminalSize{width, height};
    screen.Reset(width, height, kDefaultAttribute);
    screen_ = &screen;
    // Bytes of a key cut short by an earlier run must not start this one.
    decoder_.Reset();
    held_.reset();
    deviceAttributeAnswers_ = 0;
    kittyKnown_ = false;
    kittyPushed_ = false;
    synchronizedOutputMode_ = 0;
    synchronizedOutput_ = false;
    renderer_.SetSynchronizedOutput(false);
    restoreRow_ = -1;
    AskTerminal();
    channel_.Write(kKeypadApplication);
    UpdateRestoreBytes();
    Present(screen);  // the first frame clears the terminal (and whatever an answer left)
    return std::nullopt;
}

void VtTerminal::AskTerminal() {
    channel_.Write(kQueries);
    const std::uint32_t deadline = channel_.Now() + kQueryTimeoutMs;
    while (deviceAttributeAnswers_ == 0 && !held_) {
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
    if (deviceAttributeAnswers_ == 0) {
        return;
    }
    if (synchronizedOutputMode_ == kModeSet || synchronizedOutputMode_ == kModeReset) {
        synchronizedOutput_ = true;
        renderer_.SetSynchronizedOutput(true);
    }
    if (kittyKnown_) {
        channel_.Write(kKittyPush);
        channel_.Write(kKittyAsk);
        kittyPushed_ = true;
    }
}

void VtTerminal::TakeAnswer(const TerminalEvent& answer) {
    switch (answer.kind) {
        case TerminalEvent::Kind::kKittyFlags:
            kittyKnown_ = true;
            break;
        case TerminalEvent::Kind::kDeviceAttributes:
            ++deviceAttributeAnswers_;
            break;
        case TerminalEvent::Kind::kSynchronizedOutput:
            synchronizedOutputMode_ = answer.value;
            break;
        case TerminalEvent::Kind::kKey:
            break;
    }
}

std::optional<InputEvent> VtTerminal::PullKey() {
    while (std::optional<TerminalEvent> event = decoder_.Next()) {
        if (event->kind == TerminalEvent::Kind::kKey) {
            return InputEvent{InputEvent::Kind::kKey, event->key};
        }
        TakeAnswer(*event);
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
    if (held_) {
        return std::exchange(held_, std::nullopt);
    }
    if (std::optional<InputEvent> key = PullKey()) {
        return key;
    }
    // Whatever the terminal has sent so far, without waiting for more.
    if (TakeInput()) {
        return PullKey();
    }
    return std::nullopt;
}

WaitResult VtTerminal::Wait(std::optional<std::uint32_t> deadline) {
    if (!open_) {
        return WaitResult::kClosed;
    }
    for (;;) {
        if (!held_) {
            held_ = PullKey();
        }
        if (held_) {
            return WaitResult::kInput;
        }
        const std::uint32_t now = channel_.Now();
        std::optional<int> timeout;
        if (std::optional<std::uint32_t> escape = decoder_.Deadline()) {
            timeout = std::max(0, MillisecondsLeft(*escape, now));
        }
        if (deadline) {
            std::int32_t left = MillisecondsLeft(*deadline, now);
            if (left <= 0) {
                return WaitResult::kDeadline;
            }
            timeout = timeout ? std::min(*timeout, static_cast<int>(left)) : left;
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
    screen_->Forget();
    Present(*screen_);
}

void VtTerminal::Present(Screen& screen) {
    if (!open_ || !screen.Changed()) {
        return;
    }
    renderer_.Render(screen, size_.width, size_.height, output_);
    output_.Flush();
    if (screen.LowestRowDrawn() != restoreRow_) {
        UpdateRestoreBytes();
    }
}

void VtTerminal::UpdateRestoreBytes() {
    restoreRow_ = screen_ != nullptr ? screen_->LowestRowDrawn() : 0;
    leave_ = Text(kCancel);
    if (synchronizedOutput_) {
        leave_.Append(ScreenRenderer::kEndFrame);
    }
    leave_.Append(ScreenRenderer::kAttributesOff);
    if (kittyPushed_) {
        leave_.Append(kKittyPop);
    }
    leave_.Append(kKeypadNormal);
    leave_.Append(ScreenRenderer::kShowCursor);
    if (restoreRow_ > 0) {
        // The prompt starts on the line below the picture, never on top of it.
        int row = std::min(restoreRow_, size_.height);
        leave_ += "\x1b[";
        leave_ += DecimalText(static_cast<std::uint32_t>(row));
        leave_ += "H\r\n";
    }
    enter_ = Text(kKeypadApplication);
    resume_ = kittyPushed_ ? Text(kKittyPush) : Text();
    channel_.SetRestoreBytes(leave_.View(), enter_.View(), resume_.View());
}

void VtTerminal::Close(const Screen&) {
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
        Close(*screen_);
    }
}

}  // namespace dungeon
