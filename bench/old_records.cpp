#include "old_records.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "update/formats/area_records.h"
#include "update/formats/hatch_records.h"
#include "update/formats/magic_records.h"
#include "update/formats/node_records.h"

namespace {

// The counted texts of each old layout; every other byte may be anything.
std::vector<Field> OldTexts(const std::string& fileName) {
  if (fileName == "hatch.tvn") {
    using R = OldHatchRecord;
    return {R::Text1, R::Text2, R::Text3, R::Text4, R::Text5};
  }
  if (fileName == "MGICFILE.TVN") {
    using R = OldMagicRecord;
    return {R::Text1, R::Text2, R::Text3, R::Text4, R::Text5};
  }
  if (fileName == "fareas.tvn") {
    using R = OldAreaRecord;
    return {R::Text1, R::Text2, R::Text3, R::Text4, R::Text5};
  }
  if (fileName == "grpfile.tvn") {
    using R = OldGroupRecord;
    return {R::Text1, R::Text2, R::Text3, R::Text4, R::Text5, R::Text6};
  }
  if (fileName == "nodefile.tvn") {
    using R = OldNodeRecord;
    return {R::Text1, R::Text2, R::Text3, R::Text4, R::Text5, R::Text6};
  }
  std::fprintf(stderr, "tirven-bench: no record layout for %s\n", fileName.c_str());
  std::exit(2);
}

}  // namespace

const ConversionSpec& SpecFor(const std::string& fileName) {
  for (const ConversionSpec& spec : ConversionSpecs()) {
    if (spec.FileName == fileName) return spec;
  }
  std::fprintf(stderr, "tirven-bench: no conversion spec for %s\n", fileName.c_str());
  std::exit(2);
}

std::vector<std::string> BenchFileNames() {
  return {"hatch.tvn", "MGICFILE.TVN", "fareas.tvn", "grpfile.tvn", "nodefile.tvn"};
}

std::vector<uint8_t> MakeOldRecords(const ConversionSpec& spec, size_t count, uint64_t seed) {
  BenchRandom random(seed);
  const std::vector<Field> texts = OldTexts(spec.FileName);
  std::vector<uint8_t> records(count * spec.OldSize);
  for (size_t i = 0; i + 8 <= records.size(); i += 8) {
    const uint64_t bits = random.Next();
    for (int b = 0; b < 8; ++b) records[i + b] = static_cast<uint8_t>(bits >> (8 * b));
  }
  for (size_t r = 0; r < count; ++r) {
    uint8_t* record = &records[r * spec.OldSize];
    for (const Field& text : texts) {
      const size_t capacity = text.Size - 1;
      const size_t length = random.Next() % (capacity + 1);
      record[text.Offset] = static_cast<uint8_t>(length);
      for (size_t k = 1; k <= capacity; ++k)
        record[text.Offset + k] = static_cast<uint8_t>(' ' + random.Next() % 95);
    }
  }
  return records;
}

uint64_t RecordCountFor(const ConversionSpec& spec, uint64_t bytes) {
  uint64_t count = std::max<uint64_t>(1, bytes / spec.OldSize);
  while (count > 1 && (count * spec.OldSize) % spec.NewSize == 0) --count;
  return count;
}

bool WriteOldFile(const std::string& path, const ConversionSpec& spec, uint64_t records) {
  // A pool of distinct records, written over and over: random-ish content
  // without paying for a random generator per byte.
  constexpr size_t kPool = 4096;
  const std::vector<uint8_t> pool = MakeOldRecords(spec, kPool, 0x71E7 + spec.OldSize);
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = true;
  uint64_t written = 0;
  while (ok && written < records) {
    const uint64_t now = std::min<uint64_t>(kPool, records - written);
    const uint8_t* data = pool.data();
    size_t left = static_cast<size_t>(now * spec.OldSize);
    while (left > 0) {
      const ssize_t n = write(fd, data, left);
      if (n <= 0) {
        ok = false;
        break;
      }
      data += n;
      left -= static_cast<size_t>(n);
    }
    written += now;
  }
  if (ok && fsync(fd) != 0) ok = false;
  if (close(fd) != 0) ok = false;
  return ok;
}
