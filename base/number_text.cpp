#include "base/number_text.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>

namespace dungeon {

namespace {

// 10^0 .. 10^17, each exact in a double.
constexpr double kPowersOfTen[] = {1e0, 1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,
                                   1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17};
constexpr int kLargestExactDoublePower = 17;
// 10^27 is the largest power of ten an extended real holds exactly (5^27 < 2^64).
constexpr int kLargestExactPower = 27;
// From 10^36 on the fixed layout would need more than 36 integer digits; such values (and a
// negative number of decimals) are written in exponent form instead.
constexpr int kFixedLimitPower = 36;

// 10^power for 0 <= power <= 27, exact.
template <typename Real>
Real PowerOfTen(int power) {
    if (power <= kLargestExactDoublePower) {
        return kPowersOfTen[power];
    }
    return Real(kPowersOfTen[kLargestExactDoublePower]) *
           kPowersOfTen[power - kLargestExactDoublePower];
}

template <typename Real>
struct DigitRules {
    int precision;   // significant digits generated, at most
    Real tolerance;  // how close to a digit boundary still counts as reaching it
};

template <typename Real>
DigitRules<Real> RulesFor(RealKind kind) {
    // A stored 64-bit real carries about 16 significant digits, an extended one 17. The
    // quotients are the extended reals nearest to 10^-15 and 10^-16.
    return kind == RealKind::kDouble ? DigitRules<Real>{16, Real(1) / Real(1e15)}
                                     : DigitRules<Real>{17, Real(1) / Real(1e16)};
}

template <typename Real>
Real FractionOf(Real v) {
    return v - Trunc(v);
}

// The digit a computed value stands for. Rounding can make it 10, which the caller turns
// into a carry; anything else odd (a NaN from a malformed value) becomes 0 before the
// conversion, which would otherwise be undefined.
template <typename Real>
int DigitOf(Real value) {
    if (!(value >= 1)) {
        return 0;
    }
    if (value >= 10) {
        return 10;
    }
    return static_cast<std::int32_t>(value);
}

// Generated digits behind a guard digit at index 0, which only a carry out of the leading
// digit can change.
class Digits {
  public:
    static constexpr int kCapacity = 20;  // guard + at most 17 generated digits

    int Count() const { return count_; }
    int At(int index) const { return digits_[index]; }

    void Push(int digit) {
        if (count_ + 1 >= kCapacity) {
            return;
        }
        ++count_;
        if (digit >= 10) {
            digits_[count_] = 0;
            AddOneAt(count_ - 1);
        } else {
            digits_[count_] = digit;
        }
    }

    // Adds one to the digit at index, carrying leftwards through nines.
    void AddOneAt(int index) {
        for (int i = index; i >= 0; --i) {
            if (++digits_[i] < 10) {
                return;
            }
            digits_[i] = 0;
        }
    }

    void AddOneToLast() { AddOneAt(count_); }

