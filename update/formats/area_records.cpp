#include "update/formats/area_records.h"

#include "update/conversion.h"
#include "update/program_state.h"

namespace {

enum class Reals { Cleared, Converted };

// The shared fields, up to and including the opaque block. `end` is the end
// of the whole old record, so a damaged length may run on as far as that.
void ConvertAreaFields(const uint8_t* o, uint8_t* n, const uint8_t* end, Reals reals) {
  using Old = OldAreaFields;
  using New = AreaFields;
  CopyText(n, New::Text1, o, Old::Text1, end);
  CopyText(n, New::Text2, o, Old::Text2, end);
  CopyText(n, New::Text3, o, Old::Text3, end);
  CopyText(n, New::Text4, o, Old::Text4, end);
  CopyText(n, New::Text5, o, Old::Text5, end);
  CopyBytes(n, New::Byte1, o, Old::Byte1);
  CopyBytes(n, New::Word1, o, Old::Word1);
  CopyBytes(n, New::Byte2, o, Old::Byte2);
  CopyBytes(n, New::Byte3, o, Old::Byte3);
  CopyBytes(n, New::Byte4, o, Old::Byte4);
  CopyBytes(n, New::Word2, o, Old::Word2);
  CopyBytes(n, New::Word3, o, Old::Word3);
  CopyBytes(n, New::Byte5, o, Old::Byte5);
  CopyBytes(n, New::Byte6, o, Old::Byte6);
  CopyBytes(n, New::Word4, o, Old::Word4);
  CopyBytes(n, New::Byte7, o, Old::Byte7);
  CopyBytes(n, New::Byte8, o, Old::Byte8);
  CopyBytes(n, New::Byte9, o, Old::Byte9);
  CopyBytes(n, New::Byte10, o, Old::Byte10);
  CopyBytes(n, New::Byte11, o, Old::Byte11);
  CopyBytes(n, New::Word5, o, Old::Word5);
  CopyBytes(n, New::Word6, o, Old::Word6);
  CopyBytes(n, New::Word7, o, Old::Word7);
  CopyBytes(n, New::Word8, o, Old::Word8);
  CopyBytes(n, New::Word9, o, Old::Word9);
  CopyBytes(n, New::Word10, o, Old::Word10);
  CopyBytes(n, New::Byte12, o, Old::Byte12);
  CopyBytes(n, New::Byte13, o, Old::Byte13);
  CopyBytes(n, New::Byte14, o, Old::Byte14);
  // A cleared real is 0.0: its eight bytes stay zero and the old value is
  // not read.
  if (reals == Reals::Converted) {
    ConvertReal(n, New::Real1, o, Old::Real1);
    ConvertReal(n, New::Real2, o, Old::Real2);
  }
  CopyBytes(n, New::Block1, o, Old::Block1);
  // The 14 bytes of Cleared1 are not read; the new ones stay zero.
}

}  // namespace

void ConvertAreaRecord(const uint8_t* o, uint8_t* n) {
  ConvertAreaFields(o, n, o + OldAreaRecord::Size, Reals::Cleared);
}

void ConvertGroupRecord(const uint8_t* o, uint8_t* n) {
  const uint8_t* end = o + OldGroupRecord::Size;
  ConvertAreaFields(o, n, end, Reals::Converted);
  CopyText(n, GroupRecord::Text6, o, OldGroupRecord::Text6, end);
}

namespace {
const bool registered =
    (RegisterSpec({"fareas.tvn", "fareas.tvn", "fareas.bak", "fareas.ba", OldAreaRecord::Size,
                   AreaRecord::Size, "Converting fareas.tvn, please wait", 3, 3,
                   "Convert File Manager entries",
                   "Convert the File Manager configuration to " + TargetVersion + " format",
                   ConvertAreaRecord}),
     RegisterSpec({"grpfile.tvn", "grpfile.tvn", "grpfile.bak", "grpfile.ba",
                   OldGroupRecord::Size, GroupRecord::Size, "Converting grpfile.tvn, please wait",
                   4, 4, "Convert Group entries",
                   "Convert the Groups configuration to " + TargetVersion + " format",
                   ConvertGroupRecord}),
     true);
}  // namespace
