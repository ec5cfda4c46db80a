#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "console/platform.h"

namespace dungeon {

// Turns the bytes a terminal sends for key presses into the key event records of a PC
// keyboard (virtual key, scan code, character, control key state), so that the console
// layer hands out the same characters as on the PC console.
//
// It understands plain and UTF-8 text, control characters, Alt as an Escape prefix, the
// CSI, SS3, rxvt and Linux-console forms of the cursor, editing and function keys with
// xterm's modifier parameter, the application keypad, xterm's modifyOtherKeys and the
// kitty keyboard protocol, and it recognises the terminal's answers to the queries sent
// at start-up. Anything else is dropped. Memory is fixed: a short sequence buffer and a
// bounded event queue; a flood of input beyond the queue's room is dropped.
//
// Terminals report no key releases, so every key decoded from legacy input becomes a
// press followed at once by a release. Once the terminal reports that the kitty protocol
// runs with event types, its presses, repeats and releases are passed on as they come.
class KeyDecoder {
  public:
    static constexpr int kQueueCapacity = 4096;
    static constexpr int kMaxSequence = 64;

    void Feed(const std::uint8_t* bytes, std::size_t count);
    void Feed(std::string_view bytes) {
        Feed(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }

    // True while bytes are held back because more may belong to them (a lone Escape,
    // the start of a sequence). The caller waits a short time for more, then calls Flush.
    bool HasPartial() const { return length_ > 0 || skipping_; }
    // No more bytes are coming for what is held: decode it as it stands.
    void Flush();

    int PendingEvents() const { return count_; }
    bool PopEvent(InputEvent& event);

    // Answers of the terminal seen so far.
    int KittyReplies() const { return kittyReplies_; }
    int KittyFlags() const { return kittyFlags_; }
    int DeviceAttributeReplies() const { return deviceAttributeReplies_; }
    // Answers to the question whether synchronized output (mode 2026) is known, and
    // whether the last one said that it is.
    int SynchronizedOutputReplies() const { return synchronizedOutputReplies_; }
    bool SynchronizedOutput() const {
        return synchronizedOutputMode_ == 1 || synchronizedOutputMode_ == 2;
    }
    // Key releases come from the terminal itself (kitty protocol with event types).
    bool ReportsReleases() const { return (kittyFlags_ & 2) != 0; }

  private:
    enum class Stroke : std::uint8_t { kPressAndRelease, kPress, kRepeat, kRelease };
    struct Key {
        KeyEvent event;
        Stroke stroke = Stroke::kPressAndRelease;
    };
    enum class Status : std::uint8_t { kKey, kDrop, kNeedMore };
    struct Parsed {
        Status status = Status::kNeedMore;
        int length = 0;
        Key key;
    };
    struct Params;

    void Decode(bool final);
    Parsed Parse(const std::uint8_t* s, int n, bool final);
    Parsed ParsePlain(const std::uint8_t* s, int n, bool final) const;
    Parsed ParseCsi(const std::uint8_t* s, int n);
    Parsed ParseSs3(const std::uint8_t* s, int n) const;
    Parsed CsiKey(const Params& p, std::uint8_t final, int length);
    Parsed TextKey(const Params& p, int length) const;
    Stroke StrokeOf(int eventType, bool& drop) const;
    void Emit(const Key& key);
    void Push(const KeyEvent& event);

    std::uint8_t sequence_[kMaxSequence] = {};
    int length_ = 0;
    // An overlong sequence is being skipped up to its final byte.
    bool skipping_ = false;

    InputEvent queue_[kQueueCapacity];
    int head_ = 0;
    int count_ = 0;

    int kittyReplies_ = 0;
    int kittyFlags_ = 0;
    int deviceAttributeReplies_ = 0;
    int synchronizedOutputReplies_ = 0;
    int synchronizedOutputMode_ = 0;  // as reported: 0 unknown, 1 set, 2 reset, 4 fixed off
};

}  // namespace dungeon
