#include "update/formats/hatch_records.h"

#include "update/conversion.h"
#include "update/program_state.h"

void ConvertHatchRecord(const uint8_t* o, uint8_t* n) {
  using Old = OldHatchRecord;
  using New = HatchRecord;
  const uint8_t* end = o + Old::Size;
  CopyText(n, New::Text1, o, Old::Text1, end);
  CopyText(n, New::Text2, o, Old::Text2, end);
  CopyText(n, New::Text3, o, Old::Text3, end);
  CopyText(n, New::Text4, o, Old::Text4, end);
  CopyText(n, New::Text5, o, Old::Text5, end);
  CopyBytes(n, New::Byte1, o, Old::Byte1);
  CopyBytes(n, New::Byte2, o, Old::Byte2);
  // The old record ends in four bytes we do not carry over.
}

namespace {
const bool registered = (RegisterSpec({"hatch.tvn", "HATCH.TVN", "hatch.bak", "hatch.ba",
                                       OldHatchRecord::Size, HatchRecord::Size,
                                       "Converting HATCH.TVN, please wait", 1, 2,
                                       "Convert Hatch entries",
                                       "Convert the Hatch configuration to " + TargetVersion +
                                           " format",
                                       ConvertHatchRecord}),
                         true);
}  // namespace
