#include "platform/vt/key_decoder.h"

#include <cstring>
#include <optional>

#include "console/cp437.h"
#include "console/pc_keyboard.h"

namespace dungeon {
namespace {

constexpr std::uint8_t kEsc = 0x1B;
constexpr std::uint32_t kNumberLimit = 0xFFFFFF;

// A key that produces no character.
struct Special {
    std::uint16_t virtualKey = 0;
    std::uint16_t scanCode = 0;
    bool enhanced = false;
};

constexpr Special kUp{kVkUp, kScanUp, true};
constexpr Special kDown{kVkDown, kScanDown, true};
constexpr Special kRight{kVkRight, kScanRight, true};
constexpr Special kLeft{kVkLeft, kScanLeft, true};
constexpr Special kHome{kVkHome, kScanHome, true};
constexpr Special kEnd{kVkEnd, kScanEnd, true};
constexpr Special kInsert{kVkInsert, kScanInsert, true};
constexpr Special kDelete{kVkDelete, kScanDelete, true};
constexpr Special kPageUp{kVkPrior, kScanPageUp, true};
constexpr Special kPageDown{kVkNext, kScanPageDown, true};
constexpr Special kKeypadBegin{12, kScanKeypad5, false};  // keypad 5 without Num Lock

Special FunctionKey(int number) {  // 1..12
    if (number <= 10) {
        return {static_cast<std::uint16_t>(kVkF1 + number - 1),
                static_cast<std::uint16_t>(kScanF1 + number - 1), false};
    }
    return {static_cast<std::uint16_t>(kVkF1 + number - 1), number == 11 ? kScanF11 : kScanF12,
            false};
}

// Scan codes of keypad 0..9.
constexpr std::uint16_t kKeypadScan[10] = {82, 79, 80, 81, 75, 76, 77, 71, 72, 73};

// The keys that xterm names by a final letter alone, in its SS3 and CSI forms alike:
// the cursor keys, Home, End, keypad 5 and F1..F4.
bool FinalLetterKey(std::uint8_t final, Special& key) {
    switch (final) {
        case 'A':
            key = kUp;
            return true;
        case 'B':
            key = kDown;
            return true;
        case 'C':
            key = kRight;
            return true;
        case 'D':
            key = kLeft;
            return true;
        case 'H':
            key = kHome;
            return true;
        case 'F':
            key = kEnd;
            return true;
        case 'E':
            key = kKeypadBegin;
            return true;
        case 'P':
        case 'Q':
        case 'R':
        case 'S':
            key = FunctionKey(final - 'P' + 1);
            return true;
        default:
            return false;
    }
}

// rxvt's cursor keys with a modifier, named by a lower-case final letter.
bool RxvtCursorKey(std::uint8_t final, Special& key) {
    switch (final) {
        case 'a':
            key = kUp;
            return true;
        case 'b':
            key = kDown;
            return true;
        case 'c':
            key = kRight;
            return true;
        case 'd':
            key = kLeft;
            return true;
        default:
            return false;
    }
}

// xterm's modifier parameter (1 + bits) as PC control key state. Alt counts as the left
// one: terminals do not tell the two apart.
std::uint32_t ModifierState(std::uint32_t parameter) {
    std::uint32_t bits = (parameter == 0 ? 0 : parameter - 1) & 0xFF;
    std::uint32_t state = 0;
    if ((bits & 1) != 0) {
        state |= kShift;
    }
    if ((bits & 2) != 0) {
        state |= kLeftAlt;
    }
    if ((bits & 4) != 0) {
        state |= kLeftCtrl;
    }
    if ((bits & 64) != 0) {
        state |= kCapsLock;
    }
    if ((bits & 128) != 0) {
        state |= kNumLock;
    }
    return state;
}

KeyEvent SpecialEvent(const Special& key, std::uint32_t state) {
    KeyEvent event;
    event.virtualKey = key.virtualKey;
    event.scanCode = key.scanCode;
    event.character = 0;
    event.controlKeyState = state | (key.enhanced ? kEnhancedKey : 0u);
    return event;
}

KeyEvent CharacterEvent(std::uint16_t virtualKey, std::uint16_t scanCode, std::uint8_t character,
                        std::uint32_t state) {
    return KeyEvent{true, virtualKey, scanCode, character, state};
}

// The key of a single byte below 128, as a PC keyboard types it.
KeyEvent AsciiEvent(std::uint8_t byte) {
    switch (byte) {
        case 8:
        case 127:  // Backspace: terminals send either
            return CharacterEvent(kVkBack, kScanBackspace, 8, 0);
        case 9:
            return CharacterEvent(kVkTab, kScanTab, 9, 0);
        case 13:
            return CharacterEvent(kVkReturn, kScanEnter, 13, 0);
        case kEsc:
            return CharacterEvent(kVkEscape, kScanEscape, kEsc, 0);
        default:
            break;
    }
    return PcKeyPress(byte);
}

// The character of a US-layout key when Shift is held.
std::uint32_t UsShifted(std::uint32_t c) {
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 'A';
    }
    constexpr std::string_view kPlain = "`1234567890-=[]\\;',./";
    constexpr std::string_view kShifted = "~!@#$%^&*()_+{}|:\"<>?";
    for (std::size_t i = 0; i < kPlain.size(); ++i) {
        if (static_cast<std::uint32_t>(kPlain[i]) == c) {
            return static_cast<std::uint8_t>(kShifted[i]);
        }
    }
    return c;
}

// The character a key types with Ctrl held on a PC (0 where it types none).
std::uint8_t CtrlCharacter(std::uint32_t key) {
    if (key >= 'a' && key <= 'z') {
        return static_cast<std::uint8_t>(key - 'a' + 1);
    }
    switch (key) {
        case '[':
            return 27;
        case '\\':
            return 28;
        case ']':
            return 29;
        case '6':
            return 30;
        case '-':
            return 31;
        case ' ':
            return ' ';
        default:
            return 0;
    }
}

}  // namespace

