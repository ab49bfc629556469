// make-demo-config DIR: writes a small TIRVEN configuration in the old
// layout into DIR, one file for every registered conversion, so that the
// update utility can be tried without a real configuration at hand.
//
// The records are built field by field from the layout tables the
// conversions use, and the output is the same on every run.

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "errors/runtime_error.h"
#include "platform/common/dos_names.h"
#include "platform/file_services.h"
#include "update/conversion.h"
#include "update/formats/area_records.h"
#include "update/formats/hatch_records.h"
#include "update/formats/magic_records.h"
#include "update/formats/node_records.h"
#include "update/formats/record_encodings.h"

namespace {

const char* const kUsage =
    "Usage: make-demo-config DIR\n"
    "Writes a demo TIRVEN configuration in the old layout (MGICFILE.TVN,\n"
    "hatch.tvn, fareas.tvn, grpfile.tvn, nodefile.tvn) into the existing\n"
    "directory DIR. Files already there are never overwritten.\n";

[[noreturn]] void Die(const std::string& message) {
  std::fprintf(stderr, "make-demo-config: %s\n", message.c_str());
  std::exit(1);
}

// The 6-byte real of a double. Only values the old layout holds exactly
// are accepted: the demo must convert back to the very same double.
std::array<uint8_t, kReal6Size> EncodeReal6(double value) {
  std::array<uint8_t, kReal6Size> real{};
  if (value != 0.0) {
    const uint64_t bits = std::bit_cast<uint64_t>(value);
    const int exponent = static_cast<int>((bits >> 52) & 0x7FF) - 894;
    const uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
    if (exponent < 1 || exponent > 255 || (mantissa & 0x1FFF) != 0) {
      Die("no 6-byte real holds " + std::to_string(value));
    }
    const uint64_t fraction = mantissa >> 13;  // 39 bits
    real[0] = static_cast<uint8_t>(exponent);
    for (int i = 1; i <= 5; ++i) real[i] = static_cast<uint8_t>(fraction >> (8 * (i - 1)));
    real[5] |= static_cast<uint8_t>((bits >> 63) << 7);
  }
  if (Real6ToDouble(real.data()) != value) Die("6-byte real of " + std::to_string(value));
  return real;
}

// One old record, filled field by field; every byte not set stays zero.
class Record {
 public:
  explicit Record(size_t size) : bytes_(size, 0) {}

  Record& Text(Field field, std::string_view text) {
    if (text.size() > field.Size - 1) Die("text too long for its field: " + std::string(text));
    At(field)[0] = static_cast<uint8_t>(text.size());
    for (size_t i = 0; i < text.size(); ++i) At(field)[1 + i] = static_cast<uint8_t>(text[i]);
    return *this;
  }
  Record& Byte(Field field, uint8_t value) { return Number(field, 1, value); }
  Record& Word(Field field, uint16_t value) { return Number(field, 2, value); }
  Record& Long(Field field, uint32_t value) { return Number(field, 4, value); }
  // Consecutive byte fields described as one run (the node record's Byte1 to Byte14).
  Record& Bytes(Field field, std::initializer_list<uint8_t> values) {
    if (values.size() != field.Size) Die("wrong number of bytes for a run of byte fields");
    size_t i = 0;
    for (uint8_t value : values) At(field)[i++] = value;
    return *this;
  }
  Record& Real(Field field, double value) {
    if (field.Size != kReal6Size) Die("not a 6-byte real field");
    const auto real = EncodeReal6(value);
    for (size_t i = 0; i < real.size(); ++i) At(field)[i] = real[i];
    return *this;
  }
  // Bytes whose meaning the conversion does not need: a short run of
  // settings at the start of the block and a marker at its end, the rest
  // zero as a fresh old configuration leaves it.
  Record& Opaque(Field field, uint8_t seed) {
    const size_t run = std::min<size_t>(field.Size, 24);
    for (size_t i = 0; i < run; ++i) At(field)[i] = static_cast<uint8_t>(seed + 13 * i);
    At(field)[field.Size - 1] = static_cast<uint8_t>(0xA5 ^ seed);
    return *this;
  }

  const std::vector<uint8_t>& Data() const { return bytes_; }

 private:
  uint8_t* At(Field field) {
    if (field.Offset + field.Size > bytes_.size()) Die("field outside its record");
    return bytes_.data() + field.Offset;
  }
  Record& Number(Field field, size_t size, uint32_t value) {
    if (field.Size != size) Die("number of the wrong width for its field");
    for (size_t i = 0; i < size; ++i) At(field)[i] = static_cast<uint8_t>(value >> (8 * i));
    return *this;
  }

