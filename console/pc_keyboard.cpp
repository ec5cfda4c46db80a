#include "console/pc_keyboard.h"

#include <array>
#include <optional>
#include <string_view>

#include "console/cp437.h"

namespace dungeon {
namespace {

constexpr std::uint8_t kDeleteCharacter = 127;

struct Row {
    std::string_view plain;
    std::string_view shifted;
    std::uint16_t firstScan;
};

// The character rows of a US keyboard, left to right, with the scan code of their
// first key.
constexpr Row kRows[] = {
    {"1234567890-=", "!@#$%^&*()_+", 2},
    {"qwertyuiop[]", "QWERTYUIOP{}", 16},
    {"asdfghjkl;'`", "ASDFGHJKL:\"~", 30},
    {"\\zxcvbnm,./", "|ZXCVBNM<>?", 43},
};

constexpr std::uint16_t VirtualKeyOf(char plain) {
    if (plain >= 'a' && plain <= 'z') {
        return static_cast<std::uint16_t>(plain - 'a' + 'A');
    }
    if (plain >= '0' && plain <= '9') {
        return static_cast<std::uint16_t>(plain);
    }
    // The punctuation keys' virtual key codes, in the order of kPunctuation.
    constexpr std::string_view kPunctuation = ";=,-./`[\\]'";
    constexpr std::uint16_t kPunctuationKeys[] = {186, 187, 188, 189, 190, 191,
                                                  192, 219, 220, 221, 222};
    static_assert(std::size(kPunctuationKeys) == kPunctuation.size());
    const std::size_t at = kPunctuation.find(plain);
    return at != std::string_view::npos ? kPunctuationKeys[at] : 0;
}

// The key of a character on the four character rows, typed with Shift or without.
constexpr std::optional<PcKey> RowKey(char character) {
    for (const Row& row : kRows) {
        for (std::size_t i = 0; i < row.plain.size(); ++i) {
            bool plain = row.plain[i] == character;
            bool shifted = row.shifted[i] == character;
            if (plain || shifted) {
                return PcKey{VirtualKeyOf(row.plain[i]),
                             static_cast<std::uint16_t>(row.firstScan + i), shifted, false};
            }
        }
    }
    return std::nullopt;
}

constexpr std::optional<PcKey> KeyOfCharacter(std::uint8_t character) {
    switch (character) {
        case 8:
            return PcKey{kVkBack, kScanBackspace, false, false};
        case 9:
            return PcKey{kVkTab, kScanTab, false, false};
        case 13:
            return PcKey{kVkReturn, kScanEnter, false, false};
        case 27:
            return PcKey{kVkEscape, kScanEscape, false, false};
        case ' ':
            return PcKey{kVkSpace, kScanSpace, false, false};
        case 127:
            return PcKey{kVkBack, kScanBackspace, false, true};
        default:
            break;
    }
    if (character >= 1 && character <= 26) {
        // Ctrl+A..Ctrl+Z (Tab, Enter and Backspace are handled above).
        PcKey key = *RowKey(static_cast<char>('a' + character - 1));
        key.ctrl = true;
        return key;
    }
    if (character == 0 || (character >= 28 && character <= 31)) {
        // Ctrl+2 (NUL), Ctrl+\, Ctrl+], Ctrl+6, Ctrl+-: the keys of their base characters.
        PcKey key = *RowKey(character == 0 ? '2' : "\\]6-"[character - 28]);
        key.shift = false;
        key.ctrl = true;
        return key;
    }
    return RowKey(static_cast<char>(character));
}

// Looked up, not searched: a paste of text asks for every one of its characters.
constexpr auto kKeyOfCharacter = [] {
    std::array<std::optional<PcKey>, 256> keys{};
    for (int c = 0; c < 256; ++c) {
        keys[static_cast<std::size_t>(c)] = KeyOfCharacter(static_cast<std::uint8_t>(c));
    }
    return keys;
}();

}  // namespace

std::optional<PcKey> PcKeyForCharacter(std::uint8_t character) {
    return kKeyOfCharacter[character];
}

std::uint32_t ShiftedCharacter(std::uint32_t character) {
    std::optional<PcKey> plain = character < kAsciiEnd
                                     ? PcKeyForCharacter(static_cast<std::uint8_t>(character))
                                     : std::nullopt;
    for (std::uint8_t other = ' ';
         plain && !plain->shift && !plain->ctrl && other < kDeleteCharacter; ++other) {
        std::optional<PcKey> key = PcKeyForCharacter(other);
        if (key && key->shift && key->scanCode == plain->scanCode) {
            return other;
        }
    }
    return character;
}

std::uint8_t CtrlCharacter(std::uint32_t character) {
    // Escape and the four after it are Ctrl with the keys of these, in their order.
    constexpr std::string_view kCtrlKeys = "[\\]6-";
    constexpr std::uint8_t kEscape = 27;
    if (character >= 'a' && character <= 'z') {
        return static_cast<std::uint8_t>(character - 'a' + 1);
    }
    const std::size_t at = character < kAsciiEnd ? kCtrlKeys.find(static_cast<char>(character))
                                                 : std::string_view::npos;
    if (at != std::string_view::npos) {
        return static_cast<std::uint8_t>(kEscape + at);
    }
    return character == ' ' ? ' ' : 0;
}

KeyEvent PcKeyPress(std::uint8_t character) {
    KeyEvent event;
    event.character = character;
    if (std::optional<PcKey> pc = PcKeyForCharacter(character)) {
        event.virtualKey = pc->virtualKey;
        event.scanCode = pc->scanCode;
        event.controlKeyState = (pc->shift ? kShift : 0u) | (pc->ctrl ? kLeftCtrl : 0u);
    }
    return event;
}

}  // namespace dungeon