struct KeyDecoder::Params {
    static constexpr int kFields = 4;
    static constexpr int kSubFields = 3;
    std::uint32_t value[kFields][kSubFields] = {};
    int count = 0;
    std::uint8_t marker = 0;
    std::uint8_t intermediate = 0;
};

void KeyDecoder::Feed(const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t b = bytes[i];
        if (skipping_) {
            if (b >= 0x20 && b <= 0x3F) {
                continue;
            }
            skipping_ = false;
            if (b >= 0x40 && b <= 0x7E) {
                continue;
            }
        }
        if (length_ == 0 && b != kEsc && b < 0x80) {
            Emit(Key{AsciiEvent(b), Stroke::kPressAndRelease});  // the common case: typed text
            continue;
        }
        sequence_[length_++] = b;
        Decode(false);
    }
}

void KeyDecoder::Flush() {
    skipping_ = false;
    Decode(true);
}

bool KeyDecoder::PopEvent(InputEvent& event) {
    if (count_ == 0) {
        return false;
    }
    event = queue_[head_];
    head_ = (head_ + 1) % kQueueCapacity;
    --count_;
    return true;
}

void KeyDecoder::Decode(bool final) {
    while (length_ > 0) {
        Parsed parsed = Parse(sequence_, length_, final);
        if (parsed.status == Status::kNeedMore) {
            if (length_ >= kMaxSequence) {
                // No key is this long: skip the rest of it rather than buffer without end.
                length_ = 0;
                skipping_ = true;
            }
            return;
        }
        if (parsed.status == Status::kKey) {
            Emit(parsed.key);
        }
        int used = parsed.length < 1 ? 1 : parsed.length;
        if (used > length_) {
            used = length_;
        }
        std::memmove(sequence_, sequence_ + used, static_cast<std::size_t>(length_ - used));
        length_ -= used;
    }
}

