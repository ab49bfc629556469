#pragma once
// The hatch file, hatch.tvn: records of 214 bytes in the old layout, 242 in
// the new one, where Text1 grows from 12 to 40 characters.

#include "update/formats/record_encodings.h"

struct OldHatchRecord {
  static constexpr Field Text1{0, LenStr(12)};
  static constexpr Field Text2{13, LenStr(79)};
  static constexpr Field Text3{93, LenStr(12)};
  static constexpr Field Text4{106, LenStr(20)};
  static constexpr Field Text5{127, LenStr(80)};
  static constexpr Field Byte1{208, 1};
  static constexpr Field Byte2{209, 1};
  static constexpr Field Cleared1{210, 4};  // not carried over
  static constexpr size_t Size = 214;
};
static_assert(Contiguous({OldHatchRecord::Text1, OldHatchRecord::Text2, OldHatchRecord::Text3,
                          OldHatchRecord::Text4, OldHatchRecord::Text5, OldHatchRecord::Byte1,
                          OldHatchRecord::Byte2, OldHatchRecord::Cleared1},
                         OldHatchRecord::Size));

struct HatchRecord {
  static constexpr Field Text1{0, LenStr(40)};
  static constexpr Field Text2{41, LenStr(79)};
  static constexpr Field Text3{121, LenStr(12)};
  static constexpr Field Text4{134, LenStr(20)};
  static constexpr Field Text5{155, LenStr(80)};
  static constexpr Field Byte1{236, 1};
  static constexpr Field Byte2{237, 1};
  static constexpr Field Cleared1{238, 4};  // stays zero
  static constexpr size_t Size = 242;
};
static_assert(Contiguous({HatchRecord::Text1, HatchRecord::Text2, HatchRecord::Text3,
                          HatchRecord::Text4, HatchRecord::Text5, HatchRecord::Byte1,
                          HatchRecord::Byte2, HatchRecord::Cleared1},
                         HatchRecord::Size));

void ConvertHatchRecord(const uint8_t* oldRecord, uint8_t* newRecord);
