// Feeds arbitrary terminal bytes to the key decoder in chunks, with the time that passes
// after each chunk: a pause longer than the terminal platform's wait for the rest of a
// sequence flushes what is held. Every event must be a well-formed PC key event and the
// queue must stay bounded. A second decoder gets the same bytes one at a time, with the
// same pauses; both must hand out the same events, since a terminal may split its bytes
// anywhere.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "platform/vt/key_decoder.h"

namespace {

using dungeon::KeyDecoder;
using dungeon::fuzz::Require;

// The terminal platform's wait for the rest of a sequence, in milliseconds.
constexpr int kSequenceTimeout = 25;

constexpr std::uint32_t kKnownStates = dungeon::kRightAlt | dungeon::kLeftAlt |
                                       dungeon::kRightCtrl | dungeon::kLeftCtrl | dungeon::kShift |
                                       dungeon::kNumLock | dungeon::kScrollLock |
                                       dungeon::kCapsLock | dungeon::kEnhancedKey;

void CheckEvent(const dungeon::InputEvent& event) {
    Require(event.kind == dungeon::InputEvent::Kind::kKey, "an event that is no key");
    const dungeon::KeyEvent& key = event.key;
    Require(key.virtualKey <= 0xFE, "virtual key code out of range");
    Require(key.scanCode <= 0x7F, "scan code out of range");
    Require((key.controlKeyState & ~kKnownStates) == 0, "unknown control key state flags");
    Require(key.virtualKey != 0 || key.character != 0, "a key with neither key code nor character");
}

// Takes every waiting event, checking each, and appends it to `events`.
void Drain(KeyDecoder& decoder, std::vector<dungeon::InputEvent>& events) {
    Require(decoder.PendingEvents() >= 0 && decoder.PendingEvents() <= KeyDecoder::kQueueCapacity,
            "queue beyond its bounds");
    dungeon::InputEvent event;
    while (decoder.PopEvent(event)) {
        CheckEvent(event);
        events.push_back(event);
    }
    Require(decoder.PendingEvents() == 0, "events left after the queue ran dry");
}

// The events from `from` on are the same in both lists (those before were compared already).
bool SameEvents(const std::vector<dungeon::InputEvent>& a,
                const std::vector<dungeon::InputEvent>& b, std::size_t from) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = from; i < a.size(); ++i) {
        if (a[i].kind != b[i].kind || !(a[i].key == b[i].key)) {
            return false;
        }
    }
    return true;
}

// Without key releases from the terminal each key is a press followed by its release.
void CheckPairs(const std::vector<dungeon::InputEvent>& events, std::size_t from) {
    Require((events.size() - from) % 2 == 0, "a press without its release");
    for (std::size_t i = from; i < events.size(); i += 2) {
        dungeon::KeyEvent press = events[i].key;
        dungeon::KeyEvent release = events[i + 1].key;
        Require(press.keyDown && !release.keyDown, "press and release out of order");
        release.keyDown = true;
        Require(press == release, "a release unlike its press");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Static, and started afresh by a copy: each holds a queue of several thousand events.
    static const KeyDecoder fresh;
    static KeyDecoder whole;
    static KeyDecoder split;
    whole = fresh;
    split = fresh;
    static std::vector<dungeon::InputEvent> wholeEvents;
    static std::vector<dungeon::InputEvent> splitEvents;
    wholeEvents.clear();
    splitEvents.clear();
    bool releasesReported = false;

    dungeon::fuzz::Input in(data, size);
    while (!in.Empty()) {
        // Each chunk: its length and the milliseconds that pass after it.
        std::uint8_t control = in.Byte();
        std::uint8_t chunk[64];
        std::size_t length = in.Bytes(chunk, control & 0x3F);
        int elapsed = (control >> 6) * 15;
        std::size_t before = wholeEvents.size();

        whole.Feed(chunk, length);
        for (std::size_t i = 0; i < length; ++i) {
            split.Feed(chunk + i, 1);
            releasesReported = releasesReported || split.ReportsReleases();
            Require(split.PendingEvents() <= KeyDecoder::kQueueCapacity, "queue beyond its bounds");
        }
        if (elapsed > kSequenceTimeout) {
            whole.Flush();
            split.Flush();
            Require(!whole.HasPartial() && !split.HasPartial(), "bytes held after a flush");
        }
        Require(whole.HasPartial() == split.HasPartial(), "split input held back differently");
        Drain(whole, wholeEvents);
        Drain(split, splitEvents);
        Require(SameEvents(wholeEvents, splitEvents, before), "split input decoded differently");
        releasesReported = releasesReported || whole.ReportsReleases();
        if (!releasesReported) {
            CheckPairs(wholeEvents, before);
        }
    }
    std::size_t before = wholeEvents.size();
    whole.Flush();
    split.Flush();
    Drain(whole, wholeEvents);
    Drain(split, splitEvents);
    Require(SameEvents(wholeEvents, splitEvents, before), "split input decoded differently");
    return 0;
}