KeyDecoder::Parsed KeyDecoder::Parse(const std::uint8_t* s, int n, bool final) {
    auto key = [](const KeyEvent& event, int length) {
        return Parsed{Status::kKey, length, Key{event, Stroke::kPressAndRelease}};
    };
    auto withAlt = [](Parsed parsed) {
        parsed.key.event.controlKeyState |= kLeftAlt;
        parsed.length += 1;
        return parsed;
    };
    if (s[0] != kEsc) {
        return ParsePlain(s, n, final);
    }
    if (n == 1) {
        return final ? key(AsciiEvent(kEsc), 1) : Parsed{};
    }
    if (s[1] == '[' || s[1] == 'O') {
        Parsed parsed = s[1] == '[' ? ParseCsi(s, n) : ParseSs3(s, n);
        if (parsed.status != Status::kNeedMore || !final) {
            return parsed;
        }
        // Nothing followed in time: Alt with "[" or "O", or a broken sequence.
        if (n == 2) {
            return withAlt(key(AsciiEvent(s[1]), 1));
        }
        return Parsed{Status::kDrop, n, {}};
    }
    if (s[1] == kEsc) {
        // Escape before a sequence is Alt with that key (rxvt); otherwise two Escapes.
        if (n == 2) {
            return final ? key(AsciiEvent(kEsc), 1) : Parsed{};
        }
        if (s[2] == '[' || s[2] == 'O') {
            Parsed inner = Parse(s + 1, n - 1, final);
            if (inner.status == Status::kKey) {
                return withAlt(inner);
            }
            if (inner.status == Status::kDrop) {
                inner.length += 1;
            }
            return inner;
        }
        return key(AsciiEvent(kEsc), 1);
    }
    Parsed inner = ParsePlain(s + 1, n - 1, final);
    if (inner.status == Status::kKey) {
        return withAlt(inner);
    }
    if (inner.status == Status::kNeedMore) {
        return inner;
    }
    return key(AsciiEvent(kEsc), 1);
}

KeyDecoder::Parsed KeyDecoder::ParsePlain(const std::uint8_t* s, int n, bool final) const {
    const Parsed drop{Status::kDrop, 1, {}};
    std::uint8_t lead = s[0];
    if (lead < 0x80) {
        return Parsed{Status::kKey, 1, Key{AsciiEvent(lead), Stroke::kPressAndRelease}};
    }
    int length = 0;
    std::uint32_t codePoint = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
    } else {
        return drop;
    }
    for (int i = 1; i < length; ++i) {
        if (i >= n) {
            return final ? Parsed{Status::kDrop, n, {}} : Parsed{};
        }
        if ((s[i] & 0xC0) != 0x80) {
            return drop;
        }
        codePoint = (codePoint << 6) | (s[i] & 0x3Fu);
    }
    bool overlong = (length == 3 && codePoint < 0x800) || (length == 4 && codePoint < 0x10000);
    bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    std::optional<std::uint8_t> byte;
    if (!overlong && !surrogate && codePoint <= 0x10FFFF) {
        byte = Cp437FromCodePoint(codePoint);
    }
    if (!byte) {
        return Parsed{Status::kDrop, length, {}};
    }
    // A character no US key types: it has no key code of its own.
    return Parsed{Status::kKey, length,
                  Key{CharacterEvent(0, 0, *byte, 0), Stroke::kPressAndRelease}};
}

