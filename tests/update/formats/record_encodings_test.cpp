#include "update/formats/record_encodings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

struct CopyCase {
  const char* name;
  std::string source;  // the old field's bytes and what follows it, to the old record's end
  size_t capacity;     // of the new field
  std::string target;  // the new field after the copy: length byte, then the text bytes
};

// The new field starts filled with 'z': the bytes past the new length must
// stay as they were.
TEST(CopyLenStr, CopiesMinOfLengthAndCapacityAndRunsOnPastTheOldField) {
  const CopyCase cases[] = {
      {"empty",
       std::string("\x00"
                   "ABC",
                   4),
       5, std::string("\x00zzzzz", 6)},
      {"short text",
       "\x03"
       "ABCdefgh",
       5,
       "\x03"
       "ABCzz"},
      {"text filling the new field",
       "\x05"
       "ABCDEfgh",
       5,
       "\x05"
       "ABCDE"},
      {"text cut to a narrower field",
       "\x07"
       "ABCDEFGh",
       5,
       "\x05"
       "ABCDE"},
      // A 4-character old field whose length byte says 7: the copy runs on
      // into the bytes of the next old field.
      {"damaged length runs on",
       "\x07"
       "ABCD"
       "\x02"
       "XY"
       "q",
       9,
       "\x07"
       "ABCD"
       "\x02"
       "XYzz"},
      {"damaged length cut to the new field",
       "\xFF"
       "ABCDEFGHIJ",
       5,
       "\x05"
       "ABCDE"},
      // The copy stops at the old record's end, whatever the length says.
      {"damaged length at the record's end",
       "\xC8"
       "AB",
       5,
       "\x02"
       "ABzzz"},
      {"length byte as the record's last byte", "\x09", 5, std::string("\x00zzzzz", 6)},
  };
  for (const CopyCase& c : cases) {
    SCOPED_TRACE(c.name);
    // The source exactly as long as what is left of the old record.
    const std::vector<uint8_t> source(c.source.begin(), c.source.end());
    std::vector<uint8_t> target(c.capacity + 1, 'z');
    CopyLenStr(target.data(), c.capacity, source.data(), source.data() + source.size());
    EXPECT_EQ(std::string(target.begin(), target.end()), c.target);
  }
}

// CopyText is CopyLenStr with the rest of the new field zero, whichever way
// it moves the bytes: for every length byte, for texts narrower and wider
// than the old field, and for old fields that end at or near the old
// record's end. The old record sits in a buffer of exactly its size, so the
// sanitizer build sees any read past it; the bytes around the new field
// must not change.
TEST(CopyText, IsCopyLenStrWithTheRestOfTheFieldZero) {
  struct TextCase {
    size_t capacity;   // of the new field
    size_t oldOffset;  // of the old field's length byte
    size_t oldSize;    // of the old record
  };
  const TextCase cases[] = {
      {5, 0, 40},    {8, 0, 40},     {8, 30, 40},    {12, 0, 40},   {15, 2, 40},    {16, 0, 40},
      {17, 3, 40},   {20, 0, 21},    {20, 0, 20},    {20, 10, 20},  {35, 1, 300},   {40, 0, 214},
      {79, 13, 214}, {80, 127, 214}, {80, 200, 214}, {255, 0, 300}, {255, 40, 300}, {255, 299, 300},
  };
  constexpr size_t kGuard = 7;
  for (const TextCase& c : cases) {
    for (int length = 0; length < 256; ++length) {
      SCOPED_TRACE("capacity " + std::to_string(c.capacity) + " at " + std::to_string(c.oldOffset) +
                   " of " + std::to_string(c.oldSize) + ", length byte " + std::to_string(length));
      const auto old = std::make_unique<uint8_t[]>(c.oldSize);
      for (size_t i = 0; i < c.oldSize; ++i) old[i] = static_cast<uint8_t>('A' + i % 26);
      old[c.oldOffset] = static_cast<uint8_t>(length);
      const Field to{kGuard, LenStr(c.capacity)};
      std::vector<uint8_t> record(End(to) + kGuard, 'z');

      CopyText(record.data(), to, old.get(), Field{c.oldOffset, 1}, old.get() + c.oldSize);

      const size_t available = c.oldSize - c.oldOffset - 1;
      const size_t kept = std::min<size_t>({static_cast<size_t>(length), c.capacity, available});
      std::vector<uint8_t> expected(End(to) + kGuard, 'z');
      expected[to.Offset] = static_cast<uint8_t>(kept);
      for (size_t i = 0; i < c.capacity; ++i)
        expected[to.Offset + 1 + i] = i < kept ? old[c.oldOffset + 1 + i] : 0;
      ASSERT_EQ(record, expected);
    }
  }
}

struct RealCase {
  std::array<uint8_t, 6> bytes;
  double expected;
};

TEST(Real6ToDouble, IsExactAndZeroWheneverTheExponentByteIsZero) {
  const double largest = std::ldexp(2.0 - std::ldexp(1.0, -39), 126);
  const RealCase cases[] = {
      {{0x81, 0, 0, 0, 0, 0x00}, 1.0},
      {{0x82, 0, 0, 0, 0, 0x80}, -2.0},
      {{0x81, 0, 0, 0, 0, 0x80}, -1.0},
      {{0x80, 0, 0, 0, 0, 0x00}, 0.5},
      {{0x84, 0, 0, 0, 0, 0x20}, 10.0},                        // 1.25 x 2^3: fraction bit 37
      {{0x81, 0, 0, 0, 0, 0x40}, 1.5},                         // the fraction's top bit
      {{0x81, 0x01, 0, 0, 0, 0}, 1.0 + std::ldexp(1.0, -39)},  // its lowest bit
      {{0x81, 0x01, 0x02, 0x03, 0x04, 0x05},
       1.0 + (0x0504030201 * std::ldexp(1.0, -39))},  // least significant byte first
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}, largest},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, -largest},
      {{0x01, 0, 0, 0, 0, 0}, std::ldexp(1.0, -128)},  // the smallest
      // Exponent byte 0 is +0.0, never -0.0 and never a denormal, whatever
      // the other bytes hold.
      {{0x00, 0, 0, 0, 0, 0}, 0.0},
      {{0x00, 0, 0, 0, 0, 0x80}, 0.0},
      {{0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0.0},
      {{0x00, 0x12, 0x34, 0x56, 0x78, 0x1A}, 0.0},
  };
  for (const RealCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes));
    // Bit for bit, so that -0.0 or a value one unit off shows.
    EXPECT_EQ(std::bit_cast<uint64_t>(Real6ToDouble(c.bytes.data())),
              std::bit_cast<uint64_t>(c.expected))
        << Real6ToDouble(c.bytes.data()) << " expected " << c.expected;
  }
}

TEST(StoreDouble, StoresLittleEndian) {
  std::array<uint8_t, 8> bytes{};
  StoreDouble(bytes.data(), -2.0);
  EXPECT_EQ(bytes, (std::array<uint8_t, 8>{0, 0, 0, 0, 0, 0, 0x00, 0xC0}));
  StoreDouble(bytes.data(), 1.0 + std::ldexp(1.0, -52));
  EXPECT_EQ(bytes, (std::array<uint8_t, 8>{1, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
}

}  // namespace
