// Every registered record conversion on random old records, each in a heap
// buffer of exactly its size so that the sanitizer sees any read or write
// past it. The new record's cleared ranges stay zero, each counted text
// holds at most its capacity with the bytes past its length zero, and the
// conversion depends on the old record alone.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "update/conversion.h"
#include "update/formats/area_records.h"
#include "update/formats/hatch_records.h"
#include "update/formats/magic_records.h"
#include "update/formats/node_records.h"

namespace {

// What a new layout holds that the properties need: its counted texts and
// the ranges that stay zero.
struct Layout {
  std::vector<Field> Texts;
  std::vector<Field> Zero;
};

Layout LayoutOf(const std::string& fileName) {
  if (fileName == "hatch.tvn") {
    using R = HatchRecord;
    return {{R::Text1, R::Text2, R::Text3, R::Text4, R::Text5}, {R::Cleared1}};
  }
  if (fileName == "MGICFILE.TVN") {
    using R = MagicRecord;
    return {{R::Text1, R::Text2, R::Text3, R::Text4, R::Text5}, {R::Cleared1}};
  }
  if (fileName == "fareas.tvn") {
    using R = AreaRecord;
    // The file area record clears its two reals.
    return {{R::Text1, R::Text2, R::Text3, R::Text4, R::Text5}, {R::Cleared1, R::Real1, R::Real2}};
  }
  if (fileName == "grpfile.tvn") {
    using R = GroupRecord;
    return {{R::Text1, R::Text2, R::Text3, R::Text4, R::Text5, R::Text6}, {R::Cleared1}};
  }
  using R = NodeRecord;
  FUZZ_CHECK(fileName == "nodefile.tvn");
  return {{R::Text1, R::Text2, R::Text3, R::Text4, R::Text5, R::Text6}, {R::Cleared1}};
}

std::unique_ptr<uint8_t[]> Convert(const ConversionSpec& spec, const uint8_t* old) {
  auto fresh = std::make_unique<uint8_t[]>(spec.NewSize);  // zeroed
  spec.ConvertRecord(old, fresh.get());
  return fresh;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<ConversionSpec>& specs = ConversionSpecs();
  if (size < 1 || specs.empty()) return 0;
  const ConversionSpec& spec = specs[data[0] % specs.size()];
  // The rest of the input, repeated to fill a whole old record.
  auto old = std::make_unique<uint8_t[]>(spec.OldSize);
  for (size_t i = 0; i < spec.OldSize; ++i) old[i] = size > 1 ? data[1 + i % (size - 1)] : 0;

  const std::unique_ptr<uint8_t[]> converted = Convert(spec, old.get());
  const uint8_t* n = converted.get();
  const Layout layout = LayoutOf(spec.FileName);
  for (const Field& zero : layout.Zero) {
    FUZZ_CHECK(End(zero) <= spec.NewSize);
    for (size_t i = zero.Offset; i < End(zero); ++i) FUZZ_CHECK(n[i] == 0);
  }
  for (const Field& text : layout.Texts) {
    FUZZ_CHECK(End(text) <= spec.NewSize);
    const size_t length = n[text.Offset];
    FUZZ_CHECK(length <= text.Size - 1);
    for (size_t i = text.Offset + 1 + length; i < End(text); ++i) FUZZ_CHECK(n[i] == 0);
  }
  const std::unique_ptr<uint8_t[]> again = Convert(spec, old.get());
  FUZZ_CHECK(std::memcmp(again.get(), n, spec.NewSize) == 0);
  return 0;
}