  std::vector<uint8_t> bytes_;
};

using Records = std::vector<Record>;

Records HatchRecords() {
  using R = OldHatchRecord;
  struct Entry {
    const char *tag, *path, *name, *title, *description;
    uint8_t kind, days;
  };
  // A 12-character tag fills the old field exactly.
  const Entry entries[] = {
      {"NODEDIFF", "C:\\TIRVEN\\OUTBOUND\\NODEDIFF.*", "NODEDIFF.*", "Weekly list diff",
       "Weekly difference file for the regional node list", 1, 7},
      {"NEWFILES", "C:\\TIRVEN\\REPORTS\\NEWFILES.TXT", "NEWFILES.TXT", "New files report",
       "Files received during the past week", 2, 7},
      {"TVNUTIL", "D:\\UPLOADS\\TVNUTIL.ZIP", "TVNUTIL.ZIP", "Utility release",
       "Latest release of the configuration utilities", 1, 0},
      {"WEEKLYREPORT", "C:\\TIRVEN\\REPORTS\\WEEKLY.TXT", "WEEKLY.TXT", "System statistics",
       "Calls, transfers and disk space of the past week", 3, 1},
  };
  Records records;
  uint8_t stale = 0x31;
  for (const Entry& e : entries) {
    Record r(R::Size);
    r.Text(R::Text1, e.tag).Text(R::Text2, e.path).Text(R::Text3, e.name);
    r.Text(R::Text4, e.title).Text(R::Text5, e.description);
    r.Byte(R::Byte1, e.kind).Byte(R::Byte2, e.days);
    // Left over from an older version; the new layout drops these bytes.
    r.Bytes(R::Cleared1, {stale, 0x00, 0x2C, 0x01});
    stale = static_cast<uint8_t>(stale + 1);
    records.push_back(r);
  }
  return records;
}

Records MagicRecords() {
  using R = OldMagicRecord;
  struct Entry {
    uint8_t kind;
    const char *name, *match, *archive, *directory, *command;
    uint8_t flags, keep, level;
  };
  const Entry entries[] = {
      {1, "NODELIST", "NODELIST.*", "NODELIST.ZIP", "C:\\TIRVEN\\NODELIST\\",
       "C:\\TIRVEN\\BIN\\UNPACK.BAT NODELIST", 1, 3, 0},
      {2, "FILES", "FILES.BBS", "ALLFILES.ZIP", "D:\\FILES\\", "D:\\FILES\\ALLFILES.TXT", 0, 1, 10},
      {2, "NEWS", "NEWS.TXT", "NEWS.ZIP", "C:\\TIRVEN\\TEXT\\", "C:\\TIRVEN\\TEXT\\BULLETIN.TXT", 0,
       5, 0},
      {3, "WELCOME", "WELCOME.ANS", "WELCOME.ZIP", "C:\\TIRVEN\\TEXT\\",
       "C:\\TIRVEN\\TEXT\\WELCOME.ANS", 2, 0, 20},
  };
  Records records;
  uint8_t seed = 0x10;
  for (const Entry& e : entries) {
    Record r(R::Size);
    r.Byte(R::Byte1, e.kind).Text(R::Text1, e.name).Text(R::Text2, e.match);
    r.Text(R::Text3, e.archive).Text(R::Text4, e.directory).Text(R::Text5, e.command);
    r.Byte(R::Byte2, e.flags).Byte(R::Byte3, e.keep).Byte(R::Byte4, e.level);
    r.Opaque(R::Cleared1, static_cast<uint8_t>(seed + 0x40));
    r.Opaque(R::Block1, seed);
    seed = static_cast<uint8_t>(seed + 0x11);
    records.push_back(r);
  }
  return records;
}

// The fields a file area and a group record share. The reals hold the
// numbers the old version kept there (say, a cost per kilobyte and a ratio).
struct AreaEntry {
  const char *name, *tag, *path, *description, *password;
  uint8_t level;
  uint16_t group;
  uint16_t maxFiles;
  double real1, real2;
};

template <typename R>
void FillAreaFields(Record& r, const AreaEntry& e, uint8_t seed) {
  r.Text(R::Text1, e.name).Text(R::Text2, e.tag).Text(R::Text3, e.path);
  r.Byte(R::Byte1, e.level).Word(R::Word1, e.group);
  r.Byte(R::Byte2, 1).Byte(R::Byte3, 0).Byte(R::Byte4, static_cast<uint8_t>(e.level / 2));
  r.Text(R::Text4, e.description);
  r.Word(R::Word2, e.maxFiles).Word(R::Word3, 30);
  r.Byte(R::Byte5, 0).Byte(R::Byte6, 1).Word(R::Word4, 1024);
  r.Byte(R::Byte7, 3).Byte(R::Byte8, 0).Text(R::Text5, e.password);
  r.Real(R::Real1, e.real1).Byte(R::Byte9, 1).Byte(R::Byte10, 2).Real(R::Real2, e.real2);
  r.Byte(R::Byte11, 5).Word(R::Word5, 100).Word(R::Word6, 250).Word(R::Word7, 0);
  r.Word(R::Word8, 60).Word(R::Word9, 1996).Word(R::Word10, 0xFFFF);
  r.Byte(R::Byte12, 0).Byte(R::Byte13, 1).Byte(R::Byte14, 0);
  r.Opaque(R::Cleared1, static_cast<uint8_t>(seed + 0x80));
  r.Opaque(R::Block1, seed);
}

Records AreaRecords() {
  using R = OldAreaRecord;
  const AreaEntry entries[] = {
      {"Utilities for DOS", "UTILDOS", "D:\\FILES\\UTILDOS\\",
       "Archivers, file managers and disk tools", "", 10, 1, 500, 1.0, 2.5},
      {"Communication programs", "COMMS", "D:\\FILES\\COMMS\\", "Terminal programs and mailers", "",
       10, 1, 500, 0.0, 1.0},
      {"Text files and documents", "TEXTS", "D:\\FILES\\TEXTS\\", "Guides, lists and newsletters",
       "", 5, 2, 1000, 1500.0, 0.0},
      {"Games", "GAMES", "E:\\GAMES\\", "Shareware and freeware games", "", 20, 1, 250, 2.5, -0.75},
      {"Sysop uploads", "SYSOP", "E:\\SYSOP\\", "Files for the sysop only", "PRIVATE", 100, 3, 50,
       0.0, 0.0},
  };
  Records records;
  uint8_t seed = 0x21;
  for (const AreaEntry& e : entries) {
    Record r(R::Size);
    FillAreaFields<R>(r, e, seed);
    seed = static_cast<uint8_t>(seed + 0x11);
    records.push_back(r);
  }
  return records;
}

Records GroupRecords() {
  using R = OldGroupRecord;
  struct Entry {
    AreaEntry area;
    const char* title;
  };
  const Entry entries[] = {
      {{"Programs", "PROGS", "D:\\FILES\\", "All program areas", "", 10, 1, 2000, 1.0, 2.5},
       "Programs for every system"},
      {{"Documents", "DOCS", "D:\\FILES\\TEXTS\\", "Texts and newsletters", "", 5, 2, 1000, 1500.0,
        0.0},
       "Reading matter"},
      {{"Private", "PRIVATE", "E:\\SYSOP\\", "Areas for the sysop", "SECRET", 100, 3, 100, 0.0,
        -0.75},
       "Sysop only"},
  };
  Records records;
  uint8_t seed = 0x61;
  for (const Entry& e : entries) {
    Record r(R::Size);
    FillAreaFields<R>(r, e.area, seed);
    r.Text(R::Text6, e.title);
    seed = static_cast<uint8_t>(seed + 0x11);
    records.push_back(r);
  }
  return records;
}

Records NodeRecords() {
  using R = OldNodeRecord;
  struct Entry {
    uint32_t net, node;
    const char *system, *address, *password, *location, *packer, *outbound;
    std::array<double, 5> reals;
  };
  const Entry entries[] = {
      {280,
       1234,
       "Harbour Light BBS",
       "2:280/1234",
       "QUAY",
       "Rotterdam, Netherlands",
       "ZIP",
       "C:\\TIRVEN\\OUTBOUND\\",
       {1.0, 2.5, 0.0, 1500.0, 0.75}},
      {250,
       17,
       "Northern Lights",
       "2:250/17",
       "AURORA",
       "Edinburgh, Scotland",
       "ARJ",
       "C:\\TIRVEN\\OUTBOUND\\",
       {1.0, 1.0, 0.5, 300.0, 0.0}},
      {240,
       5101,
       "The Archive Cellar",
       "2:240/5101",
       "",
       "Hamburg, Germany",
       "LHA",
       "D:\\MAIL\\OUT\\",
       {0.0, 2.5, 10.0, 2400.0, -1.25}},
      {270,
       99,
       "Midnight Express",
       "2:270/99",
       "EXPRESS",
       "Paris, France",
       "ZIP",
       "C:\\TIRVEN\\OUTBOUND\\",
       {2.0, 0.25, 0.0, 1500.0, 1.0}},
  };
  Records records;
  uint8_t seed = 0x05;
  for (const Entry& e : entries) {
    Record r(R::Size);
    r.Long(R::Long1, e.net).Long(R::Long2, e.node);
    r.Text(R::Text1, e.system).Text(R::Text2, e.address);
    r.Opaque(R::Block1, seed);
    r.Bytes(R::Byte1to14, {1, 0, 1, 1, 0, 0, 3, 2, 0, 1, 0, 0, 9, 1});
    r.Text(R::Text3, e.password);
    r.Byte(R::Byte15, 1).Byte(R::Byte16, 0);
    r.Long(R::Long3, 19960315).Long(R::Long4, 33600);
    r.Byte(R::Byte17, 2).Opaque(R::Block2, static_cast<uint8_t>(seed + 0x30));
    r.Real(R::Real1, e.reals[0]).Real(R::Real2, e.reals[1]).Real(R::Real3, e.reals[2]);
    r.Byte(R::Byte18, 0).Byte(R::Byte19, 1).Real(R::Real4, e.reals[3]);
    r.Word(R::Word1, static_cast<uint16_t>(e.node)).Text(R::Text4, e.location);
    r.Real(R::Real5, e.reals[4]).Text(R::Text5, e.packer).Text(R::Text6, e.outbound);
    r.Bytes(R::Byte20to24, {0, 1, 0, 4, 2});
    r.Opaque(R::Cleared1, static_cast<uint8_t>(seed + 0x70));
    seed = static_cast<uint8_t>(seed + 0x11);
    records.push_back(r);
  }
  return records;
}

// The demo records of every file we know, by FileName.
const std::map<std::string, std::function<Records()>>& DemoFiles() {
  static const std::map<std::string, std::function<Records()>> files = {
      {"MGICFILE.TVN", MagicRecords}, {"hatch.tvn", HatchRecords},   {"fareas.tvn", AreaRecords},
      {"grpfile.tvn", GroupRecords},  {"nodefile.tvn", NodeRecords},
  };
  return files;
}

std::string Join(const std::string& dir, const std::string& name) {
  if (!dir.empty() && (dir.back() == '/' || dir.back() == '\\')) return dir + name;
  return dir + "/" + name;
}

// The entry the program would take for this file, in any case spelling;
// empty when there is none.
std::string TakenSpelling(const std::string& dir, const std::string& name) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
    const std::string spelled = entry.path().filename().string();
    if (EqualIgnoringAsciiCase(spelled, name)) return spelled;
  }
  return {};
}