KeyDecoder::Parsed KeyDecoder::ParseCsi(const std::uint8_t* s, int n) {
    if (n < 3) {
        return Parsed{};
    }
    if (s[2] == '[') {  // the Linux console's F1..F5: CSI [ A .. CSI [ E
        if (n < 4) {
            return Parsed{};
        }
        if (s[3] >= 'A' && s[3] <= 'E') {
            return Parsed{
                Status::kKey, 4,
                Key{SpecialEvent(FunctionKey(s[3] - 'A' + 1), 0), Stroke::kPressAndRelease}};
        }
        return Parsed{Status::kDrop, s[3] >= 0x20 && s[3] < 0x7F ? 4 : 3, {}};
    }
    Params p;
    int i = 2;
    if (s[i] >= 0x3C && s[i] <= 0x3F) {
        p.marker = s[i];
        ++i;
    }
    int start = i;
    int field = 0;
    int sub = 0;
    for (; i < n && s[i] >= 0x30 && s[i] <= 0x3F; ++i) {
        std::uint8_t c = s[i];
        if (c >= '0' && c <= '9') {
            if (field < Params::kFields && sub < Params::kSubFields) {
                std::uint32_t& v = p.value[field][sub];
                v = v * 10 + (c - '0');
                if (v > kNumberLimit) {
                    v = kNumberLimit;
                }
            }
        } else if (c == ';') {
            ++field;
            sub = 0;
        } else if (c == ':') {
            ++sub;
        }
    }
    p.count = i > start ? field + 1 : 0;
    for (; i < n && s[i] >= 0x20 && s[i] <= 0x2F; ++i) {
        if (s[i] == '$' && p.marker == 0 && p.intermediate == 0) {
            return CsiKey(p, '$', i + 1);  // rxvt: Shift with an editing or function key
        }
        p.intermediate = s[i];
    }
    if (i >= n) {
        return Parsed{};
    }
    if (s[i] >= 0x40 && s[i] <= 0x7E) {
        return CsiKey(p, s[i], i + 1);
    }
    // A byte that cannot stand in a sequence ends it: what came before is no key, except
    // a bare "ESC [", which was Alt with "[".
    if (i == 2) {
        KeyEvent event = AsciiEvent('[');
        event.controlKeyState |= kLeftAlt;
        return Parsed{Status::kKey, 2, Key{event, Stroke::kPressAndRelease}};
    }
    return Parsed{Status::kDrop, i, {}};
}

KeyDecoder::Parsed KeyDecoder::ParseSs3(const std::uint8_t* s, int n) const {
    int i = 2;
    std::uint32_t modifiers = 1;
    std::uint32_t number = 0;
    for (; i < n && s[i] >= 0x30 && s[i] <= 0x3F; ++i) {
        if (s[i] >= '0' && s[i] <= '9') {
            number = number * 10 + (s[i] - '0');
            if (number > kNumberLimit) {
                number = kNumberLimit;
            }
        } else {
            number = 0;
        }
        modifiers = number;  // the last number is the modifier parameter
    }
    if (i >= n) {
        return Parsed{};
    }
    std::uint8_t final = s[i];
    int length = i + 1;
    if (final < 0x40 || final > 0x7E) {
        if (i == 2) {  // "ESC O" and then something else: Alt with "O"
            KeyEvent event = AsciiEvent('O');
            event.controlKeyState |= kLeftAlt;
            return Parsed{Status::kKey, 2, Key{event, Stroke::kPressAndRelease}};
        }
        return Parsed{Status::kDrop, i, {}};
    }
    std::uint32_t state = ModifierState(modifiers);
    auto special = [&](const Special& key, std::uint32_t extra = 0) {
        return Parsed{Status::kKey, length,
                      Key{SpecialEvent(key, state | extra), Stroke::kPressAndRelease}};
    };
    auto keypad = [&](std::uint16_t virtualKey, std::uint16_t scanCode, char character,
                      bool enhanced = false) {
        KeyEvent event = CharacterEvent(virtualKey, scanCode, static_cast<std::uint8_t>(character),
                                        enhanced ? kEnhancedKey : 0u);
        return Parsed{Status::kKey, length, Key{event, Stroke::kPressAndRelease}};
    };
    Special named;
    if (FinalLetterKey(final, named)) {
        return special(named);
    }
    if (RxvtCursorKey(final, named)) {  // rxvt: Ctrl with the cursor keys
        return special(named, kLeftCtrl);
    }
    switch (final) {
        case 'M':
            return keypad(kVkReturn, kScanEnter, 13, true);
        case 'j':
            return keypad(kVkMultiply, 55, '*');
        case 'k':
            return keypad(kVkAdd, kScanKeypadPlus, '+');
        case 'l':
            return keypad(108, kScanDelete, ',');
        case 'm':
            return keypad(kVkSubtract, kScanKeypadMinus, '-');
        case 'n':
            return keypad(kVkDecimal, kScanDelete, '.');
        case 'o':
            return keypad(kVkDivide, 53, '/', true);
        case 'X':
            return keypad(187, 13, '=');
        default:
            break;
    }
    if (final >= 'p' && final <= 'y') {
        int digit = final - 'p';
        return keypad(static_cast<std::uint16_t>(kVkNumpad0 + digit), kKeypadScan[digit],
                      static_cast<char>('0' + digit));
    }
    return Parsed{Status::kDrop, length, {}};
}

