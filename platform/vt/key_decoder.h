#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "base/ring_queue.h"
#include "console/key_event.h"
#include "platform/vt/vt_tokenizer.h"

namespace dungeon {

// What the terminal said: a key event, or the answer to a question asked at start-up.
struct TerminalEvent {
    enum class Kind : std::uint8_t {
        kKey,                 // `key`: a PC key event record, a press or a release
        kKittyFlags,          // the answer to "CSI ? u": `value` is the flags in force
        kDeviceAttributes,    // the answer to the primary device attributes query ("CSI c")
        kSynchronizedOutput,  // the answer to "CSI ? 2026 $ p": `value` is the mode's state
                              // (0 unknown, 1 set, 2 reset, 3 always set, 4 always reset)
    };
    Kind kind = Kind::kKey;
    KeyEvent key;
    int value = 0;
};

// Turns the bytes a terminal sends for keys (text, control characters, Alt as an Escape
// prefix, the forms of vt_key_tables.h) into PC key event records, and the answers to the
// start-up queries into events; the rest is dropped. Nothing is allocated. A lone Escape
// waits kEscapeTimeoutMs for more, as it may begin a sequence whose rest is still coming.
// A legacy key is a press and at once its release; the kitty protocol with event types sends
// its own.
class KeyDecoder {
  public:
    static constexpr int kEscapeTimeoutMs = 100;
    static constexpr std::size_t kMaxFeed = 256;  // bytes one Feed takes at most (one read's worth)

    void Reset() { *this = KeyDecoder(); }
    // Bytes that arrived at `nowMs` (a millisecond clock that may wrap), at most kMaxFeed;
    // the caller takes every event (Next until nullopt) before feeding again, or what does
    // not fit the queue is dropped. Bytes continue an unfinished sequence until an Advance has
    // reached the deadline (a late reader cannot tell when they arrived).
    void Feed(std::span<const std::uint8_t> bytes, std::uint32_t nowMs);
    // When the bytes of an unfinished sequence (a lone Escape, a sequence cut short) stop
    // waiting for the rest; nullopt while there are none. Once Advance gets there, they are
    // decoded as they stand.
    std::optional<std::uint32_t> Deadline() const;
    void Advance(std::uint32_t nowMs);
    std::optional<TerminalEvent> Next();
    bool ReportsReleases() const;  // the terminal sends releases (its kKittyFlags say so)

    // Room for what one feed can yield: each event takes a byte at least, and a press with
    // its release is queued as one.
    static constexpr std::size_t kQueueCapacity = kMaxFeed + Tokenizer::kMaxTokenBytes;

  private:
    // Small, so that the queue is; Next hands out a legacy key as its press, then its release.
    enum class Action : std::uint8_t { kPressAndRelease, kPress, kRelease };
    struct Queued {
        TerminalEvent::Kind kind = TerminalEvent::Kind::kKey;
        Action action = Action::kPress;
        std::uint8_t character = 0;
        std::uint8_t value = 0;  // of an answer
        std::uint16_t virtualKey = 0;
        std::uint16_t scanCode = 0;
        std::uint16_t controlKeyState = 0;
    };

    void Drain(bool complete);
    void Decode(const Token& token);

    Tokenizer tokenizer_;
    std::uint32_t lastFeedMs_ = 0;
    std::uint8_t kittyFlags_ = 0;
    RingQueue<Queued, kQueueCapacity> queue_;
};

// Small enough to sit in any platform and to be copied whole.
static_assert(sizeof(KeyDecoder) <= 4096);

}  // namespace dungeon
