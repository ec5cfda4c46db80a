#include "platform/vt/vt_key_tables.h"

#include <iterator>
#include <string_view>

#include "console/cp437.h"
#include "console/pc_keyboard.h"

namespace dungeon {
namespace {

// Control characters a terminal sends for keys of their own.
enum ControlCharacter : std::uint8_t {
    kBackspaceCharacter = 8,
    kTabCharacter = 9,
    kLineFeedCharacter = 10,
    kReturnCharacter = 13,
    kEscapeCharacter = 27,
    kDeleteCharacter = 127,  // what most terminals send for Backspace
};

// xterm's modifier bits, after the 1 that its modifier parameter adds (as in the kitty
// protocol), and the PC control key state of each. Alt counts as the left one: terminals
// do not tell the two apart.
enum ModifierBit : std::uint32_t {
    kModifierShift = 1,
    kModifierAlt = 2,
    kModifierCtrl = 4,
    kModifierCapsLock = 64,
    kModifierNumLock = 128,
};
constexpr struct {
    ModifierBit bit;
    ControlKeyState state;
} kModifierStates[] = {
    {kModifierShift, kShift},       {kModifierAlt, kLeftAlt},     {kModifierCtrl, kLeftCtrl},
    {kModifierCapsLock, kCapsLock}, {kModifierNumLock, kNumLock},
};

// The kitty protocol's numbers of keys that type no character (or type one on the keypad).
enum KittyKey : std::uint32_t {
    kKittyFirstFunctional = 57344,  // its numbers lie in the Private Use Area
    kKittyCapsLock = 57358,
    kKittyScrollLock = 57359,
    kKittyNumLock = 57360,
    kKittyKeypad0 = 57399,  // keypad 0..9, then the other keypad keys in kKeypad's order
    kKittyKeypad9 = 57408,
    kKittyKeypadSeparator = 57416,
    kKittyKeypadLeft = 57417,
    kKittyKeypadRight = 57418,
    kKittyKeypadUp = 57419,
    kKittyKeypadDown = 57420,
    kKittyKeypadPageUp = 57421,
    kKittyKeypadPageDown = 57422,
    kKittyKeypadHome = 57423,
    kKittyKeypadEnd = 57424,
    kKittyKeypadInsert = 57425,
    kKittyKeypadDelete = 57426,
    kKittyKeypadBegin = 57427,  // keypad 5 without Num Lock
    kKittyLeftShift = 57441,
    kKittyLeftControl = 57442,
    kKittyLeftAlt = 57443,
    kKittyRightShift = 57447,
    kKittyRightControl = 57448,
    kKittyRightAlt = 57449,
    kKittyLastFunctional = 63743,
};
constexpr CodeRange kKittyFunctionalKeys{kKittyFirstFunctional, kKittyLastFunctional};
constexpr CodeRange kKittyKeypadKeys{kKittyKeypad0, kKittyKeypadSeparator};
// modifyOtherKeys sends its keys as "CSI 27 ; modifiers ; code ~".
constexpr std::uint32_t kModifyOtherKeysNumber = 27;

constexpr CodeRange kLowerLetters{'a', 'z'};
constexpr CodeRange kUpperLetters{'A', 'Z'};
constexpr CodeRange kRxvtCursorFinals{'a', 'd'};  // rxvt's cursor keys with a modifier
constexpr CodeRange kLinuxFunctionFinals{'A', 'E'};

struct PcKeyRecord {
    std::uint16_t virtualKey = 0;
    std::uint16_t scanCode = 0;
    std::uint8_t character = 0;
    bool enhanced = false;  // a key of the separate cursor and editing block
};

constexpr PcKeyRecord kUpKey{kVkUp, kScanUp, 0, true};
constexpr PcKeyRecord kDownKey{kVkDown, kScanDown, 0, true};
constexpr PcKeyRecord kRightKey{kVkRight, kScanRight, 0, true};
constexpr PcKeyRecord kLeftKey{kVkLeft, kScanLeft, 0, true};
constexpr PcKeyRecord kHomeKey{kVkHome, kScanHome, 0, true};
constexpr PcKeyRecord kEndKey{kVkEnd, kScanEnd, 0, true};
constexpr PcKeyRecord kInsertKey{kVkInsert, kScanInsert, 0, true};
constexpr PcKeyRecord kDeleteKey{kVkDelete, kScanDelete, 0, true};
constexpr PcKeyRecord kPageUpKey{kVkPrior, kScanPageUp, 0, true};
constexpr PcKeyRecord kPageDownKey{kVkNext, kScanPageDown, 0, true};
constexpr PcKeyRecord kKeypadBeginKey{kVkClear, kScanKeypad5};

// F1..F12.
constexpr PcKeyRecord FunctionKey(int number) {
    int scanCode = number <= 10 ? kScanF1 + number - 1 : (number == 11 ? kScanF11 : kScanF12);
    return {static_cast<std::uint16_t>(kVkF1 + number - 1), static_cast<std::uint16_t>(scanCode)};
}

// The same key on the numeric keypad (with Num Lock off), which is no enhanced key.
constexpr PcKeyRecord OnKeypad(PcKeyRecord key) {
    key.enhanced = false;
    return key;
}

// The keys of the numeric keypad that type characters, in the order of the kitty
// protocol's numbers, and the finals of the same keys in the SS3 application keypad.
constexpr PcKeyRecord kKeypad[] = {
    {kVkNumpad0, kScanInsert, '0'},          {kVkNumpad0 + 1, kScanEnd, '1'},
    {kVkNumpad0 + 2, kScanDown, '2'},        {kVkNumpad0 + 3, kScanPageDown, '3'},
    {kVkNumpad0 + 4, kScanLeft, '4'},        {kVkNumpad0 + 5, kScanKeypad5, '5'},
    {kVkNumpad0 + 6, kScanRight, '6'},       {kVkNumpad0 + 7, kScanHome, '7'},
    {kVkNumpad0 + 8, kScanUp, '8'},          {kVkNumpad0 + 9, kScanPageUp, '9'},
    {kVkDecimal, kScanDelete, '.'},          {kVkDivide, kScanKeypadDivide, '/', true},
    {kVkMultiply, kScanKeypadMultiply, '*'}, {kVkSubtract, kScanKeypadMinus, '-'},
    {kVkAdd, kScanKeypadPlus, '+'},          {kVkReturn, kScanEnter, kReturnCharacter, true},
    {kVkOemPlus, kScanEquals, '='},          {kVkSeparator, kScanDelete, ','},
};
constexpr std::string_view kSs3KeypadFinals = "pqrstuvwxynojmkMXl";
static_assert(std::size(kKeypad) == kSs3KeypadFinals.size());
static_assert(std::size(kKeypad) == kKittyKeypadSeparator - kKittyKeypad0 + 1);

// A key named by a final byte or a number; `state` is part of the key.
struct KeyEntry {
    std::uint32_t code;
    PcKeyRecord key;
    std::uint32_t state = 0;
};

// The keys that xterm names by a final letter alone, in its SS3 and CSI forms alike.
constexpr KeyEntry kLetterKeys[] = {
    {'A', kUpKey},         {'B', kDownKey},       {'C', kRightKey},       {'D', kLeftKey},
    {'H', kHomeKey},       {'F', kEndKey},        {'E', kKeypadBeginKey}, {'P', FunctionKey(1)},
    {'Q', FunctionKey(2)}, {'R', FunctionKey(3)}, {'S', FunctionKey(4)},
};
// The Linux console's keypad 5, and Shift+Tab.
constexpr KeyEntry kCsiLetterKeys[] = {
    {'G', kKeypadBeginKey},
    {'Z', {kVkTab, kScanTab, kTabCharacter}, kShift},
};

// The keys that VT220-style sequences number, "CSI 3 ~".
constexpr KeyEntry kNumberedKeys[] = {
    {1, kHomeKey},  // the Linux console's and screen's
    {2, kInsertKey},
    {3, kDeleteKey},
    {4, kEndKey},
    {5, kPageUpKey},
    {6, kPageDownKey},
    {7, kHomeKey},  // rxvt's
    {8, kEndKey},
    {11, FunctionKey(1)},
    {12, FunctionKey(2)},
    {13, FunctionKey(3)},
    {14, FunctionKey(4)},
    {15, FunctionKey(5)},
    {17, FunctionKey(6)},
    {18, FunctionKey(7)},
    {19, FunctionKey(8)},
    {20, FunctionKey(9)},
    {21, FunctionKey(10)},
    {23, FunctionKey(11)},
    {24, FunctionKey(12)},
    // The Linux console's Shift+F3 .. Shift+F10.
    {25, FunctionKey(3), kShift},
    {26, FunctionKey(4), kShift},
    {28, FunctionKey(5), kShift},
    {29, FunctionKey(6), kShift},
    {31, FunctionKey(7), kShift},
    {32, FunctionKey(8), kShift},
    {33, FunctionKey(9), kShift},
    {34, FunctionKey(10), kShift},
    {kKittyKeypadBegin, kKeypadBeginKey},
};
// rxvt puts the modifiers of a numbered key in its final byte instead of "~".
constexpr struct {
    std::uint32_t code;
    std::uint32_t state;
} kNumberedFinals[] = {{'~', 0}, {'$', kShift}, {'^', kLeftCtrl}, {'@', kLeftCtrl | kShift}};

constexpr KeyEntry kKittyNamedKeys[] = {
    {kKittyCapsLock, {kVkCapital, kScanCapsLock}},
    {kKittyScrollLock, {kVkScroll, kScanScrollLock}},
    {kKittyNumLock, {kVkNumLock, kScanNumLock, 0, true}},
    {kKittyKeypadLeft, OnKeypad(kLeftKey)},
    {kKittyKeypadRight, OnKeypad(kRightKey)},
    {kKittyKeypadUp, OnKeypad(kUpKey)},
    {kKittyKeypadDown, OnKeypad(kDownKey)},
    {kKittyKeypadPageUp, OnKeypad(kPageUpKey)},
    {kKittyKeypadPageDown, OnKeypad(kPageDownKey)},
    {kKittyKeypadHome, OnKeypad(kHomeKey)},
    {kKittyKeypadEnd, OnKeypad(kEndKey)},
    {kKittyKeypadInsert, OnKeypad(kInsertKey)},
    {kKittyKeypadDelete, OnKeypad(kDeleteKey)},
    {kKittyKeypadBegin, kKeypadBeginKey},
    // The modifier keys themselves.
    {kKittyLeftShift, {kVkShift, kScanLeftShift}},
    {kKittyLeftControl, {kVkControl, kScanControl}},
    {kKittyLeftAlt, {kVkMenu, kScanAlt}},
    {kKittyRightShift, {kVkShift, kScanRightShift}},
    {kKittyRightControl, {kVkControl, kScanControl, 0, true}},
    {kKittyRightAlt, {kVkMenu, kScanAlt, 0, true}},
};
// The keys the kitty protocol sends as their C0 character, and what they type with Ctrl.
constexpr struct {
    std::uint32_t code;
    std::uint8_t withCtrl;
} kKittyControlKeys[] = {
    {kEscapeCharacter, kEscapeCharacter}, {kReturnCharacter, kLineFeedCharacter},
    {kTabCharacter, kTabCharacter},       {kBackspaceCharacter, kDeleteCharacter},
    {kDeleteCharacter, kDeleteCharacter},
};
// The keys besides the letters that type a control character with Ctrl, from Escape on.
constexpr std::string_view kCtrlKeys = "[\\]6-";

// The fields of a kitty key event; modifyOtherKeys sends only the code and modifiers.
struct KittyKeyFields {
    std::uint32_t code = 0;     // the character of the key without modifiers, or a KittyKey
    std::uint32_t shifted = 0;  // the character with Shift, if sent
    std::uint32_t base = 0;     // the key of the US layout in the same place, if sent
    std::uint32_t modifiers = 1;
    std::uint32_t text = 0;  // the character the key typed, if sent
};

template <typename Entry, std::size_t N>
std::optional<Entry> Find(const Entry (&table)[N], std::uint32_t code) {
    for (const Entry& entry : table) {
        if (entry.code == code) {
            return entry;
        }
    }
    return std::nullopt;
}

KeyEvent Event(const PcKeyRecord& key, std::uint32_t state) {
    return KeyEvent{true, key.virtualKey, key.scanCode, key.character,
                    state | (key.enhanced ? kEnhancedKey : 0u)};
}

std::uint32_t ModifierState(std::uint32_t parameter) {
    std::uint32_t bits = parameter == 0 ? 0 : parameter - 1;
    std::uint32_t state = 0;
    for (const auto& modifier : kModifierStates) {
        state |= (bits & modifier.bit) != 0 ? modifier.state : 0u;
    }
    return state;
}

// The key of a single byte below 128, as a PC keyboard types it.
KeyEvent AsciiKeyEvent(std::uint32_t byte) {
    return PcKeyPress(
        static_cast<std::uint8_t>(byte == kDeleteCharacter ? +kBackspaceCharacter : byte));
}

// The key of a typed character: ASCII, or one with a code page 437 glyph, which no US key
// types. Nothing for a character the PC cannot show.
std::optional<KeyEvent> CharacterKeyEvent(std::uint32_t codePoint) {
    if (codePoint < kAsciiEnd) {
        return AsciiKeyEvent(codePoint);
    }
    if (std::optional<std::uint8_t> byte = Cp437FromCodePoint(codePoint)) {
        return KeyEvent{true, 0, 0, *byte, 0};
    }
    return std::nullopt;
}

// A key of kLetterKeys, or rxvt's cursor key with the modifier `rxvtState`.
std::optional<KeyEvent> LetterKey(std::uint32_t final, std::uint32_t state,
                                  std::uint32_t rxvtState) {
    if (kRxvtCursorFinals.Has(final)) {
        final = final - 'a' + 'A';
        state |= rxvtState;
    }
    std::optional<KeyEntry> entry = Find(kLetterKeys, final);
    return entry ? std::optional(Event(entry->key, state)) : std::nullopt;
}

std::optional<KeyEvent> LegacyCsiKey(const CsiParameters& p, std::uint8_t final) {
    std::uint32_t number = p.value[0][0];
    std::uint32_t state = ModifierState(p.Field(1, 1));
    // F3 with modifiers ends in "R"; "row;column R" is a cursor report, which is never asked.
    if (final == 'R' && number > 1) {
        return std::nullopt;
    }
    if (std::optional<KeyEvent> key = LetterKey(final, state, kShift)) {
        return key;
    }
    if (std::optional<KeyEntry> entry = Find(kCsiLetterKeys, final)) {
        return Event(entry->key, state | entry->state);
    }
    auto finalState = Find(kNumberedFinals, final);
    std::optional<KeyEntry> entry = Find(kNumberedKeys, number);
    if (!finalState || !entry) {
        return std::nullopt;
    }
    return Event(entry->key, state | finalState->state | entry->state);
}

std::optional<KeyEvent> Ss3Key(std::uint32_t modifiers, std::uint8_t final) {
    if (std::optional<KeyEvent> key = LetterKey(final, ModifierState(modifiers), kLeftCtrl)) {
        return key;
    }
    // The keypad sends no modifiers: its keys type what they always type.
    std::size_t at = kSs3KeypadFinals.find(static_cast<char>(final));
    return at == std::string_view::npos ? std::nullopt : std::optional(Event(kKeypad[at], 0));
}

// The character of the same US-layout key with Shift held.
std::uint32_t UsShifted(std::uint32_t c) {
    std::optional<PcKey> plain;
    if (c < kAsciiEnd) {
        plain = PcKeyForCharacter(static_cast<std::uint8_t>(c));
    }
    if (!plain || plain->shift || plain->ctrl) {
        return c;
    }
    for (std::uint32_t other = ' '; other < kDeleteCharacter; ++other) {
        std::optional<PcKey> key = PcKeyForCharacter(static_cast<std::uint8_t>(other));
        if (key && key->shift && key->scanCode == plain->scanCode) {
            return other;
        }
    }
    return c;
}

// The character a key types with Ctrl held on a PC (0 where it types none).
std::uint8_t CtrlCharacter(std::uint32_t key) {
    if (kLowerLetters.Has(key)) {
        return static_cast<std::uint8_t>(key - 'a' + 1);
    }
    std::size_t at = key < kAsciiEnd ? kCtrlKeys.find(static_cast<char>(key)) : kCtrlKeys.npos;
    if (at != kCtrlKeys.npos) {
        return static_cast<std::uint8_t>(kEscapeCharacter + at);
    }
    return key == ' ' ? ' ' : 0;
}

// A key that types text: what it types comes from the fields the terminal sent, the key's
// place from the US layout.
std::optional<KeyEvent> TextKeyEvent(const KittyKeyFields& key, std::uint32_t state) {
    std::uint32_t typed = key.code;
    if (key.text != 0) {
        typed = key.text;
    } else if ((state & kShift) != 0) {
        typed = key.shifted != 0 ? key.shifted : UsShifted(key.code);
    }
    if (key.text == 0 && (state & kCapsLock) != 0 && kLowerLetters.Has(typed)) {
        typed = typed - 'a' + 'A';
    }
    std::uint32_t physical = key.base != 0 ? key.base : key.code;
    if (kUpperLetters.Has(physical)) {
        physical = physical - 'A' + 'a';
    }
    KeyEvent event{true, 0, 0, 0, state};
    if (std::optional<PcKey> pc;
        physical < kAsciiEnd && (pc = PcKeyForCharacter(static_cast<std::uint8_t>(physical)))) {
        event.virtualKey = pc->virtualKey;
        event.scanCode = pc->scanCode;
    }
    if ((state & kLeftCtrl) != 0) {
        event.character = CtrlCharacter(physical);
    } else if (typed < kAsciiEnd) {
        event.character = static_cast<std::uint8_t>(typed);
    } else if (std::optional<std::uint8_t> byte = Cp437FromCodePoint(typed)) {
        event.character = *byte;
    } else {
        return std::nullopt;
    }
    if (event.virtualKey == 0 && event.character == 0) {
        // Ctrl with a character no PC key types: the console would hand out a stray 0.
        return std::nullopt;
    }
    return event;
}

// The PC key of a kitty key event; nothing for keys the PC has not got.
std::optional<KeyEvent> KittyKeyEvent(const KittyKeyFields& key) {
    std::uint32_t state = ModifierState(key.modifiers);
    bool ctrl = (state & kLeftCtrl) != 0;
    if (key.code == 0) {
        return std::nullopt;
    }
    if (auto control = Find(kKittyControlKeys, key.code)) {
        KeyEvent event = AsciiKeyEvent(key.code);
        event.controlKeyState = state;
        event.character = ctrl ? control->withCtrl : event.character;
        return event;
    }
    if (std::optional<KeyEntry> entry = Find(kKittyNamedKeys, key.code)) {
        return Event(entry->key, state);
    }
    if (kKittyKeypadKeys.Has(key.code)) {
        KeyEvent event = Event(kKeypad[key.code - kKittyKeypad0], state);
        if (key.code <= kKittyKeypad9 && (ctrl || (state & kAltFlags) != 0)) {
            event.character = 0;  // with Alt held the digits build an Alt code instead
        }
        return event;
    }
    if (kKittyFunctionalKeys.Has(key.code)) {
        return std::nullopt;  // other functional keys (F13 and up, media keys, Super, ...)
    }
    return TextKeyEvent(key, state);
}

bool IsModifyOtherKeys(const CsiParameters& p, std::uint8_t final) {
    return final == '~' && p.value[0][0] == kModifyOtherKeysNumber && p.count >= 3;
}

std::optional<KeyEvent> CsiKey(const CsiParameters& p, std::uint8_t final) {
    if (IsModifyOtherKeys(p, final)) {
        return KittyKeyEvent({.code = p.value[2][0], .modifiers = p.value[1][0]});
    }
    if (final == 'u') {
        return KittyKeyEvent(
            {p.value[0][0], p.value[0][1], p.value[0][2], p.Field(1, 1), p.Field(2, 0)});
    }
    return LegacyCsiKey(p, final);
}

std::optional<KeyEvent> KeyEventOf(const Token& token) {
    const CsiParameters& p = token.parameters;
    switch (token.kind) {
        case Token::Kind::kInvalid:
            return std::nullopt;
        case Token::Kind::kEscape:
            return AsciiKeyEvent(kEscapeCharacter);
        case Token::Kind::kCharacter:
            return CharacterKeyEvent(token.codePoint);
        case Token::Kind::kSs3:
            return Ss3Key(token.modifiers, token.final);
        case Token::Kind::kLinuxFunction:  // F1..F5
            if (!kLinuxFunctionFinals.Has(token.final)) {
                return std::nullopt;
            }
            return Event(FunctionKey(token.final - 'A' + 1), 0);
        case Token::Kind::kCsi:  // mouse reports and answers have a marker or intermediate
            return p.marker != 0 || p.intermediate != 0 ? std::nullopt : CsiKey(p, token.final);
    }
    return std::nullopt;
}

}  // namespace

std::optional<TokenKey> KeyOf(const Token& token) {
    std::optional<KeyEvent> key = KeyEventOf(token);
    if (!key) {
        if (token.kind == Token::Kind::kCharacter && token.alt) {
            // Alt with a character the PC cannot show: that alone would be dropped, so only
            // the Escape before it counts.
            return TokenKey{AsciiKeyEvent(kEscapeCharacter)};
        }
        return std::nullopt;
    }
    if (token.alt) {
        key->controlKeyState |= kLeftAlt;
    }
    // The kitty protocol sends the event type after the modifiers, in its own form and in
    // the legacy ones alike; modifyOtherKeys has none.
    bool typed =
        token.kind == Token::Kind::kCsi && !IsModifyOtherKeys(token.parameters, token.final);
    return TokenKey{*key, typed ? token.parameters.value[1][1] : 0};
}

}  // namespace dungeon
