// Runs the software extended real against the x87's own long double, operation by
// operation: every arithmetic operation, comparison, conversion and FormatFixed for both
// kinds of real must give the same bits and texts, and the first difference aborts. The
// input is a row of records, each an operation and two values; the values' decoding
// favours the edges (ties, the neighbours of powers of ten where a carry makes a new digit,
// subnormals, the largest and smallest finite values, signed zeros, infinities and NaNs).
// Where the compiler has no x87 long double, only the software side runs.
#include <compare>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/extended_real.h"
#include "base/number_text.h"
#include "fuzz/fuzz_input.h"

namespace {

using dungeon::ExtendedBits;
using dungeon::SoftExtendedReal;
using dungeon::fuzz::Input;

constexpr std::uint16_t kSign = 0x8000;
constexpr std::uint16_t kExponentMask = 0x7FFF;
constexpr std::uint64_t kLeadingBit = std::uint64_t{1} << 63;

// Operations compared so far, reported when the run ends.
std::uint64_t compared = 0;

void ReportCount() {
    std::fprintf(stderr, "extended real: %llu operations compared, no difference\n",
                 static_cast<unsigned long long>(compared));
}

// The leading bit as the x87 writes it: clear for zero and the subnormals, else set.
ExtendedBits Canonical(ExtendedBits bits) {
    if ((bits.signAndExponent & kExponentMask) == 0) {
        bits.significand &= ~kLeadingBit;
    } else {
        bits.significand |= kLeadingBit;
    }
    return bits;
}

// Moved by a few units of the last place where the significand allows it, so that values
// just beside a tie or a power of ten come up.
ExtendedBits Nudged(ExtendedBits bits, int steps) {
    const std::uint64_t moved = bits.significand + static_cast<std::uint64_t>(steps);
    const bool sameBinade = (moved & kLeadingBit) == (bits.significand & kLeadingBit);
    if ((bits.signAndExponent & kExponentMask) != kExponentMask && sameBinade) {
        bits.significand = moved;
    }
    return bits;
}

ExtendedBits RawBits(Input& in) {
    ExtendedBits bits;
    std::uint8_t bytes[10] = {};
    in.Bytes(bytes, sizeof bytes);
    std::memcpy(&bits.significand, bytes, sizeof bits.significand);
    std::memcpy(&bits.signAndExponent, bytes + sizeof bits.significand,
                sizeof bits.signAndExponent);
    return Canonical(bits);
}

// 10^power exactly for power 0..27, from the software type.
SoftExtendedReal PowerOfTen(int power) {
    SoftExtendedReal value = 1;
    for (int i = 0; i < power; ++i) {
        value *= 10;
    }
    return value;
}

double DoubleFrom(Input& in) {
    const std::uint64_t high = in.Long();
    const std::uint64_t bits = high << 32 | in.Long();
    double d = 0;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

#if DUNGEON_X87_LONG_DOUBLE
using Hardware = dungeon::HardwareExtendedReal;

void Same(ExtendedBits soft, ExtendedBits hardware, const char* what) {
    ++compared;
    dungeon::fuzz::Require(soft == hardware, what);
}

void SameText(const dungeon::Text& soft, const dungeon::Text& hardware, const char* what) {
    ++compared;
    dungeon::fuzz::Require(soft.View() == hardware.View(), what);
}

void CompareConversionsIn(double d, std::int32_t i) {
    Same(SoftExtendedReal(d).Bits(), Hardware(d).Bits(), "from double");
    Same(SoftExtendedReal(i).Bits(), Hardware(i).Bits(), "from int32");
    const auto u = static_cast<std::uint32_t>(i);
    Same(SoftExtendedReal(u).Bits(), Hardware(u).Bits(), "from uint32");
}
#else
void CompareConversionsIn(double d, std::int32_t i) {
    [[maybe_unused]] SoftExtendedReal x(d);
    [[maybe_unused]] SoftExtendedReal y(i);
}
#endif

// Near a power of ten, a half below it, or a carry away from a new digit.
ExtendedBits NearPowerOfTen(Input& in) {
    const SoftExtendedReal power = PowerOfTen(in.Byte() % 28);
    const SoftExtendedReal scaled = in.Byte() % 2 != 0 ? power : SoftExtendedReal(1) / power;
    const SoftExtendedReal value = in.Byte() % 2 != 0 ? scaled - 0.5 : scaled;
    return Nudged(value.Bits(), in.Byte() % 7 - 3);
}

// A tie k/2 (or k/2 divided by a power of ten), or one of its neighbours.
ExtendedBits NearTie(Input& in) {
    const auto k = static_cast<std::int16_t>(in.Word());
    const SoftExtendedReal half = SoftExtendedReal(static_cast<std::int32_t>(k)) / 2;
    const SoftExtendedReal tie = half / PowerOfTen(in.Byte() % 4);
    return Nudged(tie.Bits(), in.Byte() % 5 - 2);
}

// The edges of the range: zeros, subnormals, the smallest normals, the largest finite
// values, infinities and NaNs.
ExtendedBits EdgeValue(Input& in) {
    const std::uint8_t which = in.Byte();
    const std::uint16_t sign = (which & 0x80) != 0 ? kSign : std::uint16_t{0};
    const std::uint64_t small = in.Byte();
    switch (which % 6) {
        case 0:
            return {sign, 0};
        case 1:
            return {sign, small + 1};
        case 2:
            return {sign, (kLeadingBit - 1) - small};
        case 3:
            return {static_cast<std::uint16_t>(sign | 1), kLeadingBit + small};
        case 4:
            return {static_cast<std::uint16_t>(sign | (kExponentMask - 1)), ~small};
        default:
            return {static_cast<std::uint16_t>(sign | kExponentMask), kLeadingBit | (small << 55)};
    }
}

ExtendedBits DecodeValue(Input& in) {
    switch (in.Byte() % 6) {
        case 0:
            return RawBits(in);
        case 1: {
            const double d = DoubleFrom(in);
            CompareConversionsIn(d, 0);
            return SoftExtendedReal(d).Bits();
        }
        case 2: {
            const auto i = static_cast<std::int32_t>(in.Long());
            CompareConversionsIn(0.0, i);
            return SoftExtendedReal(i).Bits();
        }
        case 3:
            return NearPowerOfTen(in);
        case 4:
            return NearTie(in);
        default:
            return EdgeValue(in);
    }
}

// Everything one type computes from a and b.
template <typename Real>
struct Results {
    static constexpr int kArithmetic = 8;
    ExtendedBits arithmetic[kArithmetic];
    std::uint64_t toDouble = 0;
    unsigned comparisons = 0;
    std::int64_t integers[2] = {};
    dungeon::Text texts[2];

    Results(Real a, Real b, std::int32_t width, std::int32_t decimals) {
        const Real values[kArithmetic] = {a + b,    a - b,    a * b,  a / b,
                                          Trunc(a), Floor(a), Abs(a), -a};
        for (int i = 0; i < kArithmetic; ++i) {
            arithmetic[i] = values[i].Bits();
        }
        const auto d = static_cast<double>(a);
        std::memcpy(&toDouble, &d, sizeof toDouble);
        const bool flags[] = {a == b,     a != b,   a<b, a <= b, a> b, a >= b,
                              SignBit(a), IsNaN(a), IsInf(a),          (a <=> b) < 0};
        for (bool flag : flags) {
            comparisons = comparisons << 1 | (flag ? 1u : 0u);
        }
        // Conversions to integers only where the value fits, as the language asks.
        if (Abs(a) < 2147483648.0) {
            integers[0] = static_cast<std::int32_t>(a);
        }
        if (Abs(a) < 9223372036854775808.0) {
            integers[1] = static_cast<std::int64_t>(a);
        }
        texts[0] = dungeon::FormatFixedIn(a, width, decimals, dungeon::RealKind::kDouble);
        texts[1] = dungeon::FormatFixedIn(a, width, decimals, dungeon::RealKind::kExtended);
    }
};

void CompareRecord(Input& in) {
    const SoftExtendedReal a = SoftExtendedReal::FromBits(DecodeValue(in));
    const SoftExtendedReal b = SoftExtendedReal::FromBits(DecodeValue(in));
    const std::int32_t width = in.Byte() % 24;
    const std::int32_t decimals = static_cast<std::int32_t>(in.Byte() % 24) - 2;
    [[maybe_unused]] const Results<SoftExtendedReal> soft(a, b, width, decimals);
#if DUNGEON_X87_LONG_DOUBLE
    const Results<Hardware> hardware(Hardware::FromBits(a.Bits()), Hardware::FromBits(b.Bits()),
                                     width, decimals);
    static const char* const kNames[] = {"+", "-", "*", "/", "Trunc", "Floor", "Abs", "negation"};
    for (int i = 0; i < Results<SoftExtendedReal>::kArithmetic; ++i) {
        Same(soft.arithmetic[i], hardware.arithmetic[i], kNames[i]);
    }
    Same({0, soft.toDouble}, {0, hardware.toDouble}, "to double");
    Same({0, soft.comparisons}, {0, hardware.comparisons}, "comparison");
    Same({0, static_cast<std::uint64_t>(soft.integers[0])},
         {0, static_cast<std::uint64_t>(hardware.integers[0])}, "to int32");
    Same({0, static_cast<std::uint64_t>(soft.integers[1])},
         {0, static_cast<std::uint64_t>(hardware.integers[1])}, "to int64");
    SameText(soft.texts[0], hardware.texts[0], "FormatFixed of a double");
    SameText(soft.texts[1], hardware.texts[1], "FormatFixed of an extended real");
#endif
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool reporting = std::atexit(ReportCount) == 0;
    (void)reporting;
    Input in(data, size);
    do {
        CompareRecord(in);
    } while (!in.Empty());
    return 0;
}
