#include "update/formats/node_records.h"

#include <gtest/gtest.h>

#include <array>

#include "support/record_bytes.h"

namespace {

// Old offsets: Long1 0, Long2 4, Text1 8 (35), Text2 44 (20), Block1 65
// (32), Byte1-14 97-110, Text3 111 (20), Byte15 132, Byte16 133, Long3 134,
// Long4 138, Byte17 142, Block2 143 (32), Real1 175, Real2 181, Real3 187,
// Byte18 193, Byte19 194, Real4 195, Word1 201, Text4 203 (60), Real5 264,
// Text5 270 (8), Text6 279 (60), Byte20-24 340-344, 43 bytes at 345 not
// carried over.
// New offsets: the same up to Block2; Real1 175, Real2 183, Real3 191,
// Byte18 199, Byte19 200, Real4 201, Word1 209, Text4 211, Real5 272, Text5
// 280, Text6 289, Byte20-24 350-354, 43 zero bytes at 355.
constexpr size_t kOldSize = 388;
constexpr size_t kNewSize = 398;

using Real6 = std::array<uint8_t, 6>;
constexpr size_t kOldReals[] = {175, 181, 187, 195, 264};
constexpr size_t kNewReals[] = {175, 183, 191, 201, 272};

RecordBytes& Real(RecordBytes& record, size_t offset, const Real6& real) {
  for (size_t i = 0; i < real.size(); ++i) record.Byte(offset + i, real[i]);
  return record;
}

RecordBytes OldNode(uint8_t junk) {
  RecordBytes old(kOldSize, junk);
  old.Long(0, 0x01020304)
      .Long(4, 0x05060708)
      .Text(8, "Harbour Office")
      .Text(44, "Northern district")
      .Pattern(65, 32, 0x10)
      .Pattern(97, 14, 0x60)
      .Text(111, "A. Operator")
      .Byte(132, 0x21)
      .Byte(133, 0x22)
      .Long(134, 0x11223344)
      .Long(138, 0x55667788)
      .Byte(142, 0x23)
      .Pattern(143, 32, 0x90)
      .Byte(193, 0x24)
      .Byte(194, 0x25)
      .Word(201, 0xBEEF)
      .Text(203, "host.example.net")
      .Text(270, "PASSWD")
      .Text(279, "Traffic through the main office")
      .Bytes(340, {0x31, 0x32, 0x33, 0x34, 0x35});
  // Five different values, so a real stored at another real's place shows.
  Real(old, 175, {0x81, 0, 0, 0, 0, 0x00});  // 1.0
  Real(old, 181, {0x82, 0, 0, 0, 0, 0x80});  // -2.0
  Real(old, 187, {0x80, 0, 0, 0, 0, 0x00});  // 0.5
  Real(old, 195, {0x84, 0, 0, 0, 0, 0x20});  // 10.0
  Real(old, 264, {0x00, 1, 2, 3, 4, 0x85});  // exponent byte 0: 0.0
  return old;
}

RecordBytes NewNode() {
  RecordBytes expected(kNewSize);
  expected.Long(0, 0x01020304)
      .Long(4, 0x05060708)
      .Text(8, "Harbour Office")
      .Text(44, "Northern district")
      .Pattern(65, 32, 0x10)
      .Pattern(97, 14, 0x60)
      .Text(111, "A. Operator")
      .Byte(132, 0x21)
      .Byte(133, 0x22)
      .Long(134, 0x11223344)
      .Long(138, 0x55667788)
      .Byte(142, 0x23)
      .Pattern(143, 32, 0x90)
      .Double(175, 1.0)
      .Double(183, -2.0)
      .Double(191, 0.5)
      .Byte(199, 0x24)
      .Byte(200, 0x25)
      .Double(201, 10.0)
      .Word(209, 0xBEEF)
      .Text(211, "host.example.net")
      .Double(272, 0.0)
      .Text(280, "PASSWD")
      .Text(289, "Traffic through the main office")
      .Bytes(350, {0x31, 0x32, 0x33, 0x34, 0x35});
  return expected;
}

// The junk fills the 43 bytes at 345 and the bytes past each text's length:
// the new record has zeros there and ends in 43 zero bytes.
TEST(NodeRecord, EveryFieldAtItsNewOffsetAndTheRestZero) {
  for (uint8_t junk : {0x00, 0xA5, 0xFF}) {
    SCOPED_TRACE(int{junk});
    EXPECT_TRUE(SameBytes(ConvertOne(ConvertNodeRecord, OldNode(junk), kNewSize), NewNode()));
  }
}

TEST(NodeRecord, EveryRealConvertedAtItsNewOffset) {
  struct Case {
    Real6 real;
    double value;
  };
  const Case cases[] = {
      {{0x81, 0, 0, 0, 0, 0x00}, 1.0},
      {{0x82, 0, 0, 0, 0, 0x80}, -2.0},
      {{0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    RecordBytes old = OldNode(0xA5);
    RecordBytes expected = NewNode();
    for (size_t r = 0; r < 5; ++r) {
      Real(old, kOldReals[r], c.real);
      expected.Double(kNewReals[r], c.value);
    }
    EXPECT_TRUE(SameBytes(ConvertOne(ConvertNodeRecord, old, kNewSize), expected));
  }
}

TEST(NodeRecord, DamagedLengthIsCutToTheField) {
  // Text5 (8) claims 200 characters and Text6, the last text, 255.
  RecordBytes old = OldNode(0xA5);
  old.Length(270, 200).Length(279, 255).Length(8, 36);
  RecordBytes expected = NewNode();
  expected.Length(280, 8).CopyFrom(281, old, 271, 8);
  expected.Length(289, 60).CopyFrom(290, old, 280, 60);
  expected.Length(8, 35).CopyFrom(9, old, 9, 35);
  EXPECT_TRUE(SameBytes(ConvertOne(ConvertNodeRecord, old, kNewSize), expected));
}

}  // namespace
