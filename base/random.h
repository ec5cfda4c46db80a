#pragma once

#include <cstdint>

#include "base/extended_real.h"

namespace dungeon {

// Three combined linear congruential generators (Wichmann-Hill style) with a public
// seed; the other two states are derived from the seed whenever it was set from outside.
// Gives the same integers on every platform.
class RandomNumbers {
  public:
    // Sets the public seed; the next draw reseeds from it.
    void SetSeed(std::uint32_t seed) { seed_ = seed; }
    // 0..n-1 for n > 0, 0 for n = 0, n+1..0 for n < 0.
    std::int32_t Random(std::int32_t n);
    // The fractional part of the three combined states: 0 <= r < 1.
    ExtendedReal NextReal();

    std::uint32_t Seed() const { return seed_; }
    std::uint32_t State2() const { return state2_; }
    std::uint32_t State3() const { return state3_; }

  private:
    void ReseedIfNeeded();
    void Reseed();
    std::uint32_t NextInteger(std::uint32_t n);

    std::uint32_t seed_ = 0;
    std::uint32_t lastSeed_ = 0;
    bool needsReseed_ = true;
    std::uint32_t state2_ = 0;
    std::uint32_t state3_ = 0;
};

// The generator of the program.
RandomNumbers& TheRandom();
std::int32_t Random(std::int32_t n);
// Nearest integer, a tie going to the even neighbour.
std::int32_t Round(ExtendedReal x);

}  // namespace dungeon
