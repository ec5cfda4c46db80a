#include "platform/vt/vt_tokenizer.h"

#include <cstring>

namespace dungeon {
namespace {

constexpr std::uint8_t kEsc = 0x1B;
constexpr std::uint8_t kCsiIntroducer = '[';
constexpr std::uint8_t kSs3Introducer = 'O';
constexpr std::uint32_t kNumberLimit = 0xFFFFFF;
// The largest code point, and the surrogates, which UTF-8 must not carry.
constexpr std::uint32_t kLastCodePoint = 0x10FFFF;
constexpr std::uint32_t kFirstSurrogate = 0xD800;
constexpr std::uint32_t kLastSurrogate = 0xDFFF;

// The byte classes of a control sequence: parameters, then intermediates, then one final.
constexpr bool IsParameterByte(std::uint8_t b) {
    return b >= 0x30 && b <= 0x3F;
}
constexpr bool IsMarker(std::uint8_t b) {
    return b >= 0x3C && b <= 0x3F;  // "<", "=", ">", "?" before the numbers
}
constexpr bool IsIntermediateByte(std::uint8_t b) {
    return b >= 0x20 && b <= 0x2F;
}
constexpr bool IsFinalByte(std::uint8_t b) {
    return b >= 0x40 && b <= 0x7E;
}
constexpr bool IsPrintable(std::uint8_t b) {
    return b >= 0x20 && b < 0x7F;
}

void AddDigit(std::uint32_t& number, std::uint8_t digit) {
    number = number * 10 + (digit - '0');
    if (number > kNumberLimit) {
        number = kNumberLimit;
    }
}

Token Incomplete() {
    return Token{};  // length 0: nothing taken
}

Token Invalid(int length) {
    Token token;
    token.length = length;
    return token;
}

Token Character(std::uint32_t codePoint, int length, bool alt = false) {
    Token token;
    token.kind = Token::Kind::kCharacter;
    token.length = length;
    token.codePoint = codePoint;
    token.alt = alt;
    return token;
}

Token Escape() {
    Token token;
    token.kind = Token::Kind::kEscape;
    token.length = 1;
    return token;
}

bool IsIncomplete(const Token& token) {
    return token.length == 0;
}

// A character that does not start with Escape: ASCII or a UTF-8 sequence.
Token Plain(const std::uint8_t* s, int n, bool complete) {
    std::uint8_t lead = s[0];
    if (lead < 0x80) {
        return Character(lead, 1);
    }
    int length = 0;
    std::uint32_t codePoint = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
    } else {
        return Invalid(1);
    }
    for (int i = 1; i < length; ++i) {
        if (i >= n) {
            return complete ? Invalid(n) : Incomplete();
        }
        if ((s[i] & 0xC0) != 0x80) {
            return Invalid(1);  // the byte that broke it may start the next character
        }
        codePoint = (codePoint << 6) | (s[i] & 0x3Fu);
    }
    bool overlong = (length == 3 && codePoint < 0x800) || (length == 4 && codePoint < 0x10000);
    bool surrogate = codePoint >= kFirstSurrogate && codePoint <= kLastSurrogate;
    if (overlong || surrogate || codePoint > kLastCodePoint) {
        return Invalid(length);
    }
    return Character(codePoint, length);
}

// "ESC [" and what follows.
Token Csi(const std::uint8_t* s, int n) {
    if (n < 3) {
        return Incomplete();
    }
    if (s[2] == '[') {  // the Linux console's F1..F5
        if (n < 4) {
            return Incomplete();
        }
        if (!IsPrintable(s[3])) {
            return Invalid(3);
        }
        Token token;
        token.kind = Token::Kind::kLinuxFunction;
        token.length = 4;
        token.final = s[3];
        return token;
    }
    Token token;
    token.kind = Token::Kind::kCsi;
    CsiParameters& p = token.parameters;
    int i = 2;
    if (IsMarker(s[i])) {
        p.marker = s[i];
        ++i;
    }
    int start = i;
    int field = 0;
    int sub = 0;
    for (; i < n && IsParameterByte(s[i]); ++i) {
        std::uint8_t c = s[i];
        if (c >= '0' && c <= '9') {
            if (field < CsiParameters::kFields && sub < CsiParameters::kSubFields) {
                AddDigit(p.value[field][sub], c);
            }
        } else if (c == ';') {
            ++field;
            sub = 0;
        } else if (c == ':') {
            ++sub;
        }
    }
    p.count = i > start ? field + 1 : 0;
    for (; i < n && IsIntermediateByte(s[i]); ++i) {
        if (s[i] == '$' && p.marker == 0 && p.intermediate == 0) {
            // rxvt ends its Shift+editing and function keys with "$" ("CSI 5 $"): nothing
            // would follow to end them otherwise.
            token.final = '$';
            token.length = i + 1;
            return token;
        }
        p.intermediate = s[i];
    }
    if (i >= n) {
        return Incomplete();
    }
    if (IsFinalByte(s[i])) {
        token.final = s[i];
        token.length = i + 1;
        return token;
    }
    // A byte that cannot stand in a sequence ends it: what came before is no key, except
    // a bare "ESC [", which was Alt with "[".
    if (i == 2) {
        return Character(kCsiIntroducer, 2, true);
    }
    return Invalid(i);
}

// "ESC O" and what follows.
Token Ss3(const std::uint8_t* s, int n) {
    int i = 2;
    std::uint32_t modifiers = 1;
    std::uint32_t number = 0;
    for (; i < n && IsParameterByte(s[i]); ++i) {
        if (s[i] >= '0' && s[i] <= '9') {
            AddDigit(number, s[i]);
        } else {
            number = 0;
        }
        modifiers = number;  // the last number is the modifier parameter
    }
    if (i >= n) {
        return Incomplete();
    }
    if (!IsFinalByte(s[i])) {
        if (i == 2) {  // "ESC O" and then something else: Alt with "O"
            return Character(kSs3Introducer, 2, true);
        }
        return Invalid(i);
    }
    Token token;
    token.kind = Token::Kind::kSs3;
    token.length = i + 1;
    token.final = s[i];
    token.modifiers = modifiers;
    return token;
}

// What starts with Escape: a sequence, Alt with a key, or the Escape key itself.
Token Escaped(const std::uint8_t* s, int n, bool complete) {
    if (n == 1) {
        return complete ? Escape() : Incomplete();
    }
    if (s[1] == kCsiIntroducer || s[1] == kSs3Introducer) {
        Token token = s[1] == kCsiIntroducer ? Csi(s, n) : Ss3(s, n);
        if (!IsIncomplete(token) || !complete) {
            return token;
        }
        // Nothing followed in time: Alt with "[" or "O", or a broken sequence.
        return n == 2 ? Character(s[1], 2, true) : Invalid(n);
    }
    if (s[1] == kEsc) {
        // Escape before a sequence is Alt with that key (rxvt); otherwise two Escapes.
        if (n == 2) {
            return complete ? Escape() : Incomplete();
        }
        if (s[2] != kCsiIntroducer && s[2] != kSs3Introducer) {
            return Escape();
        }
        Token inner = Escaped(s + 1, n - 1, complete);
        if (!IsIncomplete(inner)) {
            inner.length += 1;
            inner.alt = inner.kind != Token::Kind::kInvalid;
        }
        return inner;
    }
    Token inner = Plain(s + 1, n - 1, complete);
    if (IsIncomplete(inner)) {
        return inner;
    }
    if (inner.kind != Token::Kind::kCharacter) {
        return Escape();  // and what follows is cut again on its own
    }
    inner.length += 1;
    inner.alt = true;
    return inner;
}

}  // namespace

void Tokenizer::Push(std::uint8_t byte) {
    if (skipping_) {
        if (IsParameterByte(byte) || IsIntermediateByte(byte)) {
            return;
        }
        skipping_ = false;
        if (IsFinalByte(byte)) {
            return;
        }
    }
    if (length_ < kMaxHeld) {
        held_[length_++] = byte;
    }
}

std::optional<Token> Tokenizer::Next(bool complete) {
    if (complete) {
        skipping_ = false;
    }
    if (length_ == 0) {
        return std::nullopt;
    }
    Token token =
        held_[0] == kEsc ? Escaped(held_, length_, complete) : Plain(held_, length_, complete);
    if (IsIncomplete(token)) {
        if (length_ >= kMaxHeld) {
            // No key is this long: skip the rest of it rather than hold it without end.
            length_ = 0;
            skipping_ = true;
        }
        return std::nullopt;
    }
    int used = token.length < length_ ? token.length : length_;
    std::memmove(held_, held_ + used, static_cast<std::size_t>(length_ - used));
    length_ -= used;
    return token;
}

}  // namespace dungeon
