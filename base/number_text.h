#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "base/extended_real.h"
#include "base/text.h"

namespace dungeon {

// Which kind of real a value came from: it decides how many significant digits are
// generated (16 for a stored 64-bit real, 17 for an extended-precision expression).
enum class RealKind : std::uint8_t { kDouble, kExtended };

// x rounded half away from zero to `decimals` decimals, padded on the left with blanks
// to at least `width` characters; never cut.
Text FormatFixed(ExtendedReal x, std::int32_t width, std::int32_t decimals, RealKind kind);
// The same in a chosen kind of extended real: SoftExtendedReal, and HardwareExtendedReal
// where there is one, so that the two can be compared.
template <typename Real>
Text FormatFixedIn(Real x, std::int32_t width, std::int32_t decimals, RealKind kind);
extern template Text FormatFixedIn(SoftExtendedReal, std::int32_t, std::int32_t, RealKind);
#if DUNGEON_X87_LONG_DOUBLE
extern template Text FormatFixedIn(HardwareExtendedReal, std::int32_t, std::int32_t, RealKind);
#endif

// The decimal digits of `value`, without sign or padding.
Text DecimalText(std::uint32_t value);
// The same digits, written at the end of `room`, for where a whole text is too much.
std::string_view DecimalDigits(std::uint32_t value, std::array<char, 10>& room);
// How many digits those are.
int DecimalLength(std::uint32_t value);

struct ParsedInteger {
    std::int64_t value = 0;
    // 1-based position of the first character that is not part of the number;
    // 0 when the whole text was read.
    std::int32_t errorPosition = 0;
};

ParsedInteger ParseInteger(const Text& text);

}  // namespace dungeon
