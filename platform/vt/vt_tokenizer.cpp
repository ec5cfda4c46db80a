#include "platform/vt/vt_tokenizer.h"

#include <algorithm>
#include <cstring>

#include "base/code_range.h"
#include "base/utf8.h"

namespace dungeon {
namespace {

using Kind = Token::Kind;

constexpr std::uint8_t kEsc = 0x1B, kCsiIntroducer = '[', kSs3Introducer = 'O',
                       kRxvtShiftFinal = '$';
constexpr std::uint32_t kNumberLimit = 0xFFFFFF;
// The byte classes of a control sequence: parameters, then intermediates, then one final.
constexpr CodeRange kParameterBytes{0x30, 0x3F}, kIntermediateBytes{0x20, 0x2F},
    kFinalBytes{0x40, 0x7E};
constexpr CodeRange kMarkers{0x3C, 0x3F};  // "<", "=", ">", "?" before the numbers
constexpr CodeRange kPrintable{0x20, 0x7E}, kDigits{'0', '9'};
constexpr Token kIncomplete{};

constexpr std::uint32_t WithDigit(std::uint32_t number, std::uint8_t digit) {
    return std::min(number * 10 + (digit - '0'), kNumberLimit);
}

Token Invalid(int length) {
    return {.kind = Kind::kInvalid, .length = length};
}

Token Character(std::uint32_t codePoint, int length, bool alt = false) {
    return {.kind = Kind::kCharacter, .length = length, .alt = alt, .codePoint = codePoint};
}

// A sequence whose parameters end at s[i]: it ends there with `final`; a byte that cannot stand in
// it ends it too as no key, except after a bare "ESC [" or "ESC O" (Alt with the introducer).
Token Ended(Token token, const std::uint8_t* s, int i, int n, bool final) {
    if (i >= n) {
        return kIncomplete;
    }
    if (!final) {
        return i == 2 ? Character(s[1], 2, true) : Invalid(i);
    }
    token.final = s[i];
    token.length = i + 1;
    return token;
}

// A character that does not start with Escape: ASCII or a UTF-8 sequence.
Token Plain(const std::uint8_t* s, int n, bool complete) {
    const Utf8Character c = DecodeUtf8(s, n);
    switch (c.kind) {
        case Utf8Character::Kind::kCharacter:
            return Character(c.codePoint, c.length);
        case Utf8Character::Kind::kInvalid:
            return Invalid(c.length);
        case Utf8Character::Kind::kIncomplete:
            break;
    }
    return complete ? Invalid(n) : kIncomplete;
}

// "ESC [" and what follows.
Token Csi(const std::uint8_t* s, int n) {
    if (n < 3 || (s[2] == kCsiIntroducer && n < 4)) {
        return kIncomplete;
    }
    if (s[2] == kCsiIntroducer) {  // the Linux console's F1..F5
        return kPrintable.Has(s[3])
                   ? Token{.kind = Kind::kLinuxFunction, .length = 4, .final = s[3]}
                   : Invalid(3);
    }
    Token token{.kind = Kind::kCsi};
    CsiParameters& p = token.parameters;
    int i = 2;
    if (kMarkers.Has(s[i])) {
        p.marker = s[i++];
    }
    int start = i;
    int field = 0;
    int sub = 0;
    for (; i < n && kParameterBytes.Has(s[i]); ++i) {
        if (kDigits.Has(s[i]) && field < CsiParameters::kFields &&
            sub < CsiParameters::kSubFields) {
            p.value[field][sub] = WithDigit(p.value[field][sub], s[i]);
        } else if (s[i] == ';') {
            ++field;
            sub = 0;
        } else if (s[i] == ':') {
            ++sub;
        }
    }
    p.count = i > start ? field + 1 : 0;
    // rxvt ends its Shift+editing and function keys with "$" ("CSI 5 $"): nothing would
    // follow to end them otherwise.
    auto rxvtEnd = [&] { return s[i] == kRxvtShiftFinal && p.marker == 0 && p.intermediate == 0; };
    for (; i < n && kIntermediateBytes.Has(s[i]) && !rxvtEnd(); ++i) {
        p.intermediate = s[i];
    }
    return Ended(token, s, i, n, i < n && (kFinalBytes.Has(s[i]) || rxvtEnd()));
}

// "ESC O" and what follows; the last number before the final is the modifier parameter.
Token Ss3(const std::uint8_t* s, int n) {
    Token token{.kind = Kind::kSs3};
    std::uint32_t number = 0;
    int i = 2;
    for (; i < n && kParameterBytes.Has(s[i]); ++i) {
        number = kDigits.Has(s[i]) ? WithDigit(number, s[i]) : 0;
        token.modifiers = number;
    }
    return Ended(token, s, i, n, i < n && kFinalBytes.Has(s[i]));
}

// What starts with Escape: a sequence, Alt with a key, or the Escape key itself.
Token Escaped(const std::uint8_t* s, int n, bool complete) {
    constexpr Token kEscape{.kind = Kind::kEscape, .length = 1};
    if (n == 1 || (n == 2 && s[1] == kEsc)) {
        return complete ? kEscape : kIncomplete;
    }
    if (s[1] == kCsiIntroducer || s[1] == kSs3Introducer) {
        Token token = s[1] == kCsiIntroducer ? Csi(s, n) : Ss3(s, n);
        if (token.length != 0 || !complete) {
            return token;
        }
        // Nothing followed in time: Alt with "[" or "O", or a broken sequence.
        return n == 2 ? Character(s[1], 2, true) : Invalid(n);
    }
    // Escape before a sequence is Alt with that key (rxvt); before another Escape it is
    // the Escape key. Before a character it is Alt with it, else the Escape key alone.
    bool sequence = s[1] == kEsc && (s[2] == kCsiIntroducer || s[2] == kSs3Introducer);
    if (s[1] == kEsc && !sequence) {
        return kEscape;
    }
    Token inner = sequence ? Escaped(s + 1, n - 1, complete) : Plain(s + 1, n - 1, complete);
    if (inner.length == 0 || (!sequence && inner.kind != Kind::kCharacter)) {
        return inner.length == 0 ? inner : kEscape;  // what follows is cut again on its own
    }
    inner.length += 1;
    inner.alt = inner.kind != Kind::kInvalid;
    return inner;
}

}  // namespace

void Tokenizer::Push(std::uint8_t byte) {
    bool inSequence = kParameterBytes.Has(byte) || kIntermediateBytes.Has(byte);
    bool skipped = skipping_ && (inSequence || kFinalBytes.Has(byte));
    skipping_ = skipping_ && inSequence;
    if (!skipped && length_ < kMaxTokenBytes) {
        bytes_[length_++] = byte;
    }
}

std::optional<Token> Tokenizer::Next(bool complete) {
    skipping_ = skipping_ && !complete;
    if (length_ == 0) {
        return std::nullopt;
    }
    Token token =
        bytes_[0] == kEsc ? Escaped(bytes_, length_, complete) : Plain(bytes_, length_, complete);
    if (token.length == 0) {
        // No key is this long: skip the rest of it rather than collect it without end.
        skipping_ = length_ >= kMaxTokenBytes;
        length_ = skipping_ ? 0 : length_;
        return std::nullopt;
    }
    int used = std::min(token.length, length_);
    std::memmove(bytes_, bytes_ + used, static_cast<std::size_t>(length_ - used));
    length_ -= used;
    return token;
}

}  // namespace dungeon
