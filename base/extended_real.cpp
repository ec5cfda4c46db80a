#include "base/extended_real.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>
#include <utility>

namespace dungeon {

namespace {

constexpr int kBias = 16383;
constexpr std::uint16_t kSignBit = 0x8000;
// All exponent bits set: infinity or NaN.
constexpr std::uint16_t kExponentMask = 0x7FFF;
constexpr std::uint64_t kLeadingBit = std::uint64_t{1} << 63;
constexpr std::uint64_t kQuietBit = std::uint64_t{1} << 62;
// The weight of the last significand bit of the subnormals and of the smallest normals.
constexpr int kSubnormalExponent = 1 - kBias - 63;

// The same facts for double, where a result is converted to it.
constexpr int kDoubleFractionBits = 52;
constexpr std::uint64_t kDoubleFractionMask = (std::uint64_t{1} << kDoubleFractionBits) - 1;
constexpr std::uint64_t kDoubleExponentMask = 0x7FF;
constexpr int kDoubleBias = 1023;
constexpr int kDoubleSubnormalExponent = 1 - kDoubleBias - kDoubleFractionBits;

// An unsigned 128-bit integer: exact products, and the guard bits of sums and quotients.
struct Wide {
    std::uint64_t high = 0;
    std::uint64_t low = 0;

