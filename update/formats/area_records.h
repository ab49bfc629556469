#pragma once
// The file area file, fareas.tvn (2535 / 2539 bytes), and the group file,
// grpfile.tvn (2561 / 2565 bytes). Up to the opaque block a group record has
// the fields of a file area record; a counted text follows the block. In both
// the two reals grow from 6 to 8 bytes: the file area record clears them, the
// group record converts them.

#include "update/formats/record_encodings.h"

// The fields before the first real: the same, at the same offsets, in the
// old and the new layout.
struct AreaLeadingFields {
  static constexpr Field Text1{0, LenStr(40)};
  static constexpr Field Text2{41, LenStr(12)};
  static constexpr Field Text3{54, LenStr(55)};
  static constexpr Field Byte1{110, 1};
  static constexpr Field Word1{111, 2};
  static constexpr Field Byte2{113, 1};
  static constexpr Field Byte3{114, 1};
  static constexpr Field Byte4{115, 1};
  static constexpr Field Text4{116, LenStr(60)};
  static constexpr Field Word2{177, 2};
  static constexpr Field Word3{179, 2};
  static constexpr Field Byte5{181, 1};
  static constexpr Field Byte6{182, 1};
  static constexpr Field Word4{183, 2};
  static constexpr Field Byte7{185, 1};
  static constexpr Field Byte8{186, 1};
  static constexpr Field Text5{187, LenStr(8)};
};

// The fields both records share, up to and including the opaque block.
struct OldAreaFields : AreaLeadingFields {
  static constexpr Field Real1{196, kReal6Size};
  static constexpr Field Byte9{202, 1};
  static constexpr Field Byte10{203, 1};
  static constexpr Field Real2{204, kReal6Size};
  static constexpr Field Byte11{210, 1};
  static constexpr Field Word5{211, 2};
  static constexpr Field Word6{213, 2};
  static constexpr Field Word7{215, 2};
  static constexpr Field Word8{217, 2};
  static constexpr Field Word9{219, 2};
  static constexpr Field Word10{221, 2};
  static constexpr Field Byte12{223, 1};
  static constexpr Field Byte13{224, 1};
  static constexpr Field Byte14{225, 1};
  static constexpr Field Cleared1{226, 14};  // not carried over
  static constexpr Field Block1{240, 2295};
};

struct AreaFields : AreaLeadingFields {
  static constexpr Field Real1{196, kDoubleSize};
  static constexpr Field Byte9{204, 1};
  static constexpr Field Byte10{205, 1};
  static constexpr Field Real2{206, kDoubleSize};
  static constexpr Field Byte11{214, 1};
  static constexpr Field Word5{215, 2};
  static constexpr Field Word6{217, 2};
  static constexpr Field Word7{219, 2};
  static constexpr Field Word8{221, 2};
  static constexpr Field Word9{223, 2};
  static constexpr Field Word10{225, 2};
  static constexpr Field Byte12{227, 1};
  static constexpr Field Byte13{228, 1};
  static constexpr Field Byte14{229, 1};
  static constexpr Field Cleared1{230, 14};  // stays zero
  static constexpr Field Block1{244, 2295};
};

template <typename F>
constexpr bool AreaFieldsContiguous(size_t size) {
  return Contiguous({F::Text1,  F::Text2,  F::Text3,  F::Byte1,    F::Word1, F::Byte2,  F::Byte3,
                     F::Byte4,  F::Text4,  F::Word2,  F::Word3,    F::Byte5, F::Byte6,  F::Word4,
                     F::Byte7,  F::Byte8,  F::Text5,  F::Real1,    F::Byte9, F::Byte10, F::Real2,
                     F::Byte11, F::Word5,  F::Word6,  F::Word7,    F::Word8, F::Word9,  F::Word10,
                     F::Byte12, F::Byte13, F::Byte14, F::Cleared1, F::Block1},
                    size);
}

struct OldAreaRecord : OldAreaFields {
  static constexpr size_t Size = 2535;
};
struct AreaRecord : AreaFields {
  static constexpr size_t Size = 2539;
};
static_assert(AreaFieldsContiguous<OldAreaRecord>(OldAreaRecord::Size));
static_assert(AreaFieldsContiguous<AreaRecord>(AreaRecord::Size));

struct OldGroupRecord : OldAreaFields {
  static constexpr Field Text6{2535, LenStr(25)};
  static constexpr size_t Size = 2561;
};
struct GroupRecord : AreaFields {
  static constexpr Field Text6{2539, LenStr(25)};
  static constexpr size_t Size = 2565;
};
static_assert(AreaFieldsContiguous<OldGroupRecord>(OldGroupRecord::Text6.Offset) &&
              End(OldGroupRecord::Text6) == OldGroupRecord::Size);
static_assert(AreaFieldsContiguous<GroupRecord>(GroupRecord::Text6.Offset) &&
              End(GroupRecord::Text6) == GroupRecord::Size);

void ConvertAreaRecord(const uint8_t* oldRecord, uint8_t* newRecord);
void ConvertGroupRecord(const uint8_t* oldRecord, uint8_t* newRecord);
