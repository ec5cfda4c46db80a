#include "platform/vt/vt_keys.h"

#include <iterator>

#include "console/cp437.h"

namespace dungeon {
namespace {

constexpr std::uint32_t kAscii = 0x80;

// xterm's modifier bits, after the 1 that the parameter adds.
enum ModifierBit : std::uint32_t {
    kModifierShift = 1,
    kModifierAlt = 2,
    kModifierCtrl = 4,
    kModifierCapsLock = 64,
    kModifierNumLock = 128,
};

struct KeypadRecord {
    std::uint16_t virtualKey;
    std::uint16_t scanCode;
    std::uint8_t character;
    bool enhanced;
};

// Indexed by KeypadKey.
constexpr KeypadRecord kKeypad[] = {
    {kVkNumpad0, kScanInsert, '0', false},          {kVkNumpad0 + 1, kScanEnd, '1', false},
    {kVkNumpad0 + 2, kScanDown, '2', false},        {kVkNumpad0 + 3, kScanPageDown, '3', false},
    {kVkNumpad0 + 4, kScanLeft, '4', false},        {kVkNumpad0 + 5, kScanKeypad5, '5', false},
    {kVkNumpad0 + 6, kScanRight, '6', false},       {kVkNumpad0 + 7, kScanHome, '7', false},
    {kVkNumpad0 + 8, kScanUp, '8', false},          {kVkNumpad0 + 9, kScanPageUp, '9', false},
    {kVkDecimal, kScanDelete, '.', false},          {kVkDivide, kScanKeypadDivide, '/', true},
    {kVkMultiply, kScanKeypadMultiply, '*', false}, {kVkSubtract, kScanKeypadMinus, '-', false},
    {kVkAdd, kScanKeypadPlus, '+', false},          {kVkReturn, kScanEnter, kReturnCharacter, true},
    {kVkOemPlus, kScanEquals, '=', false},          {kVkSeparator, kScanDelete, ',', false},
};
static_assert(std::size(kKeypad) == static_cast<std::size_t>(KeypadKey::kSeparator) + 1);

}  // namespace

std::uint32_t ModifierState(std::uint32_t parameter) {
    std::uint32_t bits = (parameter == 0 ? 0 : parameter - 1) & 0xFF;
    std::uint32_t state = 0;
    if ((bits & kModifierShift) != 0) {
        state |= kShift;
    }
    if ((bits & kModifierAlt) != 0) {
        state |= kLeftAlt;
    }
    if ((bits & kModifierCtrl) != 0) {
        state |= kLeftCtrl;
    }
    if ((bits & kModifierCapsLock) != 0) {
        state |= kCapsLock;
    }
    if ((bits & kModifierNumLock) != 0) {
        state |= kNumLock;
    }
    return state;
}

KeyEvent NamedKeyEvent(const NamedKey& key, std::uint32_t state) {
    return KeyEvent{true, key.virtualKey, key.scanCode, 0,
                    state | (key.enhanced ? kEnhancedKey : 0u)};
}

KeyEvent KeypadEvent(KeypadKey key, std::uint32_t state) {
    const KeypadRecord& record = kKeypad[static_cast<std::size_t>(key)];
    return KeyEvent{true, record.virtualKey, record.scanCode, record.character,
                    state | (record.enhanced ? kEnhancedKey : 0u)};
}

KeyEvent AsciiKeyEvent(std::uint8_t byte) {
    switch (byte) {
        case kBackspaceCharacter:
        case kDeleteCharacter:  // Backspace: terminals send either
            return KeyEvent{true, kVkBack, kScanBackspace, kBackspaceCharacter, 0};
        case kTabCharacter:
            return KeyEvent{true, kVkTab, kScanTab, kTabCharacter, 0};
        case kReturnCharacter:
            return KeyEvent{true, kVkReturn, kScanEnter, kReturnCharacter, 0};
        case kEscapeCharacter:
            return KeyEvent{true, kVkEscape, kScanEscape, kEscapeCharacter, 0};
        default:
            return PcKeyPress(byte);
    }
}

std::optional<KeyEvent> CharacterKeyEvent(std::uint32_t codePoint) {
    if (codePoint < kAscii) {
        return AsciiKeyEvent(static_cast<std::uint8_t>(codePoint));
    }
    if (std::optional<std::uint8_t> byte = Cp437FromCodePoint(codePoint)) {
        return KeyEvent{true, 0, 0, *byte, 0};
    }
    return std::nullopt;
}

}  // namespace dungeon
