#pragma once

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace dungeon {

// A length-prefixed text of at most 255 single-byte characters, stored inline.
// Every text of the game is one of these, so playing never touches the heap.
// Copying cuts at the capacity and appending keeps only what still fits.
class Text {
  public:
    static constexpr int kCapacity = 255;

    constexpr Text() = default;
    constexpr Text(const char* s) { Append(std::string_view(s)); }  // NOLINT: texts read naturally
    constexpr explicit Text(std::string_view s) { Append(s); }

    // A single character becomes a text of length one.
    static constexpr Text Of(char c) {
        Text t;
        t.chars_[0] = c;
        t.length_ = 1;
        return t;
    }

    constexpr int Length() const { return length_; }
    constexpr bool Empty() const { return length_ == 0; }
    constexpr char operator[](int index) const { return chars_[index]; }
    constexpr const char* Data() const { return chars_; }
    constexpr std::string_view View() const { return {chars_, length_}; }

    constexpr Text& Append(std::string_view s) {
        int room = kCapacity - length_;
        int take = static_cast<int>(s.size()) < room ? static_cast<int>(s.size()) : room;
        std::copy_n(s.data(), take, chars_ + length_);
        length_ = static_cast<std::uint8_t>(length_ + take);
        return *this;
    }
    constexpr Text& Append(const Text& t) { return Append(t.View()); }
    constexpr Text& Append(char c) {
        if (length_ < kCapacity) {
            chars_[length_++] = c;
        }
        return *this;
    }
    constexpr Text& operator+=(const Text& t) { return Append(t); }
    constexpr Text& operator+=(const char* s) { return Append(std::string_view(s)); }
    constexpr Text& operator+=(char c) { return Append(c); }

    friend constexpr Text operator+(Text a, const Text& b) { return a.Append(b); }
    friend constexpr Text operator+(Text a, const char* b) { return a.Append(std::string_view(b)); }
    friend constexpr bool operator==(const Text& a, const Text& b) { return a.View() == b.View(); }
    friend constexpr bool operator==(const Text& a, const char* b) {
        return a.View() == std::string_view(b);
    }

  private:
    std::uint8_t length_ = 0;
    char chars_[kCapacity] = {};
};

}  // namespace dungeon
