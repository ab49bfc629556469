#include "update/formats/node_records.h"

#include "update/conversion.h"
#include "update/program_state.h"

void ConvertNodeRecord(const uint8_t* o, uint8_t* n) {
  using Old = OldNodeRecord;
  using New = NodeRecord;
  const uint8_t* end = o + Old::Size;
  CopyBytes(n, New::Long1, o, Old::Long1);
  CopyBytes(n, New::Long2, o, Old::Long2);
  CopyBytes(n, New::Long3, o, Old::Long3);
  CopyBytes(n, New::Long4, o, Old::Long4);
  CopyBytes(n, New::Word1, o, Old::Word1);
  CopyBytes(n, New::Byte1to14, o, Old::Byte1to14);
  CopyBytes(n, New::Byte15, o, Old::Byte15);
  CopyBytes(n, New::Byte16, o, Old::Byte16);
  CopyBytes(n, New::Byte17, o, Old::Byte17);
  CopyBytes(n, New::Byte18, o, Old::Byte18);
  CopyBytes(n, New::Byte19, o, Old::Byte19);
  CopyBytes(n, New::Byte20to24, o, Old::Byte20to24);
  CopyBytes(n, New::Block1, o, Old::Block1);
  CopyBytes(n, New::Block2, o, Old::Block2);
  CopyText(n, New::Text1, o, Old::Text1, end);
  CopyText(n, New::Text2, o, Old::Text2, end);
  CopyText(n, New::Text3, o, Old::Text3, end);
  CopyText(n, New::Text4, o, Old::Text4, end);
  CopyText(n, New::Text5, o, Old::Text5, end);
  CopyText(n, New::Text6, o, Old::Text6, end);
  ConvertReal(n, New::Real1, o, Old::Real1);
  ConvertReal(n, New::Real2, o, Old::Real2);
  ConvertReal(n, New::Real3, o, Old::Real3);
  ConvertReal(n, New::Real4, o, Old::Real4);
  ConvertReal(n, New::Real5, o, Old::Real5);
  // The last 43 old bytes are not read; the new record ends in zeros.
}

namespace {
const bool registered =
    (RegisterSpec({"nodefile.tvn", "nodefile.tvn", "nodefile.bak", "nodefile.ba",
                   OldNodeRecord::Size, NodeRecord::Size, "Converting nodefile.tvn, please wait",
                   5, 5, "Convert Node entries",
                   "Convert the Node Manager configuration to " + TargetVersion + " format",
                   ConvertNodeRecord}),
     true);
}  // namespace
