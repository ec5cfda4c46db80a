#include "platform/vt/vt_key_tables.h"

#include <algorithm>
#include <iterator>
#include <string_view>

#include "base/code_range.h"
#include "console/cp437.h"
#include "console/pc_keyboard.h"

namespace dungeon {
namespace {

// Control characters a terminal sends for keys of their own; most send Delete for Backspace.
constexpr std::uint8_t kBackspaceCharacter = 8, kTabCharacter = 9, kLineFeedCharacter = 10,
                       kReturnCharacter = 13, kEscapeCharacter = 27, kDeleteCharacter = 127;

// xterm's modifier bits, after the 1 that its (and the kitty protocol's) parameter adds.
constexpr std::uint32_t kModifierShift = 1, kModifierAlt = 2, kModifierCtrl = 4,
                        kModifierCapsLock = 64, kModifierNumLock = 128;

// The kitty protocol's numbers of keys that type no character (or type one on the keypad),
// in the Private Use Area; the keypad keys in kKeypad's order.
constexpr std::uint32_t kKittyFirstFunctional = 57344, kKittyLastFunctional = 63743,
                        kKittyCapsLock = 57358, kKittyScrollLock = 57359, kKittyNumLock = 57360,
                        kKittyKeypad0 = 57399, kKittyKeypad9 = 57408, kKittyKeypadSeparator = 57416,
                        kKittyKeypadLeft = 57417, kKittyKeypadRight = 57418, kKittyKeypadUp = 57419,
                        kKittyKeypadDown = 57420, kKittyKeypadPageUp = 57421,
                        kKittyKeypadPageDown = 57422, kKittyKeypadHome = 57423,
                        kKittyKeypadEnd = 57424, kKittyKeypadInsert = 57425,
                        kKittyKeypadDelete = 57426, kKittyKeypadBegin = 57427,
                        kKittyLeftShift = 57441, kKittyLeftControl = 57442, kKittyLeftAlt = 57443,
                        kKittyRightShift = 57447, kKittyRightControl = 57448,
                        kKittyRightAlt = 57449;
constexpr std::uint32_t kKittyRelease = 3;            // the event type of a release (a repeat is 2)
constexpr std::uint32_t kModifyOtherKeysNumber = 27;  // its keys: "CSI 27 ; modifiers ; code ~"

constexpr CodeRange kKittyFunctionalKeys{kKittyFirstFunctional, kKittyLastFunctional},
    kKittyKeypadKeys{kKittyKeypad0, kKittyKeypadSeparator}, kLowerLetters{'a', 'z'},
    kUpperLetters{'A', 'Z'}, kLinuxFunctionFinals{'A', 'E'};

constexpr KeyEvent kTabKey = {true, kVkTab, kScanTab, kTabCharacter},
                   kKeypadBeginKey = pc_key::kKeypadBegin;

// The keys of the numeric keypad that type characters, in the order of the kitty
// protocol's numbers, and the finals of the same keys in the SS3 application keypad.
// clang-format off
constexpr KeyEvent kKeypad[] = {
    {true, kVkNumpad0, kScanInsert, '0'}, {true, kVkNumpad0 + 1, kScanEnd, '1'},
    {true, kVkNumpad0 + 2, kScanDown, '2'}, {true, kVkNumpad0 + 3, kScanPageDown, '3'},
    {true, kVkNumpad0 + 4, kScanLeft, '4'}, {true, kVkNumpad0 + 5, kScanKeypad5, '5'},
    {true, kVkNumpad0 + 6, kScanRight, '6'}, {true, kVkNumpad0 + 7, kScanHome, '7'},
    {true, kVkNumpad0 + 8, kScanUp, '8'}, {true, kVkNumpad0 + 9, kScanPageUp, '9'},
    {true, kVkDecimal, kScanDelete, '.'}, {true, kVkDivide, kScanKeypadDivide, '/', kEnhancedKey},
    {true, kVkMultiply, kScanKeypadMultiply, '*'}, {true, kVkSubtract, kScanKeypadMinus, '-'},
    {true, kVkAdd, kScanKeypadPlus, '+'}, {true, kVkReturn, kScanEnter, '\r', kEnhancedKey},
    {true, kVkOemPlus, kScanEquals, '='}, {true, kVkSeparator, kScanDelete, ','}};
// clang-format on
constexpr std::string_view kSs3KeypadFinals = "pqrstuvwxynojmkMXl";
static_assert(std::size(kKeypad) == kSs3KeypadFinals.size());
static_assert(std::size(kKeypad) == kKittyKeypadSeparator - kKittyKeypad0 + 1);

// A key named by a final byte or a number; `state` is part of the key.
struct KeyEntry {
    std::uint32_t code;
    KeyEvent key;
    std::uint32_t state = 0;
};

// The keys that xterm names by a final letter alone, in its SS3 and CSI forms alike.
constexpr KeyEntry kLetterKeys[] = {
    {'A', pc_key::kUp},         {'B', pc_key::kDown},       {'C', pc_key::kRight},
    {'D', pc_key::kLeft},       {'H', pc_key::kHome},       {'F', pc_key::kEnd},
    {'E', kKeypadBeginKey},     {'P', pc_key::Function(1)}, {'Q', pc_key::Function(2)},
    {'R', pc_key::Function(3)}, {'S', pc_key::Function(4)}};
// rxvt's cursor keys with Shift (CSI) or Ctrl (SS3).
constexpr KeyEntry kRxvtCursorKeys[] = {
    {'a', pc_key::kUp}, {'b', pc_key::kDown}, {'c', pc_key::kRight}, {'d', pc_key::kLeft}};
// The Linux console's keypad 5, and Shift+Tab.
constexpr KeyEntry kCsiLetterKeys[] = {{'G', kKeypadBeginKey}, {'Z', kTabKey, kShift}};

// The keys that VT220-style sequences number, "CSI 3 ~" (1 and 4 as the Linux console and
// screen send Home and End, 7 and 8 as rxvt does), and the Linux console's Shift+F3..F10.
constexpr KeyEntry kNumberedKeys[] = {
    {1, pc_key::kHome},         {2, pc_key::kInsert},       {3, pc_key::kDelete},
    {4, pc_key::kEnd},          {5, pc_key::kPageUp},       {6, pc_key::kPageDown},
    {7, pc_key::kHome},         {8, pc_key::kEnd},          {11, pc_key::Function(1)},
    {12, pc_key::Function(2)},  {13, pc_key::Function(3)},  {14, pc_key::Function(4)},
    {15, pc_key::Function(5)},  {17, pc_key::Function(6)},  {18, pc_key::Function(7)},
    {19, pc_key::Function(8)},  {20, pc_key::Function(9)},  {21, pc_key::Function(10)},
    {23, pc_key::Function(11)}, {24, pc_key::Function(12)}, {kKittyKeypadBegin, kKeypadBeginKey}};
constexpr KeyEntry kLinuxShiftedFunctionKeys[] = {
    {25, pc_key::Function(3)}, {26, pc_key::Function(4)}, {28, pc_key::Function(5)},
    {29, pc_key::Function(6)}, {31, pc_key::Function(7)}, {32, pc_key::Function(8)},
    {33, pc_key::Function(9)}, {34, pc_key::Function(10)}};
// rxvt puts the modifiers of a numbered key in its final byte instead of "~".
constexpr std::string_view kNumberedFinals = "~$^@";
constexpr std::uint32_t kNumberedFinalStates[] = {0, kShift, kLeftCtrl, kLeftCtrl | kShift};

constexpr KeyEntry kKittyNamedKeys[] = {
    {kKittyCapsLock, pc_key::kCapsLock},         {kKittyScrollLock, pc_key::kScrollLock},
    {kKittyNumLock, pc_key::kNumLock},           {kKittyKeypadBegin, kKeypadBeginKey},
    {kKittyLeftShift, pc_key::kLeftShift},       {kKittyLeftControl, pc_key::kLeftControl},
    {kKittyLeftAlt, pc_key::kLeftAlt},           {kKittyRightShift, pc_key::kRightShift},
    {kKittyRightControl, pc_key::kRightControl}, {kKittyRightAlt, pc_key::kRightAlt}};
// The cursor and editing keys on the numeric keypad (with Num Lock off): no enhanced keys.
constexpr KeyEntry kKittyKeypadEditingKeys[] = {
    {kKittyKeypadLeft, pc_key::kLeft},     {kKittyKeypadRight, pc_key::kRight},
    {kKittyKeypadUp, pc_key::kUp},         {kKittyKeypadDown, pc_key::kDown},
    {kKittyKeypadPageUp, pc_key::kPageUp}, {kKittyKeypadPageDown, pc_key::kPageDown},
    {kKittyKeypadHome, pc_key::kHome},     {kKittyKeypadEnd, pc_key::kEnd},
    {kKittyKeypadInsert, pc_key::kInsert}, {kKittyKeypadDelete, pc_key::kDelete}};
// The keys the kitty protocol sends as their C0 character, with what they type with Ctrl.
constexpr KeyEntry kKittyControlKeys[] = {
    {kEscapeCharacter, {true, kVkEscape, kScanEscape, kEscapeCharacter}},
    {kReturnCharacter, {true, kVkReturn, kScanEnter, kLineFeedCharacter}},
    {kTabCharacter, kTabKey},
    {kBackspaceCharacter, {true, kVkBack, kScanBackspace, kDeleteCharacter}},
    {kDeleteCharacter, {true, kVkBack, kScanBackspace, kDeleteCharacter}}};

KeyEvent Event(KeyEvent key, std::uint32_t state) {
    key.controlKeyState |= state;
    return key;
}

template <std::size_t N>
std::optional<KeyEvent> Lookup(const KeyEntry (&table)[N], std::uint32_t code,
                               std::uint32_t state) {
    // std::find_if, not std::ranges: the web build's library has no ranges.
    const KeyEntry* entry = std::find_if(std::begin(table), std::end(table),
                                         [code](const KeyEntry& e) { return e.code == code; });
    return entry == std::end(table) ? std::nullopt
                                    : std::optional(Event(entry->key, state | entry->state));
}

// xterm's modifier parameter as PC control key state. Alt counts as the left one:
// terminals do not tell the two apart.
std::uint32_t ModifierState(std::uint32_t parameter) {
    std::uint32_t bits = parameter == 0 ? 0 : parameter - 1;
    auto flag = [bits](std::uint32_t bit, std::uint32_t state) {
        return (bits & bit) != 0 ? state : 0u;
    };
    return flag(kModifierShift, kShift) | flag(kModifierAlt, kLeftAlt) |
           flag(kModifierCtrl, kLeftCtrl) | flag(kModifierCapsLock, kCapsLock) |
           flag(kModifierNumLock, kNumLock);
}

// The key of a PC character on a US keyboard (Delete is the terminals' Backspace).
KeyEvent CharacterKeyEvent(std::uint8_t character) {
    return PcKeyPress(character == kDeleteCharacter ? kBackspaceCharacter : character);
}

std::optional<KeyEvent> LegacyCsiKey(const CsiParameters& p, std::uint8_t final) {
    std::uint32_t number = p.value[0][0];
    std::uint32_t state = ModifierState(p.Field(1, 1));
    // F3 with modifiers ends in "R"; "row;column R" is a cursor report, which is never asked.
    if (final == 'R' && number > 1) {
        return std::nullopt;
    }
    std::optional<KeyEvent> key = Lookup(kLetterKeys, final, state);
    key = key ? key : Lookup(kRxvtCursorKeys, final, state | kShift);
    key = key ? key : Lookup(kCsiLetterKeys, final, state);
    std::size_t at = kNumberedFinals.find(static_cast<char>(final));
    if (key || at == std::string_view::npos) {
        return key;
    }
    state |= kNumberedFinalStates[at];
    key = Lookup(kNumberedKeys, number, state);
    return key ? key : Lookup(kLinuxShiftedFunctionKeys, number, state | kShift);
}

// A key that types text: what it types from the fields sent, its place from the US layout.
std::optional<KeyEvent> TextKeyEvent(const CsiParameters& p, std::uint32_t state) {
    // The key's character unshifted and shifted, its US-layout key, its text; 0 if not sent.
    std::uint32_t code = p.value[0][0], shifted = p.value[0][1], base = p.value[0][2];
    std::uint32_t text = p.Field(2, 0);
    std::uint32_t typed = text != 0 ? text : code;
    if (text == 0 && (state & kShift) != 0) {
        typed = shifted != 0 ? shifted : ShiftedCharacter(code);
    }
    bool caps = text == 0 && (state & kCapsLock) != 0 && kLowerLetters.Has(typed);
    typed = caps ? typed - 'a' + 'A' : typed;
    std::uint32_t physical = base != 0 ? base : code;
    physical = kUpperLetters.Has(physical) ? physical - 'A' + 'a' : physical;
    KeyEvent place =
        physical < kAsciiEnd ? PcKeyPress(static_cast<std::uint8_t>(physical)) : KeyEvent{};
    std::optional<std::uint8_t> character =
        (state & kLeftCtrl) != 0 ? CtrlCharacter(physical) : Cp437FromCharacter(typed);
    // Nothing for a character the PC cannot show, nor for Ctrl with a character no PC key
    // types: the console would hand out a stray 0.
    if (!character || (place.virtualKey == 0 && *character == 0)) {
        return std::nullopt;
    }
    return KeyEvent{true, place.virtualKey, place.scanCode, *character, state};
}

// The PC key of a kitty key event; nothing for keys the PC has not got.
std::optional<KeyEvent> KittyKeyEvent(const CsiParameters& p) {
    std::uint32_t code = p.value[0][0];
    std::uint32_t state = ModifierState(p.Field(1, 1));
    bool ctrl = (state & kLeftCtrl) != 0;
    if (std::optional<KeyEvent> control = Lookup(kKittyControlKeys, code, state)) {
        auto plain = CharacterKeyEvent(static_cast<std::uint8_t>(code)).character;
        control->character = ctrl ? control->character : plain;
        return control;
    }
    if (std::optional<KeyEvent> named = Lookup(kKittyNamedKeys, code, state)) {
        return named;
    }
    if (std::optional<KeyEvent> editing = Lookup(kKittyKeypadEditingKeys, code, state)) {
        editing->controlKeyState = state;  // no enhanced key on the keypad
        return editing;
    }
    if (kKittyKeypadKeys.Has(code)) {
        KeyEvent event = Event(kKeypad[code - kKittyKeypad0], state);
        if (code <= kKittyKeypad9 && (ctrl || (state & kAltFlags) != 0)) {
            event.character = 0;  // with Alt down the digits build an Alt code instead
        }
        return event;
    }
    if (code == 0 || kKittyFunctionalKeys.Has(code)) {
        return std::nullopt;  // other functional keys (F13 and up, media keys, Super, ...)
    }
    return TextKeyEvent(p, state);
}

bool IsModifyOtherKeys(const CsiParameters& p, std::uint8_t final) {
    return final == '~' && p.value[0][0] == kModifyOtherKeysNumber && p.count >= 3;
}

std::optional<KeyEvent> KeyWithoutAlt(const Token& token) {
    const CsiParameters& p = token.parameters;
    switch (token.kind) {
        case Token::Kind::kInvalid:
            return std::nullopt;
        case Token::Kind::kEscape:
            return CharacterKeyEvent(kEscapeCharacter);
        case Token::Kind::kCharacter:
            if (std::optional<std::uint8_t> character = Cp437FromCharacter(token.codePoint)) {
                return CharacterKeyEvent(*character);
            }
            return std::nullopt;
        case Token::Kind::kSs3: {
            std::uint32_t state = ModifierState(token.modifiers);
            std::optional<KeyEvent> key = Lookup(kLetterKeys, token.final, state);
            key = key ? key : Lookup(kRxvtCursorKeys, token.final, state | kLeftCtrl);
            // The keypad sends no modifiers: its keys type what they always type.
            std::size_t at = kSs3KeypadFinals.find(static_cast<char>(token.final));
            return key || at == std::string_view::npos ? key : Event(kKeypad[at], 0);
        }
        case Token::Kind::kLinuxFunction:
            return kLinuxFunctionFinals.Has(token.final)  // F1..F5
                       ? std::optional(Event(pc_key::Function(token.final - 'A' + 1), 0))
                       : std::nullopt;
        case Token::Kind::kCsi:
            break;
    }
    if (p.marker != 0 || p.intermediate != 0) {
        return std::nullopt;  // mouse reports, answers
    }
    if (IsModifyOtherKeys(p, token.final)) {  // its code and modifiers as the kitty form has them
        return KittyKeyEvent({.value = {{p.value[2][0]}, {p.value[1][0]}}, .count = 2});
    }
    if (token.final == 'u') {
        return KittyKeyEvent(p);
    }
    return LegacyCsiKey(p, token.final);
}

}  // namespace

std::optional<KeyEvent> KeyOf(const Token& token) {
    std::optional<KeyEvent> key = KeyWithoutAlt(token);
    if (key && token.alt) {
        key->controlKeyState |= kLeftAlt;
    } else if (!key && token.alt && token.kind == Token::Kind::kCharacter) {
        // Alt with a character the PC cannot show, which is dropped: the Escape still counts.
        return CharacterKeyEvent(kEscapeCharacter);
    }
    return key;
}

bool IsKittyRelease(const Token& token) {
    // The kitty protocol sends the event type after the modifiers, in its own form and in
    // the legacy ones alike; modifyOtherKeys has none.
    return token.kind == Token::Kind::kCsi && !IsModifyOtherKeys(token.parameters, token.final) &&
           token.parameters.value[1][1] == kKittyRelease;
}

}  // namespace dungeon