KeyDecoder::Stroke KeyDecoder::StrokeOf(int eventType, bool& drop) const {
    drop = false;
    if (ReportsReleases()) {
        return eventType == 2 ? Stroke::kRepeat
                              : (eventType == 3 ? Stroke::kRelease : Stroke::kPress);
    }
    // Without event types a release can only be stray: the press already counted.
    drop = eventType == 3;
    return Stroke::kPressAndRelease;
}

KeyDecoder::Parsed KeyDecoder::CsiKey(const Params& p, std::uint8_t final, int length) {
    const Parsed drop{Status::kDrop, length, {}};
    if (p.marker == '?') {
        if (final == 'u') {  // the kitty protocol's flags in force
            kittyFlags_ = static_cast<int>(p.value[0][0] & 0xFF);
            ++kittyReplies_;
        } else if (final == 'c') {  // primary device attributes
            ++deviceAttributeReplies_;
        } else if (final == 'y' && p.intermediate == '$' && p.value[0][0] == 2026) {
            // The state of the synchronized-output mode: "CSI ? 2026 ; state $ y".
            synchronizedOutputMode_ = static_cast<int>(p.value[1][0] & 0xFF);
            ++synchronizedOutputReplies_;
        }
        return drop;
    }
    if (p.marker != 0 || p.intermediate != 0) {
        return drop;  // mouse reports, other answers
    }
    if (final == 'u') {
        return TextKey(p, length);
    }
    std::uint32_t first = p.value[0][0];
    if (final == '~' && first == 27 && p.count >= 3) {  // xterm's modifyOtherKeys
        Params text;
        text.value[0][0] = p.value[2][0];
        text.value[1][0] = p.value[1][0];
        text.count = 2;
        return TextKey(text, length);
    }
    std::uint32_t state = ModifierState(p.count >= 2 ? p.value[1][0] : 1);
    bool dropIt = false;
    Stroke stroke = StrokeOf(static_cast<int>(p.value[1][1]), dropIt);
    if (dropIt) {
        return drop;
    }
    auto special = [&](const Special& key, std::uint32_t extra = 0) {
        return Parsed{Status::kKey, length, Key{SpecialEvent(key, state | extra), stroke}};
    };
    // F3 with modifiers ends in "R"; "row;column R" is a cursor report, which is never asked.
    if (final == 'R' && first > 1) {
        return drop;
    }
    Special named;
    if (FinalLetterKey(final, named)) {
        return special(named);
    }
    if (RxvtCursorKey(final, named)) {  // rxvt: Shift with the cursor keys
        return special(named, kShift);
    }
    std::uint32_t rxvtState = 0;
    switch (final) {
        case 'G':
            return special(kKeypadBegin);
        case 'Z':  // Shift+Tab
            return Parsed{Status::kKey, length,
                          Key{CharacterEvent(kVkTab, kScanTab, 9, state | kShift), stroke}};
        case '$':
            rxvtState = kShift;
            break;
        case '^':
            rxvtState = kLeftCtrl;
            break;
        case '@':
            rxvtState = kLeftCtrl | kShift;
            break;
        case '~':
            break;
        default:
            return drop;
    }
    Special key;
    std::uint32_t extra = rxvtState;
    switch (first) {
        case 1:
        case 7:
            key = kHome;
            break;
        case 2:
            key = kInsert;
            break;
        case 3:
            key = kDelete;
            break;
        case 4:
        case 8:
            key = kEnd;
            break;
        case 5:
            key = kPageUp;
            break;
        case 6:
            key = kPageDown;
            break;
        case 11:
        case 12:
        case 13:
        case 14:
        case 15:
            key = FunctionKey(static_cast<int>(first) - 10);
            break;
        case 17:
        case 18:
        case 19:
        case 20:
        case 21:
            key = FunctionKey(static_cast<int>(first) - 11);
            break;
        case 23:
        case 24:
            key = FunctionKey(static_cast<int>(first) - 12);
            break;
        case 25:  // the Linux console's Shift+F3 .. Shift+F10
        case 26:
            key = FunctionKey(static_cast<int>(first) - 22);
            extra |= kShift;
            break;
        case 28:
        case 29:
            key = FunctionKey(static_cast<int>(first) - 23);
            extra |= kShift;
            break;
        case 31:
        case 32:
        case 33:
        case 34:
            key = FunctionKey(static_cast<int>(first) - 24);
            extra |= kShift;
            break;
        case 57427:  // kitty: keypad 5 without Num Lock
            key = kKeypadBegin;
            break;
        default:
            return drop;
    }
    return special(key, extra);
}

