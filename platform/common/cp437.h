#pragma once
// Code page 437, the character set of every cell and text of the program.

#include <cstdint>
#include <string_view>

// The glyph of a CP437 byte. 0x00-0x1F and 0x7F are glyphs too (smileys,
// arrows, the house), never control codes.
char32_t Cp437ToUnicode(uint8_t byte);

// The same glyph as UTF-8, 1 to 3 bytes.
std::string_view Cp437ToUtf8(uint8_t byte);

// The CP437 byte showing a Unicode character, or -1 when code page 437 has none.
// Control characters map to -1, so input decoding never turns them into glyphs.
int UnicodeToCp437(char32_t character);
