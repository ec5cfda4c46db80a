#pragma once

#include <cstdint>
#include <optional>

namespace dungeon {

// The parameters of a control sequence: up to four fields of up to three sub-fields each
// ("1;5:3"), the private marker before them ("?" in "CSI ? u") and the last intermediate
// byte ("$" in "CSI ? 2026 ; 2 $ y"). Fields beyond these are counted, not stored.
struct CsiParameters {
    static constexpr int kFields = 4;
    static constexpr int kSubFields = 3;
    std::uint32_t value[kFields][kSubFields] = {};
    int count = 0;  // fields present; 0 without parameter bytes
    std::uint8_t marker = 0;
    std::uint8_t intermediate = 0;

    // The main value of field `index` (below kFields), or `absent` if it was not given.
    std::uint32_t Field(int index, std::uint32_t absent) const {
        return count > index ? value[index][0] : absent;
    }
};

// One unit of what a terminal sends for keys and answers, before any meaning is given to it.
struct Token {
    enum class Kind : std::uint8_t {
        kInvalid,        // bytes that make no token: skipped
        kCharacter,      // an ASCII byte or a UTF-8 code point, in `codePoint`
        kEscape,         // an Escape that starts nothing: the Escape key
        kCsi,            // "ESC [ parameters final"
        kSs3,            // "ESC O modifier final", the cursor and keypad keys of xterm
        kLinuxFunction,  // the Linux console's "ESC [ [ final"
    };
    Kind kind = Kind::kInvalid;
    int length = 0;  // bytes it took; 0 while it is not complete
    // An Escape came first: Alt was down with the key (or the answer came after one).
    bool alt = false;
    std::uint32_t codePoint = 0;    // kCharacter
    std::uint8_t final = 0;         // kCsi, kSs3, kLinuxFunction
    std::uint32_t modifiers = 1;    // kSs3: its last number, xterm's modifier parameter
    CsiParameters parameters = {};  // kCsi
};

// Cuts the bytes from a terminal into tokens. It collects the bytes of a token not yet
// complete (a lone Escape, a sequence cut short by the end of a read), at most
// kMaxTokenBytes; a longer sequence is no key, and its bytes are skipped up to its final byte.
class Tokenizer {
  public:
    static constexpr int kMaxTokenBytes = 64;

    // Takes the next byte. Call Next until it returns nullopt before pushing another.
    void Push(std::uint8_t byte);
    // The next token of the bytes collected, which it takes away; nullopt while they may
    // still grow into a longer token. With `complete`, no more bytes are coming for them:
    // they are cut into tokens as they stand, and none is left over.
    std::optional<Token> Next(bool complete);
    // Whether bytes of a token not yet complete are waiting for the rest.
    bool HasUnfinishedToken() const { return length_ > 0 || skipping_; }

  private:
    std::uint8_t bytes_[kMaxTokenBytes] = {};
    int length_ = 0;
    bool skipping_ = false;
};

}  // namespace dungeon
