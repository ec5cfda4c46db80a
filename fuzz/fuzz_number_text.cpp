// Feeds arbitrary bytes to the number texts: a real with a width, a count of decimals and a
// kind to FormatFixed, and the same bytes as a text to ParseInteger. Any text that breaks
// the layout rules aborts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "base/number_text.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool AllowedInNumber(char c) {
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'E' || c == 'N' ||
           c == 'a' || c == 'I' || c == 'n' || c == 'f';
}

void CheckFormat(long double x, std::int32_t width, std::int32_t decimals, dungeon::RealKind kind) {
    dungeon::Text text = dungeon::FormatFixed(x, width, decimals, kind);
    std::string_view view = text.View();
    Require(!view.empty());
    Require(view.size() <= static_cast<std::size_t>(dungeon::Text::kCapacity));
    if (width > 0) {
        Require(view.size() >= static_cast<std::size_t>(width < 255 ? width : 255));
    }
    std::size_t start = view.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        // Padded to a width beyond the capacity, the text keeps only blanks.
        Require(view.size() == static_cast<std::size_t>(dungeon::Text::kCapacity) &&
                width > dungeon::Text::kCapacity);
        return;
    }
    for (char c : view.substr(start)) {
        Require(AllowedInNumber(c));
    }
    // Texts of the fixed layout show exactly `decimals` decimals, at most as many as the
    // kind has significant digits.
    if (view.find_first_of("EIN") == std::string_view::npos && decimals >= 0) {
        std::int32_t precision = kind == dungeon::RealKind::kDouble ? 16 : 17;
        auto expected = static_cast<std::size_t>(decimals < precision ? decimals : precision);
        std::size_t point = view.find('.');
        if (expected == 0) {
            Require(point == std::string_view::npos);
        } else {
            Require(point != std::string_view::npos && view.size() - point - 1 == expected);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Layout of the first 19 bytes: a kind byte, 4 bytes width, 4 bytes decimals, then the
    // value as the raw bytes of a double (kind byte even) or of a long double (odd).
    if (size >= 9) {
        std::int32_t width = 0;
        std::int32_t decimals = 0;
        std::memcpy(&width, data + 1, sizeof width);
        std::memcpy(&decimals, data + 5, sizeof decimals);
        // Keep most cases in the range that shows digits rather than padding.
        width %= 300;
        decimals %= 24;
        auto kind = (data[0] & 2) != 0 ? dungeon::RealKind::kExtended : dungeon::RealKind::kDouble;
        long double x = 0.0L;
        if ((data[0] & 1) != 0) {
            std::memcpy(&x, data + 9, size - 9 < sizeof x ? size - 9 : sizeof x);
        } else {
            double d = 0.0;
            std::memcpy(&d, data + 9, size - 9 < sizeof d ? size - 9 : sizeof d);
            x = d;
        }
        CheckFormat(x, width, decimals, kind);
    }

    std::size_t length = size < 255 ? size : 255;
    dungeon::ParsedInteger parsed = dungeon::ParseInteger(
        dungeon::Text(std::string_view(reinterpret_cast<const char*>(data), length)));
    Require(parsed.errorPosition >= 0 &&
            parsed.errorPosition <= static_cast<std::int32_t>(length) + 1);
    return 0;
}
