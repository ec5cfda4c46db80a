// Feeds arbitrary terminal bytes to the key decoder in chunks, with the time that passes
// after each chunk, on a clock that wraps during the run. One decoder gets the chunks that
// come at the same time as one feed (a read's worth at most), a second one gets the same
// bytes one at a time; both must hand out the same events, since a terminal may split its
// bytes anywhere, and so no feed may have yielded more than the queue holds. Every event
// must be well formed, and held bytes must show as a deadline: without one, no amount of
// time brings anything out, and before it nothing does.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "platform/vt/key_decoder.h"

namespace {

using dungeon::KeyDecoder;
using dungeon::TerminalEvent;
using dungeon::fuzz::Require;
using Events = std::vector<TerminalEvent>;

// The clock starts shortly before it wraps.
constexpr std::uint32_t kStartMs = 0xFFFFFF00u;
// Milliseconds per step of a chunk's pause: steps 2 and 3 reach the deadline.
constexpr std::uint32_t kPauseStepMs = KeyDecoder::kEscapeTimeoutMs / 2;
constexpr std::uint32_t kLongAfterMs = 0x7FFFFFFFu;

constexpr std::uint32_t kKnownStates = dungeon::kRightAlt | dungeon::kLeftAlt |
                                       dungeon::kRightCtrl | dungeon::kLeftCtrl | dungeon::kShift |
                                       dungeon::kNumLock | dungeon::kScrollLock |
                                       dungeon::kCapsLock | dungeon::kEnhancedKey;

void CheckEvent(const TerminalEvent& event) {
    if (event.kind != TerminalEvent::Kind::kKey) {
        Require(event.value >= 0 && event.value <= 0xFF, "an answer's value out of range");
        Require(event.kind != TerminalEvent::Kind::kDeviceAttributes || event.value == 0,
                "device attributes with a value");
        return;
    }
    const dungeon::KeyEvent& key = event.key;
    Require(key.virtualKey <= 0xFE, "virtual key code out of range");
    Require(key.scanCode <= 0x7F, "scan code out of range");
    Require((key.controlKeyState & ~kKnownStates) == 0, "unknown control key state flags");
    Require(key.virtualKey != 0 || key.character != 0, "a key with neither key code nor character");
}

bool Same(const TerminalEvent& a, const TerminalEvent& b) {
    return a.kind == b.kind && a.key == b.key && a.value == b.value;
}

// Takes every waiting event, checking each, and appends it to `events`; how many.
std::size_t Take(KeyDecoder& decoder, Events& events) {
    std::size_t count = 0;
    while (std::optional<TerminalEvent> event = decoder.Next()) {
        CheckEvent(*event);
        events.push_back(*event);
        ++count;
    }
    return count;
}

void Feed(KeyDecoder& decoder, std::span<const std::uint8_t> bytes, std::uint32_t nowMs,
          Events& events) {
    if (bytes.empty()) {
        return;
    }
    decoder.Feed(bytes, nowMs);
    // A press and its release of legacy input take one place in the queue; every event
    // takes a byte, fed now or held from before.
    std::size_t count = Take(decoder, events);
    Require(count <= 2 * (bytes.size() + dungeon::Tokenizer::kMaxTokenBytes),
            "more events than bytes");
    Require(count <= 2 * KeyDecoder::kQueueCapacity, "a feed beyond the queue's room");
    std::optional<std::uint32_t> deadline = decoder.Deadline();
    Require(!deadline || *deadline == nowMs + KeyDecoder::kEscapeTimeoutMs,
            "a deadline not counted from the last bytes");
}

// Time passes up to `nowMs`.
void Advance(KeyDecoder& decoder, std::uint32_t nowMs, Events& events) {
    std::optional<std::uint32_t> deadline = decoder.Deadline();
    if (!deadline) {
        Events none;
        decoder.Advance(nowMs + kLongAfterMs);
        Require(Take(decoder, none) == 0, "events without held bytes");
        return;
    }
    // Elapsed times in unsigned arithmetic: the clock wraps.
    std::uint32_t lastBytesMs = *deadline - KeyDecoder::kEscapeTimeoutMs;
    bool reached = nowMs - lastBytesMs >= KeyDecoder::kEscapeTimeoutMs;
    if (reached) {
        decoder.Advance(*deadline - 1);
        Require(Take(decoder, events) == 0 && decoder.Deadline() == deadline,
                "held bytes decoded before their deadline");
    }
    decoder.Advance(nowMs);
    Take(decoder, events);
    Require(decoder.Deadline().has_value() != reached,
            "bytes held past their deadline, or given up before it");
}

// Without key releases from the terminal each key is a press followed by its release.
void CheckPairs(const Events& events, std::size_t from) {
    Require((events.size() - from) % 2 == 0, "a press without its release");
    for (std::size_t i = from; i < events.size(); i += 2) {
        Require(events[i].kind == TerminalEvent::Kind::kKey &&
                    events[i + 1].kind == TerminalEvent::Kind::kKey,
                "an answer between a press and its release");
        dungeon::KeyEvent press = events[i].key;
        dungeon::KeyEvent release = events[i + 1].key;
        Require(press.keyDown && !release.keyDown, "press and release out of order");
        release.keyDown = true;
        Require(press == release, "a release unlike its press");
    }
}

// Keys only, for CheckPairs: answers stand between whole keys.
Events KeysFrom(const Events& events, std::size_t from) {
    Events keys;
    for (std::size_t i = from; i < events.size(); ++i) {
        if (events[i].kind == TerminalEvent::Kind::kKey) {
            keys.push_back(events[i]);
        }
    }
    return keys;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    KeyDecoder whole;
    KeyDecoder split;
    Events wholeEvents;
    Events splitEvents;
    std::uint8_t pending[KeyDecoder::kMaxFeed];
    std::size_t pendingLength = 0;
    std::uint32_t now = kStartMs;
    bool releasesReported = false;
    std::size_t compared = 0;

    dungeon::fuzz::Input in(data, size);
    while (!in.Empty()) {
        // Each chunk: its length, the bytes, and the milliseconds that pass after it.
        std::uint8_t control = in.Byte();
        std::uint8_t chunk[64];
        std::size_t length = in.Bytes(chunk, control & 0x3F);
        std::uint32_t pause = (control >> 6) * kPauseStepMs;

        for (std::size_t i = 0; i < length; ++i) {
            Feed(split, std::span<const std::uint8_t>(chunk + i, 1), now, splitEvents);
            releasesReported = releasesReported || split.ReportsReleases();
        }
        if (pendingLength + length > KeyDecoder::kMaxFeed) {
            Feed(whole, std::span<const std::uint8_t>(pending, pendingLength), now, wholeEvents);
            pendingLength = 0;
        }
        for (std::size_t i = 0; i < length; ++i) {
            pending[pendingLength++] = chunk[i];
        }
        if (pause == 0) {
            continue;  // what comes next arrives at the same time: the same read
        }
        std::size_t before = wholeEvents.size();
        Feed(whole, std::span<const std::uint8_t>(pending, pendingLength), now, wholeEvents);
        pendingLength = 0;
        Require(whole.Deadline() == split.Deadline(), "split input held back differently");
        now += pause;
        Advance(whole, now, wholeEvents);
        Advance(split, now, splitEvents);
        Require(wholeEvents.size() == splitEvents.size(), "split input decoded differently");
        for (; compared < wholeEvents.size(); ++compared) {
            Require(Same(wholeEvents[compared], splitEvents[compared]),
                    "split input decoded differently");
        }
        Require(whole.ReportsReleases() == split.ReportsReleases(),
                "split input switched releases differently");
        if (!releasesReported) {
            CheckPairs(KeysFrom(wholeEvents, before), 0);
        }
    }
    Feed(whole, std::span<const std::uint8_t>(pending, pendingLength), now, wholeEvents);
    now += KeyDecoder::kEscapeTimeoutMs;
    Advance(whole, now, wholeEvents);
    Advance(split, now, splitEvents);
    Require(wholeEvents.size() == splitEvents.size(), "split input decoded differently");
    for (; compared < wholeEvents.size(); ++compared) {
        Require(Same(wholeEvents[compared], splitEvents[compared]),
                "split input decoded differently");
    }
    return 0;
}
