#pragma once
// The magic filename file, MGICFILE.TVN: records of 2500 bytes in the old
// layout, 2556 in the new one, where Text2 and Text3 grow from 12 to 40
// characters.

#include "update/formats/record_encodings.h"

struct OldMagicRecord {
  static constexpr Field Byte1{0, 1};
  static constexpr Field Text1{1, LenStr(12)};
  static constexpr Field Text2{14, LenStr(12)};
  static constexpr Field Text3{27, LenStr(12)};
  static constexpr Field Text4{40, LenStr(60)};
  static constexpr Field Text5{101, LenStr(60)};
  static constexpr Field Byte2{162, 1};
  static constexpr Field Byte3{163, 1};
  static constexpr Field Byte4{164, 1};
  static constexpr Field Cleared1{165, 40};  // not carried over
  static constexpr Field Block1{205, 2295};
  static constexpr size_t Size = 2500;
};
static_assert(Contiguous({OldMagicRecord::Byte1, OldMagicRecord::Text1, OldMagicRecord::Text2,
                          OldMagicRecord::Text3, OldMagicRecord::Text4, OldMagicRecord::Text5,
                          OldMagicRecord::Byte2, OldMagicRecord::Byte3, OldMagicRecord::Byte4,
                          OldMagicRecord::Cleared1, OldMagicRecord::Block1},
                         OldMagicRecord::Size));

struct MagicRecord {
  static constexpr Field Byte1{0, 1};
  static constexpr Field Text1{1, LenStr(12)};
  static constexpr Field Text2{14, LenStr(40)};
  static constexpr Field Text3{55, LenStr(40)};
  static constexpr Field Text4{96, LenStr(60)};
  static constexpr Field Text5{157, LenStr(60)};
  static constexpr Field Byte2{218, 1};
  static constexpr Field Byte3{219, 1};
  static constexpr Field Byte4{220, 1};
  static constexpr Field Cleared1{221, 40};  // stays zero
  static constexpr Field Block1{261, 2295};
  static constexpr size_t Size = 2556;
};
static_assert(Contiguous({MagicRecord::Byte1, MagicRecord::Text1, MagicRecord::Text2,
                          MagicRecord::Text3, MagicRecord::Text4, MagicRecord::Text5,
                          MagicRecord::Byte2, MagicRecord::Byte3, MagicRecord::Byte4,
                          MagicRecord::Cleared1, MagicRecord::Block1},
                         MagicRecord::Size));

void ConvertMagicRecord(const uint8_t* oldRecord, uint8_t* newRecord);
