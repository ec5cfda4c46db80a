#include "base/random.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace dungeon {

namespace {

// Moduli and multipliers of the three combined generators and of the seeding generator.
constexpr std::uint32_t kModulus1 = 500009;
constexpr std::uint32_t kModulus2 = 600011;
constexpr std::uint32_t kModulus3 = 765241;
constexpr std::uint32_t kMultiplier1 = 706;
constexpr std::uint32_t kMultiplier2 = 774;
constexpr std::uint32_t kMultiplier3 = 871;
constexpr std::uint32_t kSeedModulus = 1000003;
constexpr std::uint32_t kSeedMultiplier = 998;
// Range of the four seeding draws; their pairwise products stay below 2^32.
constexpr std::uint32_t kSeedDrawRange = 65000;

// The three moduli are primes, so the sum of the three quotients is exactly
// numerator / kDenominator. kDenominator < 2^58, so every numerator fits in 64 bits.
constexpr std::uint64_t kDenominator = std::uint64_t{kModulus1} * kModulus2 * kModulus3;
static_assert(kDenominator < (std::uint64_t{1} << 58));

// Every draw of the game depends on NextReal's sum being formed with a 64-bit mantissa.
// A long double of that size is not enough on its own: an x87 unit set to 53-bit precision
// rounds like double, so the arithmetic is probed once at run time.
bool ExtendedArithmeticWorks() {
    if constexpr (std::numeric_limits<long double>::digits != 64) {
        return false;
    } else {
        volatile long double one = 1.0L;
        volatile long double smallest = 0x1p-63L;
        return one + smallest != one;
    }
}

bool UseExtendedArithmetic() {
    static const bool works = ExtendedArithmeticWorks();
    return works;
}

// Numerator of the fractional part of seed/m1 + state2/m2 + state3/m3 over kDenominator.
std::uint64_t FractionNumerator(std::uint32_t seed, std::uint32_t state2, std::uint32_t state3) {
    // Whole multiples of a modulus only add whole numbers to the sum, so reducing each state
    // first changes nothing; then each term is below kDenominator and the sum below 3 * 2^58.
    std::uint64_t sum = (seed % kModulus1) * (std::uint64_t{kModulus2} * kModulus3) +
                        (state2 % kModulus2) * (std::uint64_t{kModulus1} * kModulus3) +
                        (state3 % kModulus3) * (std::uint64_t{kModulus1} * kModulus2);
    return sum % kDenominator;
}

// floor(m * numerator / kDenominator) for m <= 2^31 and numerator < kDenominator, without a
// 128-bit type: the product is formed in two 64-bit halves and divided four bits at a time.
std::uint64_t ScaledFloor(std::uint64_t m, std::uint64_t numerator) {
    std::uint64_t lowProduct = m * (numerator & 0xFFFFFFFFu);  // < 2^64
    std::uint64_t highProduct = m * (numerator >> 32);         // < 2^58
    std::uint64_t low = lowProduct + (highProduct << 32);
    std::uint64_t high = (highProduct >> 32) + (low < lowProduct ? 1 : 0);

    // The remainder stays below kDenominator < 2^58, so 16 * remainder + 15 cannot overflow;
    // the quotient never exceeds m.
    std::uint64_t quotient = 0;
    std::uint64_t remainder = 0;
    for (int shift = 124; shift >= 0; shift -= 4) {
        std::uint64_t nibble = shift >= 64 ? (high >> (shift - 64)) & 0xF : (low >> shift) & 0xF;
        remainder = remainder * 16 + nibble;
        quotient = quotient * 16 + remainder / kDenominator;
        remainder %= kDenominator;
    }
    return quotient;
}

// trunc(n * numerator / kDenominator), cut toward zero like the extended computation.
std::int32_t TruncatedProduct(std::int32_t n, std::uint64_t numerator) {
    std::int64_t wide = n;
    auto magnitude = static_cast<std::uint64_t>(wide < 0 ? -wide : wide);
    // numerator < kDenominator keeps the result strictly inside (-|n|, |n|).
    auto scaled = static_cast<std::int64_t>(ScaledFloor(magnitude, numerator));
    return static_cast<std::int32_t>(wide < 0 ? -scaled : scaled);
}

}  // namespace

void RandomNumbers::ReseedIfNeeded() {
    if (needsReseed_ || seed_ != lastSeed_) {
        needsReseed_ = false;
        lastSeed_ = seed_;
        Reseed();
    }
}

void RandomNumbers::Reseed() {
    // A seed that this reduction changes no longer matches lastSeed_, so the first draw
    // below runs a complete nested reseed before its own step. That is how the generator
    // has always behaved; the outer reseed then overwrites both states.
    seed_ %= kSeedModulus;
    std::uint32_t a = NextInteger(kSeedDrawRange);
    std::uint32_t b = NextInteger(kSeedDrawRange);
    state2_ = (a * b) % kModulus2;
    std::uint32_t c = NextInteger(kSeedDrawRange);
    std::uint32_t d = NextInteger(kSeedDrawRange);
    state3_ = (c * d) % kModulus3;
}

std::uint32_t RandomNumbers::NextInteger(std::uint32_t n) {
    ReseedIfNeeded();
    seed_ = ((seed_ + 1) * kSeedMultiplier) % kSeedModulus;
    lastSeed_ = seed_;
    return n == 0 ? 0 : seed_ % n;
}

long double RandomNumbers::NextReal() {
    ReseedIfNeeded();
    seed_ = ((seed_ + 1) * kMultiplier1) % kModulus1;
    lastSeed_ = seed_;
    state2_ = ((state2_ + 1) * kMultiplier2) % kModulus2;
    state3_ = ((state3_ + 1) * kMultiplier3) % kModulus3;
    lastNumerator_ = FractionNumerator(seed_, state2_, state3_);

    // The order of the additions matters for the last bit of the sum.
    long double sum = (static_cast<long double>(seed_) / kModulus1 +
                       static_cast<long double>(state2_) / kModulus2) +
                      static_cast<long double>(state3_) / kModulus3;
    return sum - std::trunc(sum);
}

std::int32_t RandomNumbers::Random(std::int32_t n) {
    long double r = NextReal();
    if (UseExtendedArithmetic()) {
        // 0 <= r < 1 and r is at least 1/kDenominator away from 1, so the product cannot
        // reach n and the conversion is always in range.
        return static_cast<std::int32_t>(static_cast<long double>(n) * r);
    }
    return TruncatedProduct(n, lastNumerator_);
}

std::int32_t TruncatedProductExact(std::int32_t n, std::uint32_t seed, std::uint32_t state2,
                                   std::uint32_t state3) {
    return TruncatedProduct(n, FractionNumerator(seed, state2, state3));
}

RandomNumbers& TheRandom() {
    static RandomNumbers generator;
    return generator;
}

std::int32_t Random(std::int32_t n) {
    return TheRandom().Random(n);
}

std::int32_t Round(long double x) {
    // Values outside the 32-bit range saturate instead of overflowing the conversion.
    if (std::isnan(x)) {
        return 0;
    }
    if (x >= 2147483647.5L) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (x <= -2147483648.5L) {
        return std::numeric_limits<std::int32_t>::min();
    }
    long double whole = std::floor(x);
    long double rest = x - whole;  // exact
    if (rest > 0.5L || (rest == 0.5L && std::fmod(whole, 2.0L) != 0.0L)) {
        whole += 1.0L;
    }
    return static_cast<std::int32_t>(whole);
}

}  // namespace dungeon
