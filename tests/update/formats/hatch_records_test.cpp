#include "update/formats/hatch_records.h"

#include <gtest/gtest.h>

#include "support/record_bytes.h"

namespace {

// Old layout: Text1 0 (12), Text2 13 (79), Text3 93 (12), Text4 106 (20),
// Text5 127 (80), Byte1 208, Byte2 209, four bytes at 210 not carried over.
// New layout: Text1 0 (40), Text2 41, Text3 121, Text4 134, Text5 155,
// Byte1 236, Byte2 237, four zero bytes at 238.
constexpr size_t kOldSize = 214;
constexpr size_t kNewSize = 242;

// Every byte the fields leave free holds `junk`, so that a byte copied from
// the wrong place, or past a text's length, shows.
RecordBytes OldHatch(uint8_t junk) {
  RecordBytes old(kOldSize, junk);
  old.Text(0, "AREA01")
      .Text(13, "Weekly update of the price list")
      .Text(93, "PRICES.A23")
      .Text(106, "C:\\INBOUND")
      .Text(127, "Sent by the update utility")
      .Byte(208, 0x11)
      .Byte(209, 0x22);
  return old;
}

RecordBytes NewHatch() {
  RecordBytes expected(kNewSize);
  expected.Text(0, "AREA01")
      .Text(41, "Weekly update of the price list")
      .Text(121, "PRICES.A23")
      .Text(134, "C:\\INBOUND")
      .Text(155, "Sent by the update utility")
      .Byte(236, 0x11)
      .Byte(237, 0x22);
  return expected;
}

TEST(HatchRecord, EveryFieldAtItsNewOffsetAndTheRestZero) {
  for (uint8_t junk : {0x00, 0xA5, 0xFF}) {
    SCOPED_TRACE(int{junk});
    EXPECT_TRUE(SameBytes(ConvertOne(ConvertHatchRecord, OldHatch(junk), kNewSize), NewHatch()));
  }
}

TEST(HatchRecord, WidenedText1KeepsTwelveCharacters) {
  RecordBytes old = OldHatch(0xA5);
  old.Text(0, "TWELVECHARS!");
  RecordBytes expected = NewHatch();
  expected.Text(0, "TWELVECHARS!");
  EXPECT_TRUE(SameBytes(ConvertOne(ConvertHatchRecord, old, kNewSize), expected));
}

TEST(HatchRecord, DamagedText1LengthRunsOnIntoText2) {
  struct Case {
    uint8_t length;
    uint8_t copied;  // min(length, 40)
  };
  for (const Case c : {Case{13, 13}, Case{30, 30}, Case{40, 40}, Case{41, 40}, Case{255, 40}}) {
    SCOPED_TRACE(int{c.length});
    RecordBytes old = OldHatch(0xA5);
    old.Text(0, "TWELVECHARS!").Length(0, c.length);
    // The new Text1 holds the old bytes that follow its length byte: the 12
    // characters, then Text2's length byte and characters.
    RecordBytes expected = NewHatch();
    expected.Length(0, c.copied).CopyFrom(1, old, 1, c.copied);
    EXPECT_TRUE(SameBytes(ConvertOne(ConvertHatchRecord, old, kNewSize), expected));
  }
}

}  // namespace
