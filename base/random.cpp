#include "base/random.h"

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

ExtendedReal RandomNumbers::NextReal() {
    ReseedIfNeeded();
    seed_ = ((seed_ + 1) * kMultiplier1) % kModulus1;
    lastSeed_ = seed_;
    state2_ = ((state2_ + 1) * kMultiplier2) % kModulus2;
    state3_ = ((state3_ + 1) * kMultiplier3) % kModulus3;

    // The order of the additions matters for the last bit of the sum.
    const ExtendedReal sum = (ExtendedReal(seed_) / kModulus1 + ExtendedReal(state2_) / kModulus2) +
                             ExtendedReal(state3_) / kModulus3;
    return sum - Trunc(sum);
}

std::int32_t RandomNumbers::Random(std::int32_t n) {
    // 0 <= r < 1, and the product rounded to 64 bits stays below |n|, so the conversion is
    // always in range.
    return static_cast<std::int32_t>(ExtendedReal(n) * NextReal());
}

RandomNumbers& TheRandom() {
    static RandomNumbers generator;
    return generator;
}

std::int32_t Random(std::int32_t n) {
    return TheRandom().Random(n);
}

std::int32_t Round(ExtendedReal x) {
    // Values outside the 32-bit range saturate instead of overflowing the conversion.
    if (IsNaN(x)) {
        return 0;
    }
    if (x >= 2147483647.5) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (x <= -2147483648.5) {
        return std::numeric_limits<std::int32_t>::min();
    }
    const ExtendedReal whole = Floor(x);
    const ExtendedReal rest = x - whole;  // exact
    // In 64 bits: just above -2^31 - 1/2 the whole number below x is -2^31 - 1.
    const auto wholeNumber = static_cast<std::int64_t>(whole);
    if (rest > 0.5 || (rest == 0.5 && wholeNumber % 2 != 0)) {
        return static_cast<std::int32_t>(wholeNumber + 1);
    }
    return static_cast<std::int32_t>(wholeNumber);
}

}  // namespace dungeon