    friend bool operator==(const Wide&, const Wide&) = default;
};

constexpr Wide kWideOne{0, 1};

Wide Multiply(std::uint64_t a, std::uint64_t b) {
    constexpr std::uint64_t kHalf = 0xFFFFFFFFu;
    const std::uint64_t lowLow = (a & kHalf) * (b & kHalf);
    const std::uint64_t lowHigh = (a & kHalf) * (b >> 32);
    const std::uint64_t highLow = (a >> 32) * (b & kHalf);
    const std::uint64_t highHigh = (a >> 32) * (b >> 32);
    const std::uint64_t middle = (lowLow >> 32) + (lowHigh & kHalf) + (highLow & kHalf);
    return {highHigh + (lowHigh >> 32) + (highLow >> 32) + (middle >> 32),
            (middle << 32) | (lowLow & kHalf)};
}

Wide Add(Wide a, Wide b) {
    Wide sum{a.high + b.high, a.low + b.low};
    if (sum.low < a.low) {
        ++sum.high;
    }
    return sum;
}

Wide Subtract(Wide a, Wide b) {
    Wide difference{a.high - b.high, a.low - b.low};
    if (a.low < b.low) {
        --difference.high;
    }
    return difference;
}

bool Less(Wide a, Wide b) {
    return a.high != b.high ? a.high < b.high : a.low < b.low;
}

// Index of the highest bit that is set; -1 for zero.
int HighestBit(Wide w) {
    if (w.high != 0) {
        return 127 - std::countl_zero(w.high);
    }
    return w.low != 0 ? 63 - std::countl_zero(w.low) : -1;
}

// For 0 <= n < 128.
Wide ShiftLeft(Wide w, int n) {
    if (n == 0) {
        return w;
    }
    if (n >= 64) {
        return {w.low << (n - 64), 0};
    }
    return {(w.high << n) | (w.low >> (64 - n)), w.low << n};
}

// For 0 <= n; from 128 on nothing is left.
Wide ShiftRight(Wide w, int n) {
    if (n >= 128) {
        return {};
    }
    if (n == 0) {
        return w;
    }
    if (n >= 64) {
        return {0, w.high >> (n - 64)};
    }
    return {w.high >> n, (w.low >> n) | (w.high << (64 - n))};
}

// Shifted right, with the last bit set if any bit that fell out was set: the value still
// lies above the kept bits, which is all that rounding far above the last bit needs.
Wide ShiftRightSticky(Wide w, int n) {
    Wide shifted = ShiftRight(w, n);
    if (n >= 128 ? w != Wide{} : ShiftLeft(shifted, n) != w) {
        shifted.low |= 1;
    }
    return shifted;
}

// w / 2^n rounded to nearest, a tie going to the even neighbour, for n >= 1.
Wide RoundedShift(Wide w, int n) {
    Wide kept = ShiftRight(w, n);
    if (n > 128) {
        return kept;  // half the last place exceeds any 128-bit value
    }
    const Wide dropped = Subtract(w, n == 128 ? Wide{} : ShiftLeft(kept, n));
    const Wide half = ShiftLeft(kWideOne, n - 1);
    if (Less(half, dropped) || (dropped == half && (kept.low & 1) != 0)) {
        kept = Add(kept, kWideOne);
    }
    return kept;
}

// A finite value as sign, magnitude and the weight of the magnitude's last bit.
struct Finite {
    bool negative = false;
    int exponent = 0;
    std::uint64_t magnitude = 0;
};

int BiasedExponent(ExtendedBits bits) {
    return bits.signAndExponent & kExponentMask;
}

bool Negative(ExtendedBits bits) {
    return (bits.signAndExponent & kSignBit) != 0;
}

Finite Decompose(ExtendedBits bits) {
    const int biased = BiasedExponent(bits);
    return {Negative(bits), biased == 0 ? kSubnormalExponent : biased - kBias - 63,
            bits.significand};
}

// The same value with its leading bit at bit 63.
Finite Normalized(Finite value) {
    const int shift = std::countl_zero(value.magnitude);
    return {value.negative, value.exponent - shift, value.magnitude << shift};
}

std::uint16_t SignOf(bool negative) {
    return negative ? kSignBit : std::uint16_t{0};
}

ExtendedBits Infinity(bool negative) {
    return {static_cast<std::uint16_t>(SignOf(negative) | kExponentMask), kLeadingBit};
}

ExtendedBits Zero(bool negative) {
    return {SignOf(negative), 0};
}

// What an invalid operation gives: the negative quiet NaN with the shortest payload.
ExtendedBits DefaultNaN() {
    return {static_cast<std::uint16_t>(kSignBit | kExponentMask), kLeadingBit | kQuietBit};
}

// magnitude * 2^exponent with the sign, rounded to the nearest extended real.
ExtendedBits RoundToExtended(bool negative, int exponent, Wide magnitude) {
    const int top = HighestBit(magnitude);
    if (top < 0) {
        return Zero(negative);
    }
    // The weight of the last bit kept: 63 below the leading one, but no finer than the
    // subnormals' last place.
    int last = std::max(exponent + top - 63, kSubnormalExponent);
    Wide kept = last <= exponent ? ShiftLeft(magnitude, exponent - last)
                                 : RoundedShift(magnitude, last - exponent);
    if (kept.high != 0) {  // rounded up to 2^64
        kept = {0, kLeadingBit};
        ++last;
    }
    const int biased = (kept.low & kLeadingBit) != 0 ? last + 63 + kBias : 0;
    if (biased >= kExponentMask) {
        return Infinity(negative);
    }
    return {static_cast<std::uint16_t>(SignOf(negative) | biased), kept.low};
}

bool IsNaNBits(ExtendedBits bits) {
    return BiasedExponent(bits) == kExponentMask && (bits.significand & ~kLeadingBit) != 0;
}

bool IsInfBits(ExtendedBits bits) {
    return BiasedExponent(bits) == kExponentMask && bits.significand == kLeadingBit;
}

bool IsZeroBits(ExtendedBits bits) {
    return BiasedExponent(bits) == 0 && bits.significand == 0;
}

ExtendedBits Quiet(ExtendedBits bits) {
    bits.significand |= kQuietBit;
    return bits;
}

// The x87's choice among NaN operands: a quiet one before a signalling one, else the one
// with the larger significand, else the positive one; it comes back quiet.
ExtendedBits PropagateNaN(ExtendedBits a, ExtendedBits b) {
    if (!IsNaNBits(a)) {
        return Quiet(b);
    }
    if (!IsNaNBits(b)) {
        return Quiet(a);
    }
    const bool aQuiet = (a.significand & kQuietBit) != 0;
    const bool bQuiet = (b.significand & kQuietBit) != 0;
    if (aQuiet != bQuiet) {
        return aQuiet ? a : Quiet(b);
    }
    if (a.significand != b.significand) {
        return Quiet(a.significand > b.significand ? a : b);
    }
    return Quiet(Negative(a) ? b : a);
}

ExtendedBits FromMagnitude(bool negative, std::uint64_t magnitude) {
    return RoundToExtended(negative, 0, {0, magnitude});
}

ExtendedBits Negated(ExtendedBits bits) {
    bits.signAndExponent ^= kSignBit;
    return bits;
}

// The sum of two finite, non-zero values.
ExtendedBits AddFinite(ExtendedBits a, ExtendedBits b) {
    Finite x = Normalized(Decompose(a));
    Finite y = Normalized(Decompose(b));
    if (x.exponent < y.exponent) {
        std::swap(x, y);
    }
    // The larger at bits 126..63, the smaller aligned to it with its lost bits made sticky.
    const Wide larger = ShiftLeft({0, x.magnitude}, 63);
    const Wide smaller = ShiftRightSticky(ShiftLeft({0, y.magnitude}, 63), x.exponent - y.exponent);
    const int exponent = x.exponent - 63;
    if (x.negative == y.negative) {
        return RoundToExtended(x.negative, exponent, Add(larger, smaller));
    }
    if (larger == smaller) {
        return Zero(false);
    }
    if (Less(larger, smaller)) {
        return RoundToExtended(y.negative, exponent, Subtract(smaller, larger));
    }
    return RoundToExtended(x.negative, exponent, Subtract(larger, smaller));
}

ExtendedBits AddBits(ExtendedBits a, ExtendedBits b) {
    if (IsNaNBits(a) || IsNaNBits(b)) {
        return PropagateNaN(a, b);
    }
    if (IsInfBits(a)) {
        return IsInfBits(b) && Negative(a) != Negative(b) ? DefaultNaN() : a;
    }
    if (IsInfBits(b)) {
        return b;
    }
    if (IsZeroBits(a) && IsZeroBits(b)) {
        return Zero(Negative(a) && Negative(b));
    }
    if (IsZeroBits(a)) {
        return b;
    }
    if (IsZeroBits(b)) {
        return a;
    }
    return AddFinite(a, b);
}

ExtendedBits MultiplyBits(ExtendedBits a, ExtendedBits b) {
    if (IsNaNBits(a) || IsNaNBits(b)) {
        return PropagateNaN(a, b);
    }
    const bool negative = Negative(a) != Negative(b);
    if (IsInfBits(a) || IsInfBits(b)) {
        return IsZeroBits(a) || IsZeroBits(b) ? DefaultNaN() : Infinity(negative);
    }
    const Finite x = Decompose(a);
    const Finite y = Decompose(b);
    return RoundToExtended(negative, x.exponent + y.exponent, Multiply(x.magnitude, y.magnitude));
}

// The quotient of two finite, non-zero values: 66 bits by long division and a sticky bit
// for the remainder.
ExtendedBits DivideFinite(ExtendedBits a, ExtendedBits b) {
    const Finite x = Normalized(Decompose(a));
    const Finite y = Normalized(Decompose(b));
    constexpr int kQuotientBits = 66;
    const Wide divisor{0, y.magnitude};
    Wide remainder{0, x.magnitude};
    Wide quotient;
    for (int i = 0; i < kQuotientBits; ++i) {
        quotient = ShiftLeft(quotient, 1);
        if (!Less(remainder, divisor)) {
            remainder = Subtract(remainder, divisor);
            quotient.low |= 1;
        }
        remainder = ShiftLeft(remainder, 1);
    }
    quotient = ShiftLeft(quotient, 1);
    if (remainder != Wide{}) {
        quotient.low |= 1;
    }
    return RoundToExtended(x.negative != y.negative, x.exponent - y.exponent - kQuotientBits,
                           quotient);
}

ExtendedBits DivideBits(ExtendedBits a, ExtendedBits b) {
    if (IsNaNBits(a) || IsNaNBits(b)) {
        return PropagateNaN(a, b);
    }
    const bool negative = Negative(a) != Negative(b);
    if (IsInfBits(a)) {
        return IsInfBits(b) ? DefaultNaN() : Infinity(negative);
    }
    if (IsInfBits(b)) {
        return Zero(negative);
    }
    if (IsZeroBits(b)) {
        return IsZeroBits(a) ? DefaultNaN() : Infinity(negative);
    }
    if (IsZeroBits(a)) {
        return Zero(negative);
    }
    return DivideFinite(a, b);
}

// The magnitude cut toward zero, if it is below 2^64.
std::optional<std::uint64_t> TruncatedMagnitude(ExtendedBits bits) {
    if (BiasedExponent(bits) == kExponentMask) {
        return std::nullopt;
    }
    const Finite value = Decompose(bits);
    if (value.exponent <= -64) {
        return 0;
    }
    if (value.exponent < 0) {
        return value.magnitude >> -value.exponent;
    }
    if (value.magnitude != 0 && 63 - std::countl_zero(value.magnitude) + value.exponent >= 64) {
        return std::nullopt;
    }
    return value.magnitude << value.exponent;
}

// The integer of a signed type with `bits` value bits, or the lowest value out of range.
std::int64_t TruncatedInteger(ExtendedBits bits, int valueBits) {
    const std::uint64_t limit = std::uint64_t{1} << valueBits;
    const std::int64_t lowest = -static_cast<std::int64_t>(limit - 1) - 1;
    const std::optional<std::uint64_t> magnitude = TruncatedMagnitude(bits);
    if (!magnitude || *magnitude > limit || (*magnitude == limit && !Negative(bits))) {
        return lowest;
    }
    if (Negative(bits)) {
        return *magnitude == 0 ? 0 : -static_cast<std::int64_t>(*magnitude - 1) - 1;
    }
    return static_cast<std::int64_t>(*magnitude);
}

std::uint64_t DoubleBitsOfNaN(ExtendedBits bits) {
    return (std::uint64_t{Negative(bits)} << 63) | (kDoubleExponentMask << kDoubleFractionBits) |
           (std::uint64_t{1} << (kDoubleFractionBits - 1)) |
           ((bits.significand >> 11) & kDoubleFractionMask);
}

std::uint64_t DoubleBitsOfFinite(ExtendedBits bits) {
    const Finite value = Decompose(bits);
    const std::uint64_t sign = std::uint64_t{value.negative} << 63;
    if (value.magnitude == 0) {
        return sign;
    }
    const int top = 63 - std::countl_zero(value.magnitude);
    int last = std::max(value.exponent + top - kDoubleFractionBits, kDoubleSubnormalExponent);
    std::uint64_t kept = last <= value.exponent
                             ? value.magnitude << (value.exponent - last)
                             : RoundedShift({0, value.magnitude}, last - value.exponent).low;
    if ((kept >> (kDoubleFractionBits + 1)) != 0) {  // rounded up to 2^53
        kept >>= 1;
        ++last;
    }
    const int biased =
        (kept >> kDoubleFractionBits) != 0 ? last + kDoubleFractionBits + kDoubleBias : 0;
    if (biased >= static_cast<int>(kDoubleExponentMask)) {
        return sign | (kDoubleExponentMask << kDoubleFractionBits);
    }
    return sign | (static_cast<std::uint64_t>(biased) << kDoubleFractionBits) |
           (kept & kDoubleFractionMask);
}

std::uint64_t DoubleBits(double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

double DoubleOfBits(std::uint64_t bits) {
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

ExtendedBits FromDoubleBits(std::uint64_t bits) {
    const bool negative = (bits >> 63) != 0;
    const std::uint64_t biased = (bits >> kDoubleFractionBits) & kDoubleExponentMask;
    const std::uint64_t fraction = bits & kDoubleFractionMask;
    if (biased == kDoubleExponentMask) {
        if (fraction == 0) {
            return Infinity(negative);
        }
        return {static_cast<std::uint16_t>(SignOf(negative) | kExponentMask),
                kLeadingBit | kQuietBit | (fraction << 11)};
    }
    if (biased == 0) {
        return RoundToExtended(negative, kDoubleSubnormalExponent, {0, fraction});
    }
    return RoundToExtended(negative, static_cast<int>(biased) - kDoubleBias - kDoubleFractionBits,
                           {0, fraction | (std::uint64_t{1} << kDoubleFractionBits)});
}

}  // namespace

SoftExtendedReal::SoftExtendedReal(double value) : bits_(FromDoubleBits(DoubleBits(value))) {}

SoftExtendedReal::SoftExtendedReal(std::int32_t value)
    : bits_(FromMagnitude(value < 0,
                          static_cast<std::uint64_t>(value < 0 ? -std::int64_t{value} : value))) {}

SoftExtendedReal::SoftExtendedReal(std::uint32_t value) : bits_(FromMagnitude(false, value)) {}

SoftExtendedReal::operator double() const {
    if (IsNaNBits(bits_)) {
        return DoubleOfBits(DoubleBitsOfNaN(bits_));
    }
    if (IsInfBits(bits_)) {
        return Negative(bits_) ? -std::numeric_limits<double>::infinity()
                               : std::numeric_limits<double>::infinity();
    }
    return DoubleOfBits(DoubleBitsOfFinite(bits_));
}

SoftExtendedReal::operator std::int32_t() const {
    return static_cast<std::int32_t>(TruncatedInteger(bits_, 31));
}

SoftExtendedReal::operator std::int64_t() const {
    return TruncatedInteger(bits_, 63);
}

SoftExtendedReal operator+(SoftExtendedReal a, SoftExtendedReal b) {
    return SoftExtendedReal::FromBits(AddBits(a.bits_, b.bits_));
}

SoftExtendedReal operator-(SoftExtendedReal a, SoftExtendedReal b) {
    // A NaN comes back as it was, not with its sign turned.
    if (IsNaNBits(a.bits_) || IsNaNBits(b.bits_)) {
        return SoftExtendedReal::FromBits(PropagateNaN(a.bits_, b.bits_));
    }
    return SoftExtendedReal::FromBits(AddBits(a.bits_, Negated(b.bits_)));
}

SoftExtendedReal operator*(SoftExtendedReal a, SoftExtendedReal b) {
    return SoftExtendedReal::FromBits(MultiplyBits(a.bits_, b.bits_));
}

SoftExtendedReal operator/(SoftExtendedReal a, SoftExtendedReal b) {
    return SoftExtendedReal::FromBits(DivideBits(a.bits_, b.bits_));
}

SoftExtendedReal operator-(SoftExtendedReal a) {
    return SoftExtendedReal::FromBits(Negated(a.bits_));
}

bool operator==(SoftExtendedReal a, SoftExtendedReal b) {
    if (IsNaNBits(a.bits_) || IsNaNBits(b.bits_)) {
        return false;
    }
    // Equal values have equal bits, but for the two zeros.
    return a.bits_ == b.bits_ || (IsZeroBits(a.bits_) && IsZeroBits(b.bits_));
}

std::partial_ordering operator<=>(SoftExtendedReal a, SoftExtendedReal b) {
    if (IsNaNBits(a.bits_) || IsNaNBits(b.bits_)) {
        return std::partial_ordering::unordered;
    }
    if (IsZeroBits(a.bits_) && IsZeroBits(b.bits_)) {
        return std::partial_ordering::equivalent;
    }
    if (Negative(a.bits_) != Negative(b.bits_)) {
        return Negative(a.bits_) ? std::partial_ordering::less : std::partial_ordering::greater;
    }
    // Of two negative values the one with the larger magnitude is the smaller.
    if (Negative(a.bits_)) {
        std::swap(a, b);
    }
    // Finite magnitudes and infinity are ordered as their exponent and significand.
    const int exponentA = BiasedExponent(a.bits_);
    const int exponentB = BiasedExponent(b.bits_);
    if (exponentA != exponentB) {
        return exponentA < exponentB ? std::partial_ordering::less : std::partial_ordering::greater;
    }
    if (a.bits_.significand != b.bits_.significand) {
        return a.bits_.significand < b.bits_.significand ? std::partial_ordering::less
                                                         : std::partial_ordering::greater;
    }
    return std::partial_ordering::equivalent;
}

SoftExtendedReal Trunc(SoftExtendedReal x) {
    ExtendedBits bits = x.bits_;
    const int biased = BiasedExponent(bits);
    if (IsNaNBits(bits)) {
        return SoftExtendedReal::FromBits(Quiet(bits));
    }
    const int unbiased = biased - kBias;
    if (biased == kExponentMask || unbiased >= 63) {
        return x;  // infinite, or no bits below the units
    }
    if (biased == 0 || unbiased < 0) {
        return SoftExtendedReal::FromBits(Zero(Negative(bits)));
    }
    bits.significand &= ~((std::uint64_t{1} << (63 - unbiased)) - 1);
    return SoftExtendedReal::FromBits(bits);
}

SoftExtendedReal Floor(SoftExtendedReal x) {
    const SoftExtendedReal whole = Trunc(x);
    if (SignBit(x) && whole != x && !IsNaN(x)) {
        return whole - 1;
    }
    return whole;
}

SoftExtendedReal Abs(SoftExtendedReal x) {
    ExtendedBits bits = x.bits_;
    bits.signAndExponent &= kExponentMask;
    return SoftExtendedReal::FromBits(bits);
}

bool IsNaN(SoftExtendedReal x) {
    return IsNaNBits(x.bits_);
}

bool IsInf(SoftExtendedReal x) {
    return IsInfBits(x.bits_);
}

}  // namespace dungeon
