#pragma once

// The 80-bit extended real of the x87 unit, in which the game forms its sums, products and
// number texts: a 64-bit significand with an explicit leading bit, a 15-bit exponent, and
// every operation rounded to nearest, ties to even. Where the compiler's long double is
// that very type (x86-64 with GCC or clang), ExtendedReal is a thin wrapper around it;
// elsewhere (MSVC, AArch64, WebAssembly) it is computed in software to the same bits,
// operation by operation. DUNGEON_SOFTWARE_EXTENDED forces the software type, to test it
// against the hardware.
#include <cfloat>
#include <cmath>
#include <compare>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>

#if (defined(__x86_64__) || defined(_M_X64)) && LDBL_MANT_DIG == 64
#define DUNGEON_X87_LONG_DOUBLE 1
#else
#define DUNGEON_X87_LONG_DOUBLE 0
#endif

namespace dungeon {

// The stored form of an extended real: sign and biased exponent in 16 bits, then the
// significand. Two reals with equal bits are the same value.
struct ExtendedBits {
    std::uint16_t signAndExponent = 0;
    std::uint64_t significand = 0;

    friend bool operator==(const ExtendedBits&, const ExtendedBits&) = default;
};

// The x87 extended real computed with integers. Conversions from double and 32-bit
// integers are exact and implicit, as they are for long double; conversions out of it are
// explicit. NaNs follow the x87 rules: an invalid operation gives the negative quiet NaN,
// a NaN operand comes back quiet.
class SoftExtendedReal {
  public:
    constexpr SoftExtendedReal() = default;
    SoftExtendedReal(double value);
    SoftExtendedReal(std::int32_t value);
    SoftExtendedReal(std::uint32_t value);

    static constexpr SoftExtendedReal FromBits(ExtendedBits bits) {
        SoftExtendedReal real;
        real.bits_ = bits;
        return real;
    }
    constexpr ExtendedBits Bits() const { return bits_; }

    // Rounded to nearest; beyond double's range infinity, below it a subnormal or zero.
    explicit operator double() const;
    // Cut toward zero; NaN and values out of range give the lowest value of the type.
    explicit operator std::int32_t() const;
    explicit operator std::int64_t() const;

    friend SoftExtendedReal operator+(SoftExtendedReal a, SoftExtendedReal b);
    friend SoftExtendedReal operator-(SoftExtendedReal a, SoftExtendedReal b);
    friend SoftExtendedReal operator*(SoftExtendedReal a, SoftExtendedReal b);
    friend SoftExtendedReal operator/(SoftExtendedReal a, SoftExtendedReal b);
    friend SoftExtendedReal operator-(SoftExtendedReal a);
    SoftExtendedReal& operator+=(SoftExtendedReal b) { return *this = *this + b; }
    SoftExtendedReal& operator-=(SoftExtendedReal b) { return *this = *this - b; }
    SoftExtendedReal& operator*=(SoftExtendedReal b) { return *this = *this * b; }
    SoftExtendedReal& operator/=(SoftExtendedReal b) { return *this = *this / b; }

    friend bool operator==(SoftExtendedReal a, SoftExtendedReal b);
    friend std::partial_ordering operator<=>(SoftExtendedReal a, SoftExtendedReal b);

    friend SoftExtendedReal Trunc(SoftExtendedReal x);
    friend SoftExtendedReal Floor(SoftExtendedReal x);
    friend SoftExtendedReal Abs(SoftExtendedReal x);
    friend bool SignBit(SoftExtendedReal x) { return (x.bits_.signAndExponent & 0x8000u) != 0; }
    friend bool IsNaN(SoftExtendedReal x);
    friend bool IsInf(SoftExtendedReal x);

  private:
    ExtendedBits bits_;
};

#if DUNGEON_X87_LONG_DOUBLE
// The x87's own long double behind the same interface as the software type.
class HardwareExtendedReal {
  public:
    static_assert(std::numeric_limits<long double>::digits == 64 &&
                  std::numeric_limits<long double>::max_exponent == 16384);

