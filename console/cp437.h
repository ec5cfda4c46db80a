#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace dungeon {

// Code page 437, the character set of the PC console. A cell's byte is shown as its
// glyph there, so the control range (smileys, card suits, arrows) and the upper half
// (accented letters, box drawing, Greek) must be translated for a UTF-8 terminal.

// Code points below it are ASCII, the lower half: one byte each, in UTF-8 as on the PC.
inline constexpr std::uint32_t kAsciiEnd = 0x80;

// The glyph of `byte` as UTF-8. Byte 0 shows as a blank, as on the PC screen.
std::string_view Cp437Glyph(std::uint8_t byte);
// The same glyph as one UTF-16 unit (every glyph lies in the Basic Multilingual Plane).
char16_t Cp437CodePoint(std::uint8_t byte);

// The byte in 128..255 whose glyph is `codePoint`, if there is one. Lets typed characters
// such as "ä" arrive as the byte the PC keyboard would give.
std::optional<std::uint8_t> Cp437FromCodePoint(std::uint32_t codePoint);
// The byte a typed character arrives as: ASCII as itself (a control character is no glyph),
// anything else as Cp437FromCodePoint has it.
std::optional<std::uint8_t> Cp437FromCharacter(std::uint32_t character);

}  // namespace dungeon
