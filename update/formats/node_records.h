#pragma once
// The node file, nodefile.tvn: records of 388 bytes in the old layout, 398
// in the new one, where the five reals grow from 6 to 8 bytes.

#include "update/formats/record_encodings.h"

// The fields before the first real: the same, at the same offsets, in the
// old and the new layout.
struct NodeLeadingFields {
  static constexpr Field Long1{0, 4};
  static constexpr Field Long2{4, 4};
  static constexpr Field Text1{8, LenStr(35)};
  static constexpr Field Text2{44, LenStr(20)};
  static constexpr Field Block1{65, 32};
  static constexpr Field Byte1to14{97, 14};
  static constexpr Field Text3{111, LenStr(20)};
  static constexpr Field Byte15{132, 1};
  static constexpr Field Byte16{133, 1};
  static constexpr Field Long3{134, 4};
  static constexpr Field Long4{138, 4};
  static constexpr Field Byte17{142, 1};
  static constexpr Field Block2{143, 32};
};

struct OldNodeRecord : NodeLeadingFields {
  static constexpr Field Real1{175, kReal6Size};
  static constexpr Field Real2{181, kReal6Size};
  static constexpr Field Real3{187, kReal6Size};
  static constexpr Field Byte18{193, 1};
  static constexpr Field Byte19{194, 1};
  static constexpr Field Real4{195, kReal6Size};
  static constexpr Field Word1{201, 2};
  static constexpr Field Text4{203, LenStr(60)};
  static constexpr Field Real5{264, kReal6Size};
  static constexpr Field Text5{270, LenStr(8)};
  static constexpr Field Text6{279, LenStr(60)};
  static constexpr Field Byte20to24{340, 5};
  static constexpr Field Cleared1{345, 43};  // not carried over
  static constexpr size_t Size = 388;
};

struct NodeRecord : NodeLeadingFields {
  static constexpr Field Real1{175, kDoubleSize};
  static constexpr Field Real2{183, kDoubleSize};
  static constexpr Field Real3{191, kDoubleSize};
  static constexpr Field Byte18{199, 1};
  static constexpr Field Byte19{200, 1};
  static constexpr Field Real4{201, kDoubleSize};
  static constexpr Field Word1{209, 2};
  static constexpr Field Text4{211, LenStr(60)};
  static constexpr Field Real5{272, kDoubleSize};
  static constexpr Field Text5{280, LenStr(8)};
  static constexpr Field Text6{289, LenStr(60)};
  static constexpr Field Byte20to24{350, 5};
  static constexpr Field Cleared1{355, 43};  // stays zero
  static constexpr size_t Size = 398;
};

template <typename R>
constexpr bool NodeFieldsContiguous() {
  return Contiguous(
      {R::Long1,  R::Long2,  R::Text1,  R::Text2,      R::Block1,  R::Byte1to14, R::Text3,
       R::Byte15, R::Byte16, R::Long3,  R::Long4,      R::Byte17,  R::Block2,    R::Real1,
       R::Real2,  R::Real3,  R::Byte18, R::Byte19,     R::Real4,   R::Word1,     R::Text4,
       R::Real5,  R::Text5,  R::Text6,  R::Byte20to24, R::Cleared1},
      R::Size);
}
static_assert(NodeFieldsContiguous<OldNodeRecord>());
static_assert(NodeFieldsContiguous<NodeRecord>());

void ConvertNodeRecord(const uint8_t* oldRecord, uint8_t* newRecord);
