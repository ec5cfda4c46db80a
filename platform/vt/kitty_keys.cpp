#include "platform/vt/kitty_keys.h"

#include "console/cp437.h"
#include "console/pc_keyboard.h"
#include "platform/vt/vt_keys.h"

namespace dungeon {
namespace {

// modifyOtherKeys sends its keys as "CSI 27 ; modifiers ; code ~".
constexpr std::uint32_t kModifyOtherKeysNumber = 27;
constexpr std::uint32_t kAscii = 0x80;

// The keys the kitty protocol sends as their C0 character, and what they type with Ctrl.
struct ControlKey {
    std::uint32_t code;
    std::uint16_t virtualKey;
    std::uint16_t scanCode;
    std::uint8_t character;
    std::uint8_t withCtrl;
};

constexpr ControlKey kControlKeys[] = {
    {kEscapeCharacter, kVkEscape, kScanEscape, kEscapeCharacter, kEscapeCharacter},
    {kReturnCharacter, kVkReturn, kScanEnter, kReturnCharacter, kLineFeedCharacter},
    {kTabCharacter, kVkTab, kScanTab, kTabCharacter, kTabCharacter},
    {kBackspaceCharacter, kVkBack, kScanBackspace, kBackspaceCharacter, kDeleteCharacter},
    {kDeleteCharacter, kVkBack, kScanBackspace, kBackspaceCharacter, kDeleteCharacter},
};

struct KittyNamedKey {
    KittyKey code;
    NamedKey key;
};

constexpr KittyNamedKey kNamedKeys[] = {
    {kKittyCapsLock, {kVkCapital, kScanCapsLock, false}},
    {kKittyScrollLock, {kVkScroll, kScanScrollLock, false}},
    {kKittyNumLock, {kVkNumLock, kScanNumLock, true}},
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
    {kKittyLeftShift, {kVkShift, kScanLeftShift, false}},
    {kKittyLeftControl, {kVkControl, kScanControl, false}},
    {kKittyLeftAlt, {kVkMenu, kScanAlt, false}},
    {kKittyRightShift, {kVkShift, kScanRightShift, false}},
    {kKittyRightControl, {kVkControl, kScanControl, true}},
    {kKittyRightAlt, {kVkMenu, kScanAlt, true}},
};

constexpr bool IsLowerLetter(std::uint32_t c) {
    return c >= 'a' && c <= 'z';
}
constexpr bool IsUpperLetter(std::uint32_t c) {
    return c >= 'A' && c <= 'Z';
}

// The character of the same US-layout key with Shift held.
std::uint32_t UsShifted(std::uint32_t c) {
    std::optional<PcKey> plain;
    if (c < kAscii) {
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
    if (IsLowerLetter(key)) {
        return static_cast<std::uint8_t>(key - 'a' + 1);
    }
    switch (key) {
        case '[':
            return kEscapeCharacter;
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

// A key that types text: what it types comes from the fields the terminal sent, the key's
// place from the US layout.
std::optional<KeyEvent> TextKeyEvent(const KittyKeyFields& key, std::uint32_t state) {
    std::uint32_t typed = key.code;
    if (key.text != 0) {
        typed = key.text;
    } else if ((state & kShift) != 0) {
        typed = key.shifted != 0 ? key.shifted : UsShifted(key.code);
    }
    if (key.text == 0 && (state & kCapsLock) != 0 && IsLowerLetter(typed)) {
        typed = typed - 'a' + 'A';
    }
    std::uint32_t physical = key.base != 0 ? key.base : key.code;
    if (IsUpperLetter(physical)) {
        physical = physical - 'A' + 'a';
    }
    KeyEvent event{true, 0, 0, 0, state};
    if (std::optional<PcKey> pc;
        physical < kAscii && (pc = PcKeyForCharacter(static_cast<std::uint8_t>(physical)))) {
        event.virtualKey = pc->virtualKey;
        event.scanCode = pc->scanCode;
    }
    if ((state & kLeftCtrl) != 0) {
        event.character = CtrlCharacter(physical);
    } else if (typed < kAscii) {
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

}  // namespace

std::optional<KittyKeyFields> KittyFields(const CsiParameters& p, std::uint8_t final) {
    KittyKeyFields key;
    if (final == 'u') {
        key.code = p.value[0][0];
        key.shifted = p.value[0][1];
        key.base = p.value[0][2];
        key.modifiers = p.Field(1, 1);
        key.eventType = p.value[1][1];
        key.text = p.Field(2, 0);
        return key;
    }
    if (final == '~' && p.value[0][0] == kModifyOtherKeysNumber && p.count >= 3) {
        key.code = p.value[2][0];
        key.modifiers = p.value[1][0];
        return key;
    }
    return std::nullopt;
}

std::optional<KeyEvent> KittyKeyEvent(const KittyKeyFields& key) {
    if (key.code == 0) {
        return std::nullopt;
    }
    std::uint32_t state = ModifierState(key.modifiers);
    bool ctrl = (state & kLeftCtrl) != 0;
    for (const ControlKey& control : kControlKeys) {
        if (control.code == key.code) {
            return KeyEvent{true, control.virtualKey, control.scanCode,
                            ctrl ? control.withCtrl : control.character, state};
        }
    }
    for (const KittyNamedKey& named : kNamedKeys) {
        if (named.code == key.code) {
            return NamedKeyEvent(named.key, state);
        }
    }
    if (key.code >= kKittyKeypad0 && key.code <= kKittyKeypadSeparator) {
        KeyEvent event = KeypadEvent(static_cast<KeypadKey>(key.code - kKittyKeypad0), state);
        if (key.code <= kKittyKeypad9 && (ctrl || (state & kAltFlags) != 0)) {
            event.character = 0;  // with Alt held the digits build an Alt code instead
        }
        return event;
    }
    if (key.code >= kKittyFirstFunctional && key.code <= kKittyLastFunctional) {
        return std::nullopt;  // other functional keys (F13 and up, media keys, Super, ...)
    }
    return TextKeyEvent(key, state);
}

}  // namespace dungeon
