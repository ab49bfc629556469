#include "platform/common/cp437.h"

#include <gtest/gtest.h>

namespace {

// Decodes one UTF-8 character; -1 when the bytes are not exactly one.
long DecodeOne(std::string_view text) {
  if (text.empty()) return -1;
  const auto b0 = static_cast<unsigned char>(text[0]);
  if (b0 < 0x80) return text.size() == 1 ? b0 : -1;
  const size_t length = b0 >= 0xE0 ? 3 : 2;
  if (text.size() != length) return -1;
  long value = b0 & (length == 3 ? 0x0F : 0x1F);
  for (size_t i = 1; i < length; ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if ((b & 0xC0) != 0x80) return -1;
    value = (value << 6) | (b & 0x3F);
  }
  return value;
}

TEST(Cp437Test, NoByteShowsAsAControlCharacter) {
  for (int byte = 0; byte < 256; ++byte) {
    const std::string_view utf8 = Cp437ToUtf8(static_cast<uint8_t>(byte));
    const long decoded = DecodeOne(utf8);
    ASSERT_EQ(decoded, static_cast<long>(Cp437ToUnicode(static_cast<uint8_t>(byte))))
        << "byte " << byte;
    EXPECT_FALSE(decoded < 0x20 || (decoded >= 0x7F && decoded < 0xA0)) << "byte " << byte;
  }
}

TEST(Cp437Test, GlyphsOfTheProgramsOwnCharacters) {
  struct Case {
    uint8_t byte;
    char32_t glyph;
  };
  const Case cases[] = {
      {0x01, 0x263A}, {0x1B, 0x2190}, {0x7F, 0x2302}, {177, 0x2592}, {179, 0x2502},
      {184, 0x2555},  {190, 0x255B},  {205, 0x2550}, {212, 0x2558}, {213, 0x2552},
      {220, 0x2584},  {223, 0x2580},  {'A', 'A'},    {0xFF, 0x00A0},
  };
  for (const Case& c : cases) EXPECT_EQ(Cp437ToUnicode(c.byte), c.glyph) << int(c.byte);
}

TEST(Cp437Test, InputMapsBackToTheSameByteButNeverToAControlCode) {
  for (int byte = 0x20; byte < 256; ++byte) {
    if (byte == 0x7F) continue;
    EXPECT_EQ(UnicodeToCp437(Cp437ToUnicode(static_cast<uint8_t>(byte))), byte) << byte;
  }
  EXPECT_EQ(UnicodeToCp437(U'\r'), -1);
  EXPECT_EQ(UnicodeToCp437(U'\x1b'), -1);
  EXPECT_EQ(UnicodeToCp437(0x20AC), -1);  // the euro sign has no CP437 byte
}

}  // namespace
