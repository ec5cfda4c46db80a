#pragma once

#include <cstdint>

namespace dungeon {

// The character at the front of some UTF-8 bytes.
struct Utf8Character {
    enum class Kind : std::uint8_t {
        kCharacter,   // `codePoint`, in `length` bytes
        kInvalid,     // no character: skip `length` bytes and decode again
        kIncomplete,  // the bytes end inside a character: more may complete it
    };
    Kind kind = Kind::kIncomplete;
    std::uint32_t codePoint = 0;
    int length = 0;
};

// Decodes the character that starts `bytes` (`count` of them, at least one). Overlong forms,
// surrogates and what lies beyond U+10FFFF are invalid; a byte that breaks a character off is
// not taken, as it may start the next one.
Utf8Character DecodeUtf8(const std::uint8_t* bytes, int count);

}  // namespace dungeon
