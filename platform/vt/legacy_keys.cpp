#include "platform/vt/legacy_keys.h"

#include "console/pc_keyboard.h"
#include "platform/vt/kitty_keys.h"

namespace dungeon {
namespace {

struct LetterKey {
    std::uint8_t final;
    NamedKey key;
};

constexpr LetterKey kLetterKeys[] = {
    {'A', kUpKey},         {'B', kDownKey},       {'C', kRightKey},       {'D', kLeftKey},
    {'H', kHomeKey},       {'F', kEndKey},        {'E', kKeypadBeginKey}, {'P', FunctionKey(1)},
    {'Q', FunctionKey(2)}, {'R', FunctionKey(3)}, {'S', FunctionKey(4)},
};

// The keys that VT220-style sequences number, "CSI 3 ~"; `state` is part of the key.
struct NumberedKey {
    std::uint32_t number;
    NamedKey key;
    std::uint32_t state = 0;
};

constexpr NumberedKey kNumberedKeys[] = {
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

// The modifiers that rxvt puts in the final byte of a numbered key instead of "~".
std::optional<std::uint32_t> NumberedKeyFinalState(std::uint8_t final) {
    switch (final) {
        case '~':
            return 0;
        case '$':
            return kShift;
        case '^':
            return kLeftCtrl;
        case '@':
            return kLeftCtrl | kShift;
        default:
            return std::nullopt;
    }
}

}  // namespace

std::optional<NamedKey> FinalLetterKey(std::uint8_t final) {
    for (const LetterKey& letter : kLetterKeys) {
        if (letter.final == final) {
            return letter.key;
        }
    }
    return std::nullopt;
}

std::optional<NamedKey> RxvtCursorKey(std::uint8_t final) {
    if (final < 'a' || final > 'd') {
        return std::nullopt;
    }
    return FinalLetterKey(static_cast<std::uint8_t>(final - 'a' + 'A'));
}

std::optional<KeyEvent> LegacyCsiKey(const CsiParameters& p, std::uint8_t final) {
    std::uint32_t number = p.value[0][0];
    std::uint32_t state = ModifierState(p.Field(1, 1));
    // F3 with modifiers ends in "R"; "row;column R" is a cursor report, which is never asked.
    if (final == 'R' && number > 1) {
        return std::nullopt;
    }
    if (std::optional<NamedKey> key = FinalLetterKey(final)) {
        return NamedKeyEvent(*key, state);
    }
    if (std::optional<NamedKey> key = RxvtCursorKey(final)) {  // rxvt: Shift with the cursor keys
        return NamedKeyEvent(*key, state | kShift);
    }
    if (final == 'G') {  // the Linux console's keypad 5
        return NamedKeyEvent(kKeypadBeginKey, state);
    }
    if (final == 'Z') {  // Shift+Tab
        return KeyEvent{true, kVkTab, kScanTab, kTabCharacter, state | kShift};
    }
    std::optional<std::uint32_t> finalState = NumberedKeyFinalState(final);
    if (!finalState) {
        return std::nullopt;
    }
    for (const NumberedKey& numbered : kNumberedKeys) {
        if (numbered.number == number) {
            return NamedKeyEvent(numbered.key, state | *finalState | numbered.state);
        }
    }
    return std::nullopt;
}

std::optional<KeyEvent> LinuxFunctionKey(std::uint8_t final) {
    if (final < 'A' || final > 'E') {
        return std::nullopt;
    }
    return NamedKeyEvent(FunctionKey(final - 'A' + 1), 0);
}

}  // namespace dungeon
