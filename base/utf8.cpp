#include "base/utf8.h"

namespace dungeon {
namespace {

constexpr std::uint8_t kContinuationMask = 0xC0, kContinuationTag = 0x80, kContinuationBits = 0x3F;
constexpr std::uint32_t kFirstSurrogate = 0xD800, kLastSurrogate = 0xDFFF,
                        kLastCodePoint = 0x10FFFF;

// The lead bytes of UTF-8 characters: their bits of the code point, and the least code
// point of that length (a smaller one is overlong).
constexpr struct {
    std::uint8_t first;
    std::uint8_t last;
    int length;
    std::uint8_t mask;
    std::uint32_t least;
} kLeads[] = {{0x00, 0x7F, 1, 0x7F, 0},
              {0xC2, 0xDF, 2, 0x1F, 0x80},
              {0xE0, 0xEF, 3, 0x0F, 0x800},
              {0xF0, 0xF4, 4, 0x07, 0x10000}};

}  // namespace

Utf8Character DecodeUtf8(const std::uint8_t* bytes, int count) {
    using Kind = Utf8Character::Kind;
    for (const auto& lead : kLeads) {
        if (bytes[0] < lead.first || bytes[0] > lead.last) {
            continue;
        }
        std::uint32_t codePoint = bytes[0] & lead.mask;
        for (int i = 1; i < lead.length; ++i) {
            if (i >= count) {
                return {Kind::kIncomplete, 0, count};
            }
            if ((bytes[i] & kContinuationMask) != kContinuationTag) {
                return {Kind::kInvalid, 0, 1};
            }
            codePoint = (codePoint << 6) | (bytes[i] & kContinuationBits);
        }
        const bool bad = codePoint < lead.least || codePoint > kLastCodePoint ||
                         (codePoint >= kFirstSurrogate && codePoint <= kLastSurrogate);
        return {bad ? Kind::kInvalid : Kind::kCharacter, bad ? 0 : codePoint, lead.length};
    }
    return {Kind::kInvalid, 0, 1};
}

}  // namespace dungeon