KeyDecoder::Parsed KeyDecoder::TextKey(const Params& p, int length) const {
    const Parsed drop{Status::kDrop, length, {}};
    std::uint32_t code = p.value[0][0];
    std::uint32_t shifted = p.value[0][1];
    std::uint32_t base = p.value[0][2];
    std::uint32_t state = ModifierState(p.count >= 2 ? p.value[1][0] : 1);
    std::uint32_t text = p.count >= 3 ? p.value[2][0] : 0;
    bool dropIt = false;
    Stroke stroke = StrokeOf(static_cast<int>(p.value[1][1]), dropIt);
    if (dropIt) {
        return drop;
    }
    if (code == 0) {
        return drop;
    }
    bool alt = (state & kAltFlags) != 0;
    bool ctrl = (state & kLeftCtrl) != 0;
    bool shift = (state & kShift) != 0;
    auto result = [&](std::uint16_t virtualKey, std::uint16_t scanCode, std::uint8_t character,
                      bool enhanced = false) {
        KeyEvent event =
            CharacterEvent(virtualKey, scanCode, character, state | (enhanced ? kEnhancedKey : 0u));
        return Parsed{Status::kKey, length, Key{event, stroke}};
    };
    auto special = [&](const Special& key) {
        return Parsed{Status::kKey, length, Key{SpecialEvent(key, state), stroke}};
    };

    switch (code) {
        case 27:
            return result(kVkEscape, kScanEscape, kEsc);
        case 13:
            return result(kVkReturn, kScanEnter, ctrl ? 10 : 13);
        case 9:
            return result(kVkTab, kScanTab, 9);
        case 8:
        case 127:
            return result(kVkBack, kScanBackspace, ctrl ? 127 : 8);
        case 57358:
            return result(kVkCapital, 58, 0);
        case 57359:
            return result(kVkScroll, 70, 0);
        case 57360:
            return result(kVkNumLock, 69, 0, true);
        case 57409:
            return result(kVkDecimal, kScanDelete, '.');
        case 57410:
            return result(kVkDivide, 53, '/', true);
        case 57411:
            return result(kVkMultiply, 55, '*');
        case 57412:
            return result(kVkSubtract, kScanKeypadMinus, '-');
        case 57413:
            return result(kVkAdd, kScanKeypadPlus, '+');
        case 57414:
            return result(kVkReturn, kScanEnter, 13, true);
        case 57415:
            return result(187, 13, '=');
        case 57416:
            return result(108, kScanDelete, ',');
        case 57417:
            return special({kVkLeft, kScanLeft, false});
        case 57418:
            return special({kVkRight, kScanRight, false});
        case 57419:
            return special({kVkUp, kScanUp, false});
        case 57420:
            return special({kVkDown, kScanDown, false});
        case 57421:
            return special({kVkPrior, kScanPageUp, false});
        case 57422:
            return special({kVkNext, kScanPageDown, false});
        case 57423:
            return special({kVkHome, kScanHome, false});
        case 57424:
            return special({kVkEnd, kScanEnd, false});
        case 57425:
            return special({kVkInsert, kScanInsert, false});
        case 57426:
            return special({kVkDelete, kScanDelete, false});
        case 57427:
            return special(kKeypadBegin);
        case 57441:  // the modifier keys themselves
            return result(kVkShift, 42, 0);
        case 57442:
            return result(kVkControl, 29, 0);
        case 57443:
            return result(kVkMenu, 56, 0);
        case 57447:
            return result(kVkShift, 54, 0);
        case 57448:
            return result(kVkControl, 29, 0, true);
        case 57449:
            return result(kVkMenu, 56, 0, true);
        default:
            break;
    }
    if (code >= 57399 && code <= 57408) {
        // Keypad digits. With Alt held they type no character: they build an Alt code.
        int digit = static_cast<int>(code - 57399);
        std::uint8_t character = alt || ctrl ? 0 : static_cast<std::uint8_t>('0' + digit);
        return result(static_cast<std::uint16_t>(kVkNumpad0 + digit), kKeypadScan[digit],
                      character);
    }
    if (code >= 57344 && code <= 63743) {
        return drop;  // other functional keys (F13 and up, media keys, Super, ...)
    }

    std::uint32_t typed = code;
    if (text != 0) {
        typed = text;
    } else if (shift && shifted != 0) {
        typed = shifted;
    } else if (shift) {
        typed = UsShifted(code);
    }
    if (text == 0 && (state & kCapsLock) != 0 && typed >= 'a' && typed <= 'z') {
        typed = typed - 'a' + 'A';
    }
    std::uint32_t physical = base != 0 ? base : code;
    if (physical >= 'A' && physical <= 'Z') {
        physical = physical - 'A' + 'a';
    }
    std::uint16_t virtualKey = 0;
    std::uint16_t scanCode = 0;
    if (std::optional<PcKey> pc;
        physical < 128 && (pc = PcKeyForCharacter(static_cast<std::uint8_t>(physical)))) {
        virtualKey = pc->virtualKey;
        scanCode = pc->scanCode;
    }
    std::uint8_t character = 0;
    if (ctrl) {
        character = CtrlCharacter(physical);
    } else if (typed < 128) {
        character = static_cast<std::uint8_t>(typed);
    } else if (std::optional<std::uint8_t> byte = Cp437FromCodePoint(typed)) {
        character = *byte;
    } else {
        return drop;
    }
    if (virtualKey == 0 && character == 0) {
        // Ctrl with a character no PC key types: the console would hand out a stray 0.
        return drop;
    }
    return result(virtualKey, scanCode, character);
}

void KeyDecoder::Emit(const Key& key) {
    KeyEvent event = key.event;
    if (key.stroke == Stroke::kPressAndRelease) {
        if (kQueueCapacity - count_ < 2) {
            return;
        }
        // Alt with a keypad digit stays what it is, although no release of Alt will come
        // to finish an Alt code: the console takes such a press back, as on the PC.
        event.keyDown = true;
        Push(event);
        event.keyDown = false;
        Push(event);
        return;
    }
    if (count_ < kQueueCapacity) {
        event.keyDown = key.stroke != Stroke::kRelease;
        Push(event);
    }
}

void KeyDecoder::Push(const KeyEvent& event) {
    InputEvent& slot = queue_[(head_ + count_) % kQueueCapacity];
    slot.kind = InputEvent::Kind::kKey;
    slot.key = event;
    ++count_;
}

}  // namespace dungeon
