#pragma once

// What every fuzz target shares: reading its input as a stream of small numbers, and a
// check that stops the run with a message the campaign log keeps beside the input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace dungeon::fuzz {

// Reads the fuzzer's bytes front to back. Past the end every read gives 0, so a short
// input is still a whole, valid run.
class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool Empty() const { return at_ >= size_; }
    std::size_t Left() const { return Empty() ? 0 : size_ - at_; }
    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::uint16_t Word() {
        auto high = static_cast<std::uint16_t>(Byte() << 8);
        return static_cast<std::uint16_t>(high | Byte());
    }
    std::uint32_t Long() {
        std::uint32_t high = Word();
        return high << 16 | Word();
    }
    // A number in [low, high].
    int InRange(int low, int high) {
        auto span = static_cast<unsigned>(high - low + 1);
        return low + static_cast<int>(Word() % span);
    }
    // Up to `count` bytes straight from the input; how many were there.
    std::size_t Bytes(std::uint8_t* out, std::size_t count) {
        std::size_t n = 0;
        while (n < count && at_ < size_) {
            out[n++] = data_[at_++];
        }
        return n;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// A broken invariant: says which, then aborts so that libFuzzer keeps the input.
[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

inline void Require(bool condition, const char* what) {
    if (!condition) {
        Fail(what);
    }
}

}  // namespace dungeon::fuzz