    constexpr HardwareExtendedReal() = default;
    constexpr HardwareExtendedReal(double value) : value_(value) {}
    constexpr HardwareExtendedReal(std::int32_t value) : value_(value) {}
    constexpr HardwareExtendedReal(std::uint32_t value) : value_(value) {}

    static HardwareExtendedReal FromBits(ExtendedBits bits) {
        HardwareExtendedReal real;
        std::memcpy(&real.value_, &bits.significand, sizeof bits.significand);
        std::memcpy(reinterpret_cast<char*>(&real.value_) + sizeof bits.significand,
                    &bits.signAndExponent, sizeof bits.signAndExponent);
        return real;
    }
    ExtendedBits Bits() const {
        ExtendedBits bits;
        std::memcpy(&bits.significand, &value_, sizeof bits.significand);
        std::memcpy(&bits.signAndExponent,
                    reinterpret_cast<const char*>(&value_) + sizeof bits.significand,
                    sizeof bits.signAndExponent);
        return bits;
    }

    explicit operator double() const { return static_cast<double>(value_); }
    explicit operator std::int32_t() const { return static_cast<std::int32_t>(value_); }
    explicit operator std::int64_t() const { return static_cast<std::int64_t>(value_); }

    friend HardwareExtendedReal operator+(HardwareExtendedReal a, HardwareExtendedReal b) {
        return Of(a.value_ + b.value_);
    }
    friend HardwareExtendedReal operator-(HardwareExtendedReal a, HardwareExtendedReal b) {
        return Of(a.value_ - b.value_);
    }
    friend HardwareExtendedReal operator*(HardwareExtendedReal a, HardwareExtendedReal b) {
        return Of(a.value_ * b.value_);
    }
    friend HardwareExtendedReal operator/(HardwareExtendedReal a, HardwareExtendedReal b) {
        return Of(a.value_ / b.value_);
    }
    friend HardwareExtendedReal operator-(HardwareExtendedReal a) { return Of(-a.value_); }
    HardwareExtendedReal& operator+=(HardwareExtendedReal b) { return *this = *this + b; }
    HardwareExtendedReal& operator-=(HardwareExtendedReal b) { return *this = *this - b; }
    HardwareExtendedReal& operator*=(HardwareExtendedReal b) { return *this = *this * b; }
    HardwareExtendedReal& operator/=(HardwareExtendedReal b) { return *this = *this / b; }

    friend bool operator==(HardwareExtendedReal a, HardwareExtendedReal b) {
        return a.value_ == b.value_;
    }
    friend std::partial_ordering operator<=>(HardwareExtendedReal a, HardwareExtendedReal b) {
        return a.value_ <=> b.value_;
    }

    friend HardwareExtendedReal Trunc(HardwareExtendedReal x) { return Of(std::trunc(x.value_)); }
    friend HardwareExtendedReal Floor(HardwareExtendedReal x) { return Of(std::floor(x.value_)); }
    friend HardwareExtendedReal Abs(HardwareExtendedReal x) { return Of(std::fabs(x.value_)); }
    friend bool SignBit(HardwareExtendedReal x) { return std::signbit(x.value_); }
    friend bool IsNaN(HardwareExtendedReal x) { return std::isnan(x.value_); }
    friend bool IsInf(HardwareExtendedReal x) { return std::isinf(x.value_); }

  private:
    static HardwareExtendedReal Of(long double value) {
        HardwareExtendedReal real;
        real.value_ = value;
        return real;
    }

    long double value_ = 0;
};
#endif

#if DUNGEON_X87_LONG_DOUBLE && !defined(DUNGEON_SOFTWARE_EXTENDED)
using ExtendedReal = HardwareExtendedReal;
// How this build computes its extended reals, in one word (`dungeon --version` shows it).
inline constexpr std::string_view kExtendedRealName = "x87";
#else
using ExtendedReal = SoftExtendedReal;
inline constexpr std::string_view kExtendedRealName = "software";
#endif

}  // namespace dungeon