  private:
    int digits_[kCapacity] = {};
    int count_ = 0;
};

// The digits of the fixed layout as they are worked out: what is left of the value, the
// decimal exponent of the first digit and how many digits are still to come.
template <typename Real>
struct FixedDigits {
    Real rest;
    int exponent = 0;
    int remaining = 0;
    bool hasIntegerPart = false;
    Digits digits;
};

// The integer part, from its most significant digit on, as far as the precision goes.
template <typename Real>
void GenerateIntegerDigits(FixedDigits<Real>& state, DigitRules<Real> rules) {
    const Real almostOne = 1 - rules.tolerance;
    // v, v/10, ... as long as they stay above almost one.
    constexpr int kMostQuotients = 40;
    Real quotients[kMostQuotients];
    int n = 0;
    for (Real q = state.rest; q > almostOne && n < kMostQuotients; q /= 10) {
        quotients[n++] = q;
    }
    if (n == 0) {
        return;
    }
    int lastPlace = n - 1;
    for (int k = n - 1; k >= 0 && state.digits.Count() < rules.precision; --k) {
        const Real value = k == n - 1 ? quotients[k] : quotients[k] - 10 * Trunc(quotients[k + 1]);
        state.digits.Push(DigitOf(value));
        lastPlace = k;
    }
    state.hasIntegerPart = true;
    state.exponent = n - 1;
    // Continue with what lies below the last generated digit, so that rounding acts there
    // also when the integer part has more digits than are generated.
    state.rest = FractionOf(quotients[lastPlace]);
}

// A value below one: up to its first significant digit, each zero lowering the exponent.
template <typename Real>
void SkipLeadingZeros(FixedDigits<Real>& state, DigitRules<Real> rules) {
    if (state.hasIntegerPart || state.rest == 0) {
        return;
    }
    const Real almostOneTenth = Real(1) / 10 - rules.tolerance;
    while (state.rest < almostOneTenth) {
        state.rest *= 10;
        --state.exponent;
        --state.remaining;
    }
    --state.exponent;
}

// Half a unit of the last digit is added; a carry goes into the digits already generated.
template <typename Real>
void RoundAtLastDigit(FixedDigits<Real>& state) {
    if (state.remaining < 0) {
        return;
    }
    const Real half = Real(0.5) / kPowersOfTen[state.remaining];
    if (state.rest >= half) {
        state.rest += half;
    }
    if (Trunc(state.rest) == 1) {
        state.digits.AddOneToLast();
        state.rest = FractionOf(state.rest);
    }
}

template <typename Real>
void GenerateDecimals(FixedDigits<Real>& state, DigitRules<Real> rules) {
    const Real almostOne = 1 - rules.tolerance;
    for (int i = 0; i < state.remaining; ++i) {
        state.rest = state.rest > almostOne ? 10 * FractionOf(state.rest) : 10 * state.rest;
        state.digits.Push(DigitOf(state.rest));
    }
}

// The generated digits, from the first one that belongs to the number; zeros beyond them.
class DigitSequence {
  public:
    explicit DigitSequence(const Digits& digits)
        : digits_(digits), first_(digits.At(0) != 0 ? 0 : 1) {}

    // A guard digit that a carry raised makes the number one digit longer.
    bool Lengthened() const { return first_ == 0; }
    char At(long long index) const {
        const int available = digits_.Count() + 1 - first_;
        return index >= 0 && index < available
                   ? static_cast<char>('0' + digits_.At(first_ + static_cast<int>(index)))
                   : '0';
    }

