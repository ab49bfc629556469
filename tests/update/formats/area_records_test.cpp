#include "update/formats/area_records.h"

#include <gtest/gtest.h>

#include <array>

#include "support/record_bytes.h"

namespace {

// The file area record and the group record share their fields up to the
// opaque block. Old offsets: Text1 0 (40), Text2 41 (12), Text3 54 (55),
// Byte1 110, Word1 111, Byte2 113, Byte3 114, Byte4 115, Text4 116 (60),
// Word2 177, Word3 179, Byte5 181, Byte6 182, Word4 183, Byte7 185, Byte8
// 186, Text5 187 (8), Real1 196 (6), Byte9 202, Byte10 203, Real2 204 (6),
// Byte11 210, Word5 211 ... Word10 221, Byte12 223, Byte13 224, Byte14 225,
// 14 bytes at 226 not carried over, Block1 240 (2295). The group record adds
// Text6 at 2535 (25).
// New offsets: the same up to Text5; Real1 196 (8), Byte9 204, Byte10 205,
// Real2 206 (8), Byte11 214, Word5 215 ... Word10 225, Byte12 227, Byte13
// 228, Byte14 229, 14 zero bytes at 230, Block1 244; group Text6 at 2539.
constexpr size_t kOldAreaSize = 2535, kNewAreaSize = 2539;
constexpr size_t kOldGroupSize = 2561, kNewGroupSize = 2565;
constexpr size_t kBlockSize = 2295;

using Real6 = std::array<uint8_t, 6>;
constexpr Real6 kOne{0x81, 0, 0, 0, 0, 0x00};
constexpr Real6 kMinusTwo{0x82, 0, 0, 0, 0, 0x80};

RecordBytes& Real(RecordBytes& record, size_t offset, const Real6& real) {
  for (size_t i = 0; i < real.size(); ++i) record.Byte(offset + i, real[i]);
  return record;
}

// The shared fields, each with its own value, the reals left to the caller.
RecordBytes OldShared(size_t size, uint8_t junk) {
  RecordBytes old(size, junk);
  old.Text(0, "Price lists and updates")
      .Text(41, "PRICELST")
      .Text(54, "/srv/files/prices/")
      .Byte(110, 0x01)
      .Word(111, 0x1234)
      .Byte(113, 0x02)
      .Byte(114, 0x03)
      .Byte(115, 0x04)
      .Text(116, "Weekly lists for every branch")
      .Word(177, 0x2345)
      .Word(179, 0x3456)
      .Byte(181, 0x05)
      .Byte(182, 0x06)
      .Word(183, 0x4567)
      .Byte(185, 0x07)
      .Byte(186, 0x08)
      .Text(187, "LISTS")
      .Byte(202, 0x09)
      .Byte(203, 0x0A)
      .Byte(210, 0x0B)
      .Word(211, 0x5678)
      .Word(213, 0x6789)
      .Word(215, 0x789A)
      .Word(217, 0x89AB)
      .Word(219, 0x9ABC)
      .Word(221, 0xABCD)
      .Byte(223, 0x0C)
      .Byte(224, 0x0D)
      .Byte(225, 0x0E)
      .Pattern(240, kBlockSize, 0x40);
  return old;
}

RecordBytes NewShared(size_t size) {
  RecordBytes expected(size);
  expected.Text(0, "Price lists and updates")
      .Text(41, "PRICELST")
      .Text(54, "/srv/files/prices/")
      .Byte(110, 0x01)
      .Word(111, 0x1234)
      .Byte(113, 0x02)
      .Byte(114, 0x03)
      .Byte(115, 0x04)
      .Text(116, "Weekly lists for every branch")
      .Word(177, 0x2345)
      .Word(179, 0x3456)
      .Byte(181, 0x05)
      .Byte(182, 0x06)
      .Word(183, 0x4567)
      .Byte(185, 0x07)
      .Byte(186, 0x08)
      .Text(187, "LISTS")
      .Byte(204, 0x09)
      .Byte(205, 0x0A)
      .Byte(214, 0x0B)
      .Word(215, 0x5678)
      .Word(217, 0x6789)
      .Word(219, 0x789A)
      .Word(221, 0x89AB)
      .Word(223, 0x9ABC)
      .Word(225, 0xABCD)
      .Byte(227, 0x0C)
      .Byte(228, 0x0D)
      .Byte(229, 0x0E)
      .Pattern(244, kBlockSize, 0x40);
  return expected;
}

RecordBytes OldGroup(uint8_t junk) {
  RecordBytes old = OldShared(kOldGroupSize, junk);
  old.Text(2535, "Branch offices");
  return old;
}

RecordBytes NewGroup() {
  RecordBytes expected = NewShared(kNewGroupSize);
  expected.Text(2539, "Branch offices");
  return expected;
}

// The junk fills the 14 bytes at 226 and the bytes past each text's length;
// the new record has zeros there.
TEST(AreaRecord, EveryFieldAtItsNewOffsetAndTheRealsZero) {
  const Real6 reals[] = {kOne, kMinusTwo, {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};
  for (uint8_t junk : {0x00, 0xA5, 0xFF}) {
    for (const Real6& real : reals) {
      SCOPED_TRACE(::testing::Message()
                   << "junk " << int{junk} << ", reals " << ::testing::PrintToString(real));
      RecordBytes old = OldShared(kOldAreaSize, junk);
      Real(old, 196, real);
      Real(old, 204, real);
      // Both reals are eight zero bytes, 0.0, whatever they held.
      EXPECT_TRUE(
          SameBytes(ConvertOne(ConvertAreaRecord, old, kNewAreaSize), NewShared(kNewAreaSize)));
    }
  }
}

TEST(GroupRecord, EveryFieldAtItsNewOffsetTextSixAfterTheBlock) {
  for (uint8_t junk : {0x00, 0xA5, 0xFF}) {
    SCOPED_TRACE(int{junk});
    RecordBytes old = OldGroup(junk);
    Real(old, 196, kOne);
    Real(old, 204, kMinusTwo);
    RecordBytes expected = NewGroup();
    expected.Double(196, 1.0).Double(206, -2.0);
    EXPECT_TRUE(SameBytes(ConvertOne(ConvertGroupRecord, old, kNewGroupSize), expected));
  }
}

TEST(GroupRecord, RealsConvertedAtBothNewOffsets) {
  struct Case {
    Real6 real;
    double value;
  };
  const Case cases[] = {
      {kOne, 1.0},
      {kMinusTwo, -2.0},
      {{0x84, 0, 0, 0, 0, 0x20}, 10.0},
      {{0x00, 0, 0, 0, 0, 0}, 0.0},
      {{0x00, 0x11, 0x22, 0x33, 0x44, 0xD5}, 0.0},  // exponent byte 0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    for (size_t which : {0, 1}) {
      RecordBytes old = OldGroup(0xA5);
      // The other real holds 0.5, so a real stored at the other's place shows.
      Real(old, 196, which == 0 ? c.real : Real6{0x80, 0, 0, 0, 0, 0});
      Real(old, 204, which == 1 ? c.real : Real6{0x80, 0, 0, 0, 0, 0});
      RecordBytes expected = NewGroup();
      expected.Double(196, which == 0 ? c.value : 0.5).Double(206, which == 1 ? c.value : 0.5);
      EXPECT_TRUE(SameBytes(ConvertOne(ConvertGroupRecord, old, kNewGroupSize), expected));
    }
  }
}

TEST(AreaAndGroupRecords, DamagedLengthIsCutToTheField) {
  // Text5 (8) claims 200 characters: the new Text5 holds the 8 that follow
  // its length byte, and the reals after it are untouched by the copy.
  RecordBytes area = OldShared(kOldAreaSize, 0xA5);
  area.Length(187, 200).Length(41, 13);
  RecordBytes expectedArea = NewShared(kNewAreaSize);
  expectedArea.Length(187, 8).CopyFrom(188, area, 188, 8).Length(41, 12).CopyFrom(42, area, 42, 12);
  EXPECT_TRUE(SameBytes(ConvertOne(ConvertAreaRecord, area, kNewAreaSize), expectedArea));

  // Text6, the group record's last field, claims 255 characters.
  RecordBytes group = OldGroup(0xA5);
  group.Length(2535, 255);
  Real(group, 196, kOne);
  Real(group, 204, kOne);
  RecordBytes expectedGroup = NewGroup();
  expectedGroup.Double(196, 1.0).Double(206, 1.0).Length(2539, 25).CopyFrom(2540, group, 2536, 25);
  EXPECT_TRUE(SameBytes(ConvertOne(ConvertGroupRecord, group, kNewGroupSize), expectedGroup));
}

}  // namespace
