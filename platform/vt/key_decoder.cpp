#include "platform/vt/key_decoder.h"

#include "platform/vt/vt_key_tables.h"

namespace dungeon {
namespace {

using Kind = TerminalEvent::Kind;

constexpr auto kTimeout = static_cast<std::uint32_t>(KeyDecoder::kEscapeTimeoutMs);
// "CSI ? 2026 ; state $ y" reports the state of synchronized output.
constexpr std::uint32_t kSynchronizedOutputMode = 2026;
// Answers have small numbers; what does not fit a byte is no state we know.
constexpr std::uint32_t kValueMask = 0xFF;

// Every control key state flag fits in the 16 bits a queued key has for them.
static_assert(kEnhancedKey <= 0xFFFF && kCapsLock <= 0xFFFF);

}  // namespace

void KeyDecoder::Feed(std::span<const std::uint8_t> bytes, std::uint32_t nowMs) {
    for (std::uint8_t byte : bytes) {
        tokenizer_.Push(byte);
        Drain(false);
    }
    lastFeedMs_ = bytes.empty() ? lastFeedMs_ : nowMs;
}

std::optional<std::uint32_t> KeyDecoder::Deadline() const {
    return tokenizer_.HasUnfinishedToken() ? std::optional(lastFeedMs_ + kTimeout) : std::nullopt;
}

void KeyDecoder::Advance(std::uint32_t nowMs) {
    // Elapsed time in unsigned arithmetic stays right when the clock wraps.
    if (tokenizer_.HasUnfinishedToken() && nowMs - lastFeedMs_ >= kTimeout) {
        Drain(true);
    }
}

std::optional<TerminalEvent> KeyDecoder::Next() {
    if (queue_.Empty()) {
        return std::nullopt;
    }
    Queued& queued = queue_.Front();
    // An answer's key fields are those of an empty key.
    TerminalEvent event{queued.kind,
                        KeyEvent{queued.action != Action::kRelease, queued.virtualKey,
                                 queued.scanCode, queued.character, queued.controlKeyState},
                        queued.value};
    if (queued.action == Action::kPressAndRelease) {
        queued.action = Action::kRelease;  // handed out next
    } else {
        queue_.Pop();
    }
    return event;
}

bool KeyDecoder::ReportsReleases() const {
    return (kittyFlags_ & kKittyEventTypesFlag) != 0;
}

void KeyDecoder::Drain(bool complete) {
    while (std::optional<Token> token = tokenizer_.Next(complete)) {
        Decode(*token);
    }
}

void KeyDecoder::Decode(const Token& token) {
    const CsiParameters& p = token.parameters;
    if (token.kind == Token::Kind::kCsi && p.marker == '?') {  // answers to the questions
        if (token.final == 'u') {  // the kitty protocol's flags in force
            kittyFlags_ = static_cast<std::uint8_t>(p.value[0][0] & kValueMask);
            queue_.Push({.kind = Kind::kKittyFlags, .value = kittyFlags_});
        } else if (token.final == 'c') {  // primary device attributes
            queue_.Push({.kind = Kind::kDeviceAttributes});
        } else if (token.final == 'y' && p.intermediate == '$' &&
                   p.value[0][0] == kSynchronizedOutputMode) {
            auto state = static_cast<std::uint8_t>(p.value[1][0] & kValueMask);
            queue_.Push({.kind = Kind::kSynchronizedOutput, .value = state});
        }
        return;
    }
    std::optional<KeyEvent> key = KeyOf(token);
    bool release = IsKittyRelease(token);
    // Without event types a release is stray (its press counted), and a repeat presses
    // again; legacy input has no releases of its own.
    if (!key || (release && !ReportsReleases())) {
        return;
    }
    Action action = Action::kPressAndRelease;
    if (token.kind == Token::Kind::kCsi && ReportsReleases()) {
        action = release ? Action::kRelease : Action::kPress;
    }
    // Alt with a keypad digit stays what it is, although no release of Alt will come to
    // finish an Alt code: the console takes such a press back, as on the PC.
    queue_.Push({.action = action,
                 .character = key->character,
                 .virtualKey = key->virtualKey,
                 .scanCode = key->scanCode,
                 .controlKeyState = static_cast<std::uint16_t>(key->controlKeyState)});
}

}  // namespace dungeon