  private:
    const Digits& digits_;
    int first_;
};

void WriteWithIntegerPart(const DigitSequence& digits, int exponent, int decimals, Text& out) {
    // A leading digit can stay 0 where v lay within the tolerance below a power of ten.
    int start = 0;
    while (start < exponent && digits.At(start) == '0') {
        ++start;
    }
    for (int i = start; i <= exponent; ++i) {
        out.Append(digits.At(i));
    }
    if (decimals > 0) {
        out.Append('.');
        for (int i = 1; i <= decimals; ++i) {
            out.Append(digits.At(exponent + i));
        }
    }
}

void WriteBelowOne(const DigitSequence& digits, int exponent, int decimals, Text& out) {
    out.Append('0');
    if (decimals > 0) {
        out.Append('.');
        // -exponent - 1 zeros come before the first generated digit; a very small value
        // has more of them than there are decimals.
        const long long zeros = -static_cast<long long>(exponent) - 1;
        for (int i = 0; i < decimals; ++i) {
            out.Append(i < zeros ? '0' : digits.At(i - zeros));
        }
    }
}

// The fixed layout of 0 <= v < 10^36 with 0 <= decimals.
template <typename Real>
void WriteFixed(Real v, int decimals, DigitRules<Real> rules, Text& out) {
    decimals = std::min(decimals, rules.precision);
    FixedDigits<Real> state;
    state.rest = v;
    GenerateIntegerDigits(state, rules);
    state.remaining = std::min(rules.precision - state.digits.Count(), decimals);
    SkipLeadingZeros(state, rules);
    RoundAtLastDigit(state);
    GenerateDecimals(state, rules);

    const DigitSequence digits(state.digits);
    const int exponent = state.exponent + (digits.Lengthened() ? 1 : 0);
    if (exponent >= 0) {
        WriteWithIntegerPart(digits, exponent, decimals, out);
    } else {
        WriteBelowOne(digits, exponent, decimals, out);
    }
}

// v * 10^power for any power an extended real can meet, in exact steps of 10^27 that
// cannot overflow before the result would.
template <typename Real>
Real ScaleByPowerOfTen(Real v, int power) {
    const Real step = PowerOfTen<Real>(kLargestExactPower);
    for (; power >= kLargestExactPower; power -= kLargestExactPower) {
        v *= step;
    }
    for (; power <= -kLargestExactPower; power += kLargestExactPower) {
        v /= step;
    }
    return power >= 0 ? v * PowerOfTen<Real>(power) : v / PowerOfTen<Real>(-power);
}

// floor(log2 v) for a finite v > 0, read from its exponent bits.
int BinaryExponent(ExtendedBits bits) {
    constexpr int kBias = 16383;
    constexpr int kSubnormalLastBit = 1 - kBias - 63;
    const int biased = bits.signAndExponent & 0x7FFF;
    return biased != 0 ? biased - kBias
                       : 63 - std::countl_zero(bits.significand) + kSubnormalLastBit;
}

struct DecimalMantissa {
    std::uint64_t digits = 0;  // decimals + 1 of them
    int exponent = 0;
};

// v > 0 as d.ddd x 10^exponent, rounded half away from zero to `decimals` decimals.
template <typename Real>
DecimalMantissa MantissaOf(Real v, int decimals) {
    // log10(2) is about 1233 / 4096; the estimate is at most one off, which the scaling mends.
    int exponent = (BinaryExponent(v.Bits()) * 1233) >> 12;
    Real scaled = ScaleByPowerOfTen(v, -exponent);
    for (; scaled >= 10; ++exponent) {
        scaled /= 10;
    }
    for (; scaled < 1; --exponent) {
        scaled *= 10;
    }
    const Real shifted = scaled * kPowersOfTen[decimals];
    Real rounded = Trunc(shifted);
    if (shifted - rounded >= 0.5) {
        rounded += 1;
    }
    if (rounded >= kPowersOfTen[decimals + 1]) {
        rounded /= 10;
        ++exponent;
    }
    return {static_cast<std::uint64_t>(static_cast<std::int64_t>(rounded)), exponent};
}

void WriteMantissa(std::uint64_t mantissa, int decimals, Text& out) {
    char digits[Digits::kCapacity];
    for (int i = decimals; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + mantissa % 10);
        mantissa /= 10;
    }
    out.Append(digits[0]);
    out.Append('.');
    out.Append(std::string_view(digits + 1, static_cast<std::size_t>(decimals)));
}

// E, the sign and at least two digits.
void WriteExponent(int exponent, Text& out) {
    out.Append('E');
    out.Append(exponent < 0 ? '-' : '+');
    const auto magnitude = static_cast<std::uint32_t>(exponent < 0 ? -exponent : exponent);
    if (magnitude < 10) {
        out.Append('0');
    }
    out.Append(DecimalText(magnitude));
}

// The exponent form d.ddd...E+xx for 0 <= v, used for huge values and negative decimals.
// A negative count shows every significant digit.
template <typename Real>
void WriteExponentForm(Real v, int decimals, DigitRules<Real> rules, Text& out) {
    const int maxDecimals = rules.precision - 1;
    if (decimals < 0 || decimals > maxDecimals) {
        decimals = maxDecimals;
    } else if (decimals == 0) {
        decimals = 1;
    }
    const DecimalMantissa mantissa = v != 0 ? MantissaOf(v, decimals) : DecimalMantissa{};
    WriteMantissa(mantissa.digits, decimals, out);
    WriteExponent(mantissa.exponent, out);
}

// Pads to `width` first and cuts to the text's capacity afterwards: a width beyond the
// capacity leaves only blanks.
Text PadLeft(std::string_view body, std::int32_t width) {
    Text result;
    // In 64 bits: the least 32-bit width less the length would overflow.
    const std::int64_t blanks = std::int64_t{width} - static_cast<std::int64_t>(body.size());
    for (std::int32_t i = 0; i < blanks && i < Text::kCapacity; ++i) {
        result.Append(' ');
    }
    result.Append(body);
    return result;
}

}  // namespace

