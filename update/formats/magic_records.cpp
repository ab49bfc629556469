#include "update/formats/magic_records.h"

#include "update/conversion.h"
#include "update/program_state.h"

void ConvertMagicRecord(const uint8_t* o, uint8_t* n) {
  using Old = OldMagicRecord;
  using New = MagicRecord;
  const uint8_t* end = o + Old::Size;
  CopyBytes(n, New::Byte1, o, Old::Byte1);
  CopyBytes(n, New::Byte2, o, Old::Byte2);
  CopyBytes(n, New::Byte3, o, Old::Byte3);
  CopyBytes(n, New::Byte4, o, Old::Byte4);
  CopyText(n, New::Text1, o, Old::Text1, end);
  CopyText(n, New::Text2, o, Old::Text2, end);
  CopyText(n, New::Text3, o, Old::Text3, end);
  CopyText(n, New::Text4, o, Old::Text4, end);
  CopyText(n, New::Text5, o, Old::Text5, end);
  CopyBytes(n, New::Block1, o, Old::Block1);
  // The 40 bytes of Cleared1 are not read; the new ones stay zero.
}

namespace {
const bool registered =
    (RegisterSpec({"MGICFILE.TVN", "MGICFILE.TVN", "MGICFILE.BAK", "MGICFILE.BA",
                   OldMagicRecord::Size, MagicRecord::Size, "Converting MGICFILE.TVN, please wait",
                   2, 1, "Convert Magicfile names",
                   "Convert the Magic filename configuration to " + TargetVersion + " format",
                   ConvertMagicRecord}),
     true);
}  // namespace
