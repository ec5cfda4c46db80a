#include "platform/vt/key_decoder.h"

#include "platform/vt/kitty_keys.h"
#include "platform/vt/legacy_keys.h"
#include "platform/vt/ss3_keys.h"
#include "platform/vt/vt_keys.h"

namespace dungeon {
namespace {

constexpr auto kTimeout = static_cast<std::uint32_t>(KeyDecoder::kEscapeTimeoutMs);
// "CSI ? 2026 ; state $ y" reports the state of synchronized output.
constexpr std::uint32_t kSynchronizedOutputMode = 2026;
// Answers carry small numbers; what does not fit a byte is no state we know.
constexpr std::uint32_t kValueMask = 0xFF;

// Every control key state flag fits in the 16 bits a queued key keeps of it.
static_assert(kEnhancedKey <= 0xFFFF && kCapsLock <= 0xFFFF);

}  // namespace

void KeyDecoder::Reset() {
    tokenizer_.Reset();
    lastFeedMs_ = 0;
    kittyFlags_ = 0;
    head_ = 0;
    count_ = 0;
}

void KeyDecoder::Feed(std::span<const std::uint8_t> bytes, std::uint32_t nowMs) {
    if (bytes.empty()) {
        return;
    }
    for (std::uint8_t byte : bytes) {
        tokenizer_.Push(byte);
        while (std::optional<Token> token = tokenizer_.Next(false)) {
            Decode(*token);
        }
    }
    lastFeedMs_ = nowMs;
}

std::optional<std::uint32_t> KeyDecoder::Deadline() const {
    if (!tokenizer_.Holding()) {
        return std::nullopt;
    }
    return lastFeedMs_ + kTimeout;
}

void KeyDecoder::Advance(std::uint32_t nowMs) {
    // Elapsed time in unsigned arithmetic stays right when the clock wraps.
    if (!tokenizer_.Holding() || nowMs - lastFeedMs_ < kTimeout) {
        return;
    }
    while (std::optional<Token> token = tokenizer_.Next(true)) {
        Decode(*token);
    }
}

std::optional<TerminalEvent> KeyDecoder::Next() {
    if (count_ == 0) {
        return std::nullopt;
    }
    Queued& queued = queue_[head_];
    TerminalEvent event;
    switch (queued.tag) {
        case Tag::kKittyFlags:
            event.kind = TerminalEvent::Kind::kKittyFlags;
            break;
        case Tag::kDeviceAttributes:
            event.kind = TerminalEvent::Kind::kDeviceAttributes;
            break;
        case Tag::kSynchronizedOutput:
            event.kind = TerminalEvent::Kind::kSynchronizedOutput;
            break;
        case Tag::kPressAndRelease:
        case Tag::kPress:
        case Tag::kRelease:
            event.key = KeyEvent{queued.tag != Tag::kRelease, queued.virtualKey, queued.scanCode,
                                 queued.character, queued.controlKeyState};
            break;
    }
    event.value = queued.value;
    if (queued.tag == Tag::kPressAndRelease) {
        queued.tag = Tag::kRelease;  // handed out next
        return event;
    }
    head_ = static_cast<std::uint16_t>((head_ + 1) % kQueueCapacity);
    --count_;
    return event;
}

bool KeyDecoder::ReportsReleases() const {
    return (kittyFlags_ & kKittyEventTypesFlag) != 0;
}

void KeyDecoder::Decode(const Token& token) {
    std::optional<KeyEvent> key;
    switch (token.kind) {
        case Token::Kind::kInvalid:
            return;
        case Token::Kind::kCsi:
            DecodeCsi(token);
            return;
        case Token::Kind::kEscape:
            key = AsciiKeyEvent(kEscapeCharacter);
            break;
        case Token::Kind::kCharacter:
            key = CharacterKeyEvent(token.codePoint);
            if (!key && token.alt) {
                // Alt with a character the PC cannot show: that alone would be dropped,
                // so only the Escape before it counts.
                key = AsciiKeyEvent(kEscapeCharacter);
                PushKey(*key, Tag::kPressAndRelease);
                return;
            }
            break;
        case Token::Kind::kSs3:
            key = Ss3Key(token.modifiers, token.final);
            break;
        case Token::Kind::kLinuxFunction:
            key = LinuxFunctionKey(token.final);
            break;
    }
    if (key) {
        if (token.alt) {
            key->controlKeyState |= kLeftAlt;
        }
        PushKey(*key, Tag::kPressAndRelease);
    }
}

void KeyDecoder::DecodeCsi(const Token& token) {
    const CsiParameters& p = token.parameters;
    if (p.marker == '?') {  // answers to the questions asked at start-up
        Queued answer;
        if (token.final == 'u') {  // the kitty protocol's flags in force
            kittyFlags_ = static_cast<std::uint8_t>(p.value[0][0] & kValueMask);
            answer.tag = Tag::kKittyFlags;
            answer.value = kittyFlags_;
        } else if (token.final == 'c') {  // primary device attributes
            answer.tag = Tag::kDeviceAttributes;
        } else if (token.final == 'y' && p.intermediate == '$' &&
                   p.value[0][0] == kSynchronizedOutputMode) {
            answer.tag = Tag::kSynchronizedOutput;
            answer.value = static_cast<std::uint8_t>(p.value[1][0] & kValueMask);
        } else {
            return;
        }
        Push(answer);
        return;
    }
    if (p.marker != 0 || p.intermediate != 0) {
        return;  // mouse reports, other answers
    }
    std::optional<KeyEvent> key;
    std::uint32_t eventType = p.value[1][1];
    if (std::optional<KittyKeyFields> kitty = KittyFields(p, token.final)) {
        key = KittyKeyEvent(*kitty);
        eventType = kitty->eventType;
    } else {
        key = LegacyCsiKey(p, token.final);
    }
    std::optional<Tag> stroke = StrokeOf(eventType);
    if (key && stroke) {
        if (token.alt) {
            key->controlKeyState |= kLeftAlt;
        }
        PushKey(*key, *stroke);
    }
}

std::optional<KeyDecoder::Tag> KeyDecoder::StrokeOf(std::uint32_t eventType) const {
    if (ReportsReleases()) {
        return eventType == kKittyRelease ? Tag::kRelease : Tag::kPress;  // a repeat presses again
    }
    if (eventType == kKittyRelease) {
        return std::nullopt;  // without event types a release is stray: its press counted
    }
    return Tag::kPressAndRelease;
}

void KeyDecoder::PushKey(const KeyEvent& key, Tag stroke) {
    // Alt with a keypad digit stays what it is, although no release of Alt will come to
    // finish an Alt code: the console takes such a press back, as on the PC.
    Queued queued;
    queued.tag = stroke;
    queued.character = key.character;
    queued.virtualKey = key.virtualKey;
    queued.scanCode = key.scanCode;
    queued.controlKeyState = static_cast<std::uint16_t>(key.controlKeyState);
    Push(queued);
}

void KeyDecoder::Push(const Queued& queued) {
    if (count_ == kQueueCapacity) {
        return;  // more than one feed's worth: the caller has not taken its events
    }
    queue_[(head_ + count_) % kQueueCapacity] = queued;
    ++count_;
}

}  // namespace dungeon
