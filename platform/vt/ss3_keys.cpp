#include "platform/vt/ss3_keys.h"

#include "platform/vt/legacy_keys.h"
#include "platform/vt/vt_keys.h"

namespace dungeon {
namespace {

struct Ss3KeypadKey {
    std::uint8_t final;
    KeypadKey key;
};

// The application keypad. The keypad digits are the finals "p" .. "y".
constexpr std::uint8_t kKeypadDigit0 = 'p';
constexpr std::uint8_t kKeypadDigit9 = 'y';
constexpr Ss3KeypadKey kKeypadKeys[] = {
    {'M', KeypadKey::kEnter},     {'j', KeypadKey::kMultiply}, {'k', KeypadKey::kAdd},
    {'l', KeypadKey::kSeparator}, {'m', KeypadKey::kSubtract}, {'n', KeypadKey::kDecimal},
    {'o', KeypadKey::kDivide},    {'X', KeypadKey::kEqual},
};

std::optional<KeypadKey> Ss3KeypadKeyOf(std::uint8_t final) {
    if (final >= kKeypadDigit0 && final <= kKeypadDigit9) {
        return static_cast<KeypadKey>(final - kKeypadDigit0);
    }
    for (const Ss3KeypadKey& keypad : kKeypadKeys) {
        if (keypad.final == final) {
            return keypad.key;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<KeyEvent> Ss3Key(std::uint32_t modifiers, std::uint8_t final) {
    std::uint32_t state = ModifierState(modifiers);
    if (std::optional<NamedKey> key = FinalLetterKey(final)) {
        return NamedKeyEvent(*key, state);
    }
    if (std::optional<NamedKey> key = RxvtCursorKey(final)) {  // rxvt: Ctrl with the cursor keys
        return NamedKeyEvent(*key, state | kLeftCtrl);
    }
    // The keypad sends no modifiers: its keys type what they always type.
    if (std::optional<KeypadKey> key = Ss3KeypadKeyOf(final)) {
        return KeypadEvent(*key, 0);
    }
    return std::nullopt;
}

}  // namespace dungeon