uint16_t WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FileServices& files = PlatformFiles();
  FileHandle handle = kNoFile;
  if (uint16_t code = files.CreateExclusive(path, handle)) return code;
  uint16_t code = files.Write(handle, bytes.data(), bytes.size());
  if (code == 0) code = files.Flush(handle);
  const uint16_t closed = files.Close(handle);
  if (code == 0) code = closed;
  if (code != 0) files.Remove(path);
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string dir = argv[1];
  std::error_code error;
  if (!std::filesystem::exists(dir, error)) Die(dir + ": no such directory");
  if (!std::filesystem::is_directory(dir, error)) Die(dir + ": not a directory");

  // Everything is built and checked before the first file is written, so a
  // refusal leaves the directory as it was.
  struct Output {
    std::string path;
    std::vector<uint8_t> bytes;
    size_t count, size;
  };
  std::vector<Output> outputs;
  for (const ConversionSpec& spec : ConversionSpecs()) {
    const auto demo = DemoFiles().find(spec.FileName);
    if (demo == DemoFiles().end()) Die("no demo records for " + spec.FileName);
    if (const std::string taken = TakenSpelling(dir, spec.FileName); !taken.empty()) {
      Die(Join(dir, taken) + " exists already; give a directory without a configuration");
    }
    Output out{Join(dir, spec.FileName), {}, 0, spec.OldSize};
    for (const Record& record : demo->second()) {
      if (record.Data().size() != spec.OldSize) Die("record size differs for " + spec.FileName);
      out.bytes.insert(out.bytes.end(), record.Data().begin(), record.Data().end());
      ++out.count;
    }
    outputs.push_back(std::move(out));
  }

  for (size_t i = 0; i < outputs.size(); ++i) {
    if (uint16_t code = WriteFile(outputs[i].path, outputs[i].bytes)) {
      // Take back what this run wrote: half a demo is no demo.
      for (size_t j = 0; j < i; ++j) PlatformFiles().Remove(outputs[j].path);
      Die("cannot write " + outputs[i].path + ": " + DosErrorText(code));
    }
    std::printf("%s: %zu records of %zu bytes\n", outputs[i].path.c_str(), outputs[i].count,
                outputs[i].size);
  }
  return 0;
}
