#include "base/number_text.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace dungeon {

namespace {

// Above this magnitude the fixed layout would need more than 36 integer digits; such values
// (and a negative number of decimals) are written in exponent form instead.
constexpr long double kFixedLimit = 1e36L;

// 10^0 .. 10^17, all exact in long double.
constexpr long double kPowersOfTen[] = {1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,
                                        1e6L,  1e7L,  1e8L,  1e9L,  1e10L, 1e11L,
                                        1e12L, 1e13L, 1e14L, 1e15L, 1e16L, 1e17L};

struct DigitRules {
    int precision;          // significant digits generated, at most
    long double tolerance;  // how close to a digit boundary still counts as reaching it
};

DigitRules RulesFor(RealKind kind) {
    // A stored 64-bit real carries about 16 significant digits, an extended one 17.
    return kind == RealKind::kDouble ? DigitRules{16, 1e-15L} : DigitRules{17, 1e-16L};
}

long double FractionOf(long double v) {
    return v - std::trunc(v);
}

// The digit a computed value stands for. Rounding can make it 10, which the caller turns
// into a carry; anything else odd (a NaN from a malformed value) becomes 0 before the
// conversion, which would otherwise be undefined.
int DigitOf(long double value) {
    if (!(value >= 1.0L)) {
        return 0;
    }
    if (value >= 10.0L) {
        return 10;
    }
    return static_cast<int>(value);
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

// Collects characters without touching the heap; more than fits is dropped.
class CharBuffer {
  public:
    static constexpr int kCapacity = 96;

    void Put(char c) {
        if (length_ < kCapacity) {
            chars_[length_++] = c;
        }
    }
    int Length() const { return length_; }
    std::string_view View() const { return {chars_, static_cast<std::size_t>(length_)}; }

  private:
    char chars_[kCapacity] = {};
    int length_ = 0;
};

// The fixed layout of 0 <= v < 10^36 with 0 <= decimals.
void WriteFixed(long double v, int decimals, DigitRules rules, CharBuffer& out) {
    const int precision = rules.precision;
    const long double almostOne = 1.0L - rules.tolerance;
    if (decimals > precision) {
        decimals = precision;
    }

    // Integer part: v, v/10, ... as long as they stay above almost one.
    Digits digits;
    long double quotients[40];
    int n = 0;
    for (long double q = v; q > almostOne && n < 40; q /= 10.0L) {
        quotients[n++] = q;
    }
    int exponent = 0;
    int lastPlace = 0;
    if (n > 0) {
        for (int k = n - 1; k >= 0 && digits.Count() < precision; --k) {
            long double value =
                k == n - 1 ? quotients[k] : quotients[k] - 10.0L * std::trunc(quotients[k + 1]);
            digits.Push(DigitOf(value));
            lastPlace = k;
        }
        exponent = n - 1;
        // Continue with what lies below the last generated digit, so that rounding acts
        // there also when the integer part has more digits than are generated.
        v = FractionOf(quotients[lastPlace]);
    }

    int remaining = precision - digits.Count();
    if (remaining > decimals) {
        remaining = decimals;
    }

    if (n == 0 && v != 0.0L) {
        while (v < 0.1L - rules.tolerance) {
            v *= 10.0L;
            --exponent;
            --remaining;
        }
        --exponent;
    }

    if (remaining >= 0) {
        long double half = 0.5L / kPowersOfTen[remaining];
        if (v >= half) {
            v += half;
        }
        if (std::trunc(v) == 1.0L) {
            digits.AddOneToLast();
            v = FractionOf(v);
        }
    }

    for (int i = 0; i < remaining; ++i) {
        v = v > almostOne ? 10.0L * FractionOf(v) : 10.0L * v;
        digits.Push(DigitOf(v));
    }

    // Digits from `first` on are the number; a guard digit that a carry raised joins them.
    int first = 1;
    if (digits.At(0) != 0) {
        first = 0;
        ++exponent;
    }
    const int available = digits.Count() + 1 - first;
    auto digitChar = [&](int index) {
        return index >= 0 && index < available ? static_cast<char>('0' + digits.At(first + index))
                                               : '0';
    };

    if (exponent >= 0) {
        // A leading digit can stay 0 where v lay within the tolerance below a power of ten.
        int start = 0;
        while (start < exponent && digitChar(start) == '0') {
            ++start;
        }
        for (int i = start; i <= exponent; ++i) {
            out.Put(digitChar(i));
        }
        if (decimals > 0) {
            out.Put('.');
            for (int i = 1; i <= decimals; ++i) {
                out.Put(digitChar(exponent + i));
            }
        }
    } else {
        out.Put('0');
        if (decimals > 0) {
            out.Put('.');
            // -exponent - 1 zeros come before the first generated digit; a very small value
            // has more of them than there are decimals.
            long long zeros = -static_cast<long long>(exponent) - 1;
            for (int i = 0; i < decimals; ++i) {
                out.Put(i < zeros ? '0' : digitChar(static_cast<int>(i - zeros)));
            }
        }
    }
}

// v * 10^power for any power a long double can meet, in steps that cannot overflow
// before the result would.
long double ScaleByPowerOfTen(long double v, int power) {
    constexpr int kStep = 256;
    constexpr long double kStepFactor = 1e256L;
    while (power > kStep) {
        v *= kStepFactor;
        power -= kStep;
    }
    while (power < -kStep) {
        v /= kStepFactor;
        power += kStep;
    }
    return power >= 0 ? v * std::pow(10.0L, power) : v / std::pow(10.0L, -power);
}

// The exponent form d.ddd...E+xx for 0 <= v, used for huge values and negative decimals.
// A negative count shows every significant digit.
void WriteExponentForm(long double v, int decimals, DigitRules rules, CharBuffer& out) {
    const int maxDecimals = rules.precision - 1;
    if (decimals < 0 || decimals > maxDecimals) {
        decimals = maxDecimals;
    } else if (decimals == 0) {
        decimals = 1;
    }

    int exponent = 0;
    std::uint64_t mantissa = 0;
    if (v != 0.0L) {
        exponent = static_cast<int>(std::floor(std::log10(v)));
        long double scaled = ScaleByPowerOfTen(v, -exponent);
        // log10 may be off by one at exact powers of ten.
        if (scaled >= 10.0L) {
            scaled /= 10.0L;
            ++exponent;
        } else if (scaled < 1.0L) {
            scaled *= 10.0L;
            --exponent;
        }
        long double rounded = std::round(scaled * kPowersOfTen[decimals]);
        if (rounded >= kPowersOfTen[decimals + 1]) {
            rounded /= 10.0L;
            ++exponent;
        }
        mantissa = static_cast<std::uint64_t>(rounded);
    }

    char mantissaDigits[20];
    for (int i = decimals; i >= 0; --i) {
        mantissaDigits[i] = static_cast<char>('0' + mantissa % 10);
        mantissa /= 10;
    }
    out.Put(mantissaDigits[0]);
    out.Put('.');
    for (int i = 1; i <= decimals; ++i) {
        out.Put(mantissaDigits[i]);
    }

    out.Put('E');
    out.Put(exponent < 0 ? '-' : '+');
    int magnitude = exponent < 0 ? -exponent : exponent;
    char exponentDigits[8];
    int count = 0;
    do {
        exponentDigits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0);
    if (count < 2) {
        exponentDigits[count++] = '0';
    }
    while (count > 0) {
        out.Put(exponentDigits[--count]);
    }
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

Text FormatFixed(long double x, std::int32_t width, std::int32_t decimals, RealKind kind) {
    if (std::isnan(x)) {
        return PadLeft("NaN", width);
    }
    if (std::isinf(x)) {
        return PadLeft(x < 0 ? "-Inf" : "Inf", width);
    }

    const DigitRules rules = RulesFor(kind);
    CharBuffer body;
    // The sign bit decides, so negative zero and values that round to zero keep their minus.
    if (std::signbit(x)) {
        body.Put('-');
    }
    const long double v = std::fabs(x);
    if (v >= kFixedLimit || decimals < 0) {
        WriteExponentForm(v, decimals, rules, body);
    } else {
        WriteFixed(v, decimals, rules, body);
    }
    return PadLeft(body.View(), width);
}

ParsedInteger ParseInteger(const Text& text) {
    ParsedInteger result;
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

    // The magnitude may reach 2^63 for a negative number; a digit that would go beyond
    // the range stops the number there, like any other character that cannot belong to it.
    const std::uint64_t limit =
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
    std::uint64_t magnitude = 0;
    int digitCount = 0;
    while (i < length && text[i] >= '0' && text[i] <= '9') {
        auto digit = static_cast<std::uint64_t>(text[i] - '0');
        if (magnitude > (limit - digit) / 10) {
            break;
        }
        magnitude = magnitude * 10 + digit;
        ++digitCount;
        ++i;
    }

    if (negative) {
        // -(2^63) is reached by negating the magnitude minus one, which cannot overflow.
        result.value = magnitude == 0 ? 0 : -static_cast<std::int64_t>(magnitude - 1) - 1;
    } else {
        result.value = static_cast<std::int64_t>(magnitude);
    }
    // Without a single digit there is no number: the position where one was missing is
    // reported, also at the end of the text.
    if (digitCount == 0 || i < length) {
        result.errorPosition = i + 1;
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
