// Feeds arbitrary bytes to the number texts: a real with a width, a count of decimals and a
// kind to FormatFixed, and the same bytes as a text to ParseInteger. Any text that breaks
// the layout rules aborts: characters outside a number, the width not honoured, the wrong
// count of decimals, or, without decimals, digits other than those of rounding half away
// from zero.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "base/number_text.h"
#include "fuzz/fuzz_input.h"

namespace {

void Require(bool condition, const char* what = "number text out of form") {
    dungeon::fuzz::Require(condition, what);
}

// The text of x rounded half away from zero to a whole number, computed apart from the
// digit generation; false where the kind's significant digits do not reach the units.
bool WholeNumberText(dungeon::ExtendedReal x, dungeon::RealKind kind, char* out, std::size_t room) {
    // Only values the processor takes as they are: no NaN, infinity or unnormal encodings.
    const dungeon::ExtendedReal canonical = x * 1;
    if (IsNaN(canonical) || IsInf(canonical) || canonical.Bits() != x.Bits()) {
        return false;
    }
    const dungeon::ExtendedReal magnitude = Abs(x);
    dungeon::ExtendedReal rounded = Trunc(magnitude);
    if (magnitude - rounded >= 0.5) {
        rounded += 1;
    }
    const double limit = kind == dungeon::RealKind::kDouble ? 1e16 : 1e17;
    if (rounded >= limit) {
        return false;
    }
    std::snprintf(out, room, "%s%lld", SignBit(x) ? "-" : "",
                  static_cast<long long>(static_cast<std::int64_t>(rounded)));
    return true;
}

bool AllowedInNumber(char c) {
    return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'E' || c == 'N' ||
           c == 'a' || c == 'I' || c == 'n' || c == 'f';
}

void CheckFormat(dungeon::ExtendedReal x, std::int32_t width, std::int32_t decimals,
                 dungeon::RealKind kind) {
    // The number by itself, without a width.
    dungeon::Text bare = dungeon::FormatFixed(x, 0, decimals, kind);
    std::string_view body = bare.View();
    Require(!body.empty() && body.front() != ' ');
    for (char c : body) {
        Require(AllowedInNumber(c));
    }
    // The width is a minimum: blanks in front up to it, then the number, and the whole
    // cut at the capacity of a text (a width beyond it leaves only blanks).
    dungeon::Text text = dungeon::FormatFixed(x, width, decimals, kind);
    std::string_view view = text.View();
    auto length = static_cast<std::int64_t>(body.size());
    std::int64_t blanks = width > length ? width - length : 0;
    std::int64_t total = blanks + length;
    std::int64_t shown = total < dungeon::Text::kCapacity ? total : dungeon::Text::kCapacity;
    bool honoured = static_cast<std::int64_t>(view.size()) == shown;
    for (std::int64_t i = 0; honoured && i < shown; ++i) {
        char expected = i < blanks ? ' ' : body[static_cast<std::size_t>(i - blanks)];
        honoured = view[static_cast<std::size_t>(i)] == expected;
    }
    Require(honoured, "width not honoured");

    char whole[64];
    if (decimals == 0 && WholeNumberText(x, kind, whole, sizeof whole)) {
        Require(body == whole, "digits differ from rounding half away from zero");
    }
    // Texts of the fixed layout show exactly `decimals` decimals, at most as many as the
    // kind has significant digits.
    if (body.find_first_of("EIN") == std::string_view::npos && decimals >= 0) {
        std::int32_t precision = kind == dungeon::RealKind::kDouble ? 16 : 17;
        auto expected = static_cast<std::size_t>(decimals < precision ? decimals : precision);
        std::size_t point = body.find('.');
        if (expected == 0) {
            Require(point == std::string_view::npos);
        } else {
            Require(point != std::string_view::npos && body.size() - point - 1 == expected);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Layout of the first 19 bytes: a kind byte, 4 bytes width, 4 bytes decimals, then the
    // value as the raw bytes of a double (kind byte even) or the 10 bytes of an x87 extended
    // real (odd: the significand, then sign and exponent, as the x87 stores them). A kind
    // byte with 4 set takes the width as it is, any 32-bit number.
    if (size >= 9) {
        std::int32_t width = 0;
        std::int32_t decimals = 0;
        std::memcpy(&width, data + 1, sizeof width);
        std::memcpy(&decimals, data + 5, sizeof decimals);
        // Keep most cases in the range that shows digits rather than padding.
        if ((data[0] & 4) == 0) {
            width %= 300;
        }
        decimals %= 24;
        auto kind = (data[0] & 2) != 0 ? dungeon::RealKind::kExtended : dungeon::RealKind::kDouble;
        dungeon::ExtendedReal x = 0;
        if ((data[0] & 1) != 0) {
            std::uint8_t bytes[10] = {};
            std::memcpy(bytes, data + 9, size - 9 < sizeof bytes ? size - 9 : sizeof bytes);
            dungeon::ExtendedBits bits;
            std::memcpy(&bits.significand, bytes, sizeof bits.significand);
            std::memcpy(&bits.signAndExponent, bytes + sizeof bits.significand,
                        sizeof bits.signAndExponent);
            x = dungeon::ExtendedReal::FromBits(bits);
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