template <typename Real>
Text FormatFixedIn(Real x, std::int32_t width, std::int32_t decimals, RealKind kind) {
    if (IsNaN(x)) {
        return PadLeft("NaN", width);
    }
    if (IsInf(x)) {
        return PadLeft(SignBit(x) ? "-Inf" : "Inf", width);
    }

    const DigitRules<Real> rules = RulesFor<Real>(kind);
    Text body;
    // The sign bit decides, so negative zero and values that round to zero keep their minus.
    if (SignBit(x)) {
        body.Append('-');
    }
    const Real v = Abs(x);
    // 10^36 rounded as the literal 1e36 would be: one rounding of an exact product.
    const Real fixedLimit = PowerOfTen<Real>(kLargestExactPower) *
                            PowerOfTen<Real>(kFixedLimitPower - kLargestExactPower);
    if (v >= fixedLimit || decimals < 0) {
        WriteExponentForm(v, decimals, rules, body);
    } else {
        WriteFixed(v, decimals, rules, body);
    }
    return PadLeft(body.View(), width);
}

template Text FormatFixedIn(SoftExtendedReal, std::int32_t, std::int32_t, RealKind);
#if DUNGEON_X87_LONG_DOUBLE
template Text FormatFixedIn(HardwareExtendedReal, std::int32_t, std::int32_t, RealKind);
#endif

Text FormatFixed(ExtendedReal x, std::int32_t width, std::int32_t decimals, RealKind kind) {
    return FormatFixedIn(x, width, decimals, kind);
}

namespace {

// The digits from `at` on, as long as the magnitude stays within `limit`.
struct DigitRun {
    std::uint64_t magnitude = 0;
    int digitCount = 0;
    int end = 0;
};

DigitRun ReadDigits(const Text& text, int at, std::uint64_t limit) {
    DigitRun run;
    const int length = text.Length();
    run.end = at;
    while (run.end < length && text[run.end] >= '0' && text[run.end] <= '9') {
        auto digit = static_cast<std::uint64_t>(text[run.end] - '0');
        // A digit that would go beyond the range stops the number there, like any other
        // character that cannot belong to it.
        if (run.magnitude > (limit - digit) / 10) {
            break;
        }
        run.magnitude = run.magnitude * 10 + digit;
        ++run.digitCount;
        ++run.end;
    }
    return run;
}

}  // namespace

ParsedInteger ParseInteger(const Text& text) {
    const int length = text.Length();
    int i = 0;
    while (i < length && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    bool negative = false;
    if (i < length && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // The magnitude may reach 2^63 for a negative number.
    const std::uint64_t limit =
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
    const DigitRun digits = ReadDigits(text, i, limit);

    ParsedInteger result;
    if (negative) {
        // -(2^63) is reached by negating the magnitude minus one, which cannot overflow.
        result.value =
            digits.magnitude == 0 ? 0 : -static_cast<std::int64_t>(digits.magnitude - 1) - 1;
    } else {
        result.value = static_cast<std::int64_t>(digits.magnitude);
    }
    // Without a single digit there is no number: the position where one was missing is
    // reported, also at the end of the text.
    if (digits.digitCount == 0 || digits.end < length) {
        result.errorPosition = digits.end + 1;
    }
    return result;
}

std::string_view DecimalDigits(std::uint32_t value, std::array<char, 10>& room) {
    std::size_t first = room.size();
    do {
        room[--first] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    return {room.data() + first, room.size() - first};
}

int DecimalLength(std::uint32_t value) {
    int digits = 1;
    for (; value >= 10; value /= 10) {
        ++digits;
    }
    return digits;
}

Text DecimalText(std::uint32_t value) {
    std::array<char, 10> room{};
    return Text(DecimalDigits(value, room));
}

}  // namespace dungeon
