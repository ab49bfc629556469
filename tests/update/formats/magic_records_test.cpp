#include "update/formats/magic_records.h"

#include <gtest/gtest.h>

#include "support/record_bytes.h"

namespace {

// Old layout: Byte1 0, Text1 1 (12), Text2 14 (12), Text3 27 (12), Text4 40
// (60), Text5 101 (60), Byte2 162, Byte3 163, Byte4 164, 40 bytes at 165 not
// carried over, Block1 205 (2295 bytes).
// New layout: Byte1 0, Text1 1 (12), Text2 14 (40), Text3 55 (40), Text4 96,
// Text5 157, Byte2 218, Byte3 219, Byte4 220, 40 zero bytes at 221, Block1
// 261.
constexpr size_t kOldSize = 2500;
constexpr size_t kNewSize = 2556;
constexpr size_t kBlockSize = 2295;

RecordBytes OldMagic(uint8_t junk) {
  RecordBytes old(kOldSize, junk);
  old.Byte(0, 0x5C)
      .Text(1, "*.ZIP")
      .Text(14, "FILES")
      .Text(27, "PRICELST")
      .Text(40, "C:\\FILES\\PRICES\\")
      .Text(101, "Price list, weekly")
      .Byte(162, 0x01)
      .Byte(163, 0x02)
      .Byte(164, 0x03)
      .Pattern(205, kBlockSize, 0x31);
  return old;
}

RecordBytes NewMagic() {
  RecordBytes expected(kNewSize);
  expected.Byte(0, 0x5C)
      .Text(1, "*.ZIP")
      .Text(14, "FILES")
      .Text(55, "PRICELST")
      .Text(96, "C:\\FILES\\PRICES\\")
      .Text(157, "Price list, weekly")
      .Byte(218, 0x01)
      .Byte(219, 0x02)
      .Byte(220, 0x03)
      .Pattern(261, kBlockSize, 0x31);
  return expected;
}

TEST(MagicRecord, EveryFieldAtItsNewOffsetAndTheRestZero) {
  // The junk fills the 40 bytes at 165 too: the new ones at 221 stay zero.
  for (uint8_t junk : {0x00, 0xA5, 0xFF}) {
    SCOPED_TRACE(int{junk});
    EXPECT_TRUE(SameBytes(ConvertOne(ConvertMagicRecord, OldMagic(junk), kNewSize), NewMagic()));
  }
}

TEST(MagicRecord, WidenedTextsKeepTwelveCharacters) {
  RecordBytes old = OldMagic(0xA5);
  old.Text(14, "TWELVECHARS2").Text(27, "TWELVECHARS3");
  RecordBytes expected = NewMagic();
  expected.Text(14, "TWELVECHARS2").Text(55, "TWELVECHARS3");
  EXPECT_TRUE(SameBytes(ConvertOne(ConvertMagicRecord, old, kNewSize), expected));
}

TEST(MagicRecord, DamagedLengthRunsOnIntoTheFollowingOldField) {
  struct Case {
    const char* name;
    size_t oldOffset, newOffset;
    uint8_t length, copied;  // copied = min(length, 40)
  };
  const Case cases[] = {
      {"Text2 into Text3", 14, 14, 20, 20},
      {"Text2 cut to 40", 14, 14, 255, 40},
      {"Text3 into Text4", 27, 55, 30, 30},
      {"Text3 cut to 40", 27, 55, 200, 40},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordBytes old = OldMagic(0xA5);
    old.Length(c.oldOffset, c.length);
    RecordBytes expected = NewMagic();
    expected.Length(c.newOffset, c.copied)
        .CopyFrom(c.newOffset + 1, old, c.oldOffset + 1, c.copied);
    EXPECT_TRUE(SameBytes(ConvertOne(ConvertMagicRecord, old, kNewSize), expected));
  }
}

TEST(MagicRecord, DamagedLengthOfANarrowFieldIsCutToItsCapacity) {
  RecordBytes old = OldMagic(0xA5);
  old.Length(1, 13).Length(40, 61).Length(101, 255);
  RecordBytes expected = NewMagic();
  expected.Length(1, 12).CopyFrom(2, old, 2, 12);
  expected.Length(96, 60).CopyFrom(97, old, 41, 60);
  expected.Length(157, 60).CopyFrom(158, old, 102, 60);
  EXPECT_TRUE(SameBytes(ConvertOne(ConvertMagicRecord, old, kNewSize), expected));
}

}  // namespace
