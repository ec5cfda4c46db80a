#pragma once

#include <cstdint>

namespace dungeon {

// The codes from `first` to `last`, both included: a class of bytes or characters.
struct CodeRange {
    std::uint32_t first;
    std::uint32_t last;
    constexpr bool Has(std::uint32_t code) const { return code >= first && code <= last; }
};

}  // namespace dungeon
