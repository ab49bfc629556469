#include "update/conversion.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "errors/runtime_error.h"
#include "platform/file_services.h"
#include "platform/process.h"
#include "support/dialog_capture.h"
#include "support/faulty_files.h"
#include "support/ui_fixture.h"
#include "textui/console.h"
#include "textui/dialog.h"
#include "update/formats/area_records.h"
#include "update/formats/hatch_records.h"
#include "update/formats/magic_records.h"
#include "update/formats/node_records.h"
#include "update/program_state.h"

namespace {

const ConversionSpec& Spec(const std::string& fileName) {
  for (const ConversionSpec& spec : ConversionSpecs()) {
    if (spec.FileName == fileName) return spec;
  }
  throw std::runtime_error("no conversion registered for " + fileName);
}

TEST(ConversionSpecs, EachFileRegistersItsRow) {
  const ConversionSpec rows[] = {
      {"MGICFILE.TVN", "MGICFILE.TVN", "MGICFILE.BAK", "MGICFILE.BA", 2500, 2556,
       "Converting MGICFILE.TVN, please wait", 2, 1, "Convert Magicfile names",
       "Convert the Magic filename configuration to 6.01 format", ConvertMagicRecord},
      {"hatch.tvn", "HATCH.TVN", "hatch.bak", "hatch.ba", 214, 242,
       "Converting HATCH.TVN, please wait", 1, 2, "Convert Hatch entries",
       "Convert the Hatch configuration to 6.01 format", ConvertHatchRecord},
      {"fareas.tvn", "fareas.tvn", "fareas.bak", "fareas.ba", 2535, 2539,
       "Converting fareas.tvn, please wait", 3, 3, "Convert File Manager entries",
       "Convert the File Manager configuration to 6.01 format", ConvertAreaRecord},
      {"grpfile.tvn", "grpfile.tvn", "grpfile.bak", "grpfile.ba", 2561, 2565,
       "Converting grpfile.tvn, please wait", 4, 4, "Convert Group entries",
       "Convert the Groups configuration to 6.01 format", ConvertGroupRecord},
      {"nodefile.tvn", "nodefile.tvn", "nodefile.bak", "nodefile.ba", 388, 398,
       "Converting nodefile.tvn, please wait", 5, 5, "Convert Node entries",
       "Convert the Node Manager configuration to 6.01 format", ConvertNodeRecord},
  };
  ASSERT_EQ(ConversionSpecs().size(), std::size(rows));
  for (const ConversionSpec& expected : rows) {
    SCOPED_TRACE(expected.FileName);
    const auto count = std::count_if(
        ConversionSpecs().begin(), ConversionSpecs().end(),
        [&](const ConversionSpec& spec) { return spec.FileName == expected.FileName; });
    ASSERT_EQ(count, 1);
    const ConversionSpec& spec = Spec(expected.FileName);
    EXPECT_EQ(spec.ShownName, expected.ShownName);
    EXPECT_EQ(spec.BackupName, expected.BackupName);
    EXPECT_EQ(spec.BackupStem, expected.BackupStem);
    EXPECT_EQ(spec.OldSize, expected.OldSize);
    EXPECT_EQ(spec.NewSize, expected.NewSize);
    EXPECT_EQ(spec.StatusText, expected.StatusText);
    EXPECT_EQ(spec.BatchPosition, expected.BatchPosition);
    EXPECT_EQ(spec.MenuPosition, expected.MenuPosition);
    EXPECT_EQ(spec.MenuText, expected.MenuText);
    EXPECT_EQ(spec.MenuDescription, expected.MenuDescription);
    EXPECT_EQ(spec.ConvertRecord, expected.ConvertRecord);
  }
}

// An old file of `records` records, each different from the next, with
// length bytes of every value (damaged ones among them).
std::string OldFile(const ConversionSpec& spec, size_t records) {
  std::string bytes(records * spec.OldSize, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) {
    const size_t record = i / spec.OldSize, at = i % spec.OldSize;
    bytes[i] = static_cast<char>(record * 37 + at * 11 + 5);
  }
  return bytes;
}

// The expected new file: record N converted from old record N.
std::string Converted(const ConversionSpec& spec, const std::string& old) {
  std::string converted;
  std::vector<uint8_t> newRecord(spec.NewSize);
  for (size_t at = 0; at + spec.OldSize <= old.size(); at += spec.OldSize) {
    std::fill(newRecord.begin(), newRecord.end(), 0);
    spec.ConvertRecord(reinterpret_cast<const uint8_t*>(old.data() + at), newRecord.data());
    converted.append(newRecord.begin(), newRecord.end());
  }
  return converted;
}

int OpenDescriptors() {
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  int count = 0;
  while (readdir(dir) != nullptr) ++count;
  closedir(dir);
  return count;
}

struct Outcome {
  std::vector<std::string> lines;
  std::string button;
};

Outcome NotFound(const std::string& x) {
  return {{x, "not found"}, "Continue"};
}
Outcome AlreadyUpdated(const std::string& x) {
  return {{x, "", "has already been updated or does not need to be updated."}, "Continue"};
}
Outcome Corrupt(const std::string& x) {
  return {{x, "is corrupt"}, "Abort"};
}
Outcome ShareViolation(const std::string& x) {
  return {{x, "share violation"}, "Abort"};
}
Outcome TooManyBackups(const std::string& x) {
  return {{"Too many backup files for", x}, "Abort"};
}
const Outcome kCompleted{
    {"Update procedure completed", "", "Please run TSETUP Index to complete", "update procedure"},
    "Ok"};

class ConversionTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    capture = std::make_unique<DialogCapture>(*console);
    StartCapture(*capture);
    Program.ConfigDir = dir.ConfigDir();
  }

  // Converts over `files`, answering with Enter the one dialog it is
  // expected to show, and keeps that dialog in `shown`.
  uint16_t Run(const ConversionSpec& spec, bool showsDialog,
               FileServices& files = PlatformFiles()) {
    const size_t before = capture->Waits().size();
    if (showsDialog) console->PressChar(kEnter);
    const uint16_t code = ConvertFileOrFail(spec, files);
    const std::vector<KeyWait>& waits = capture->Waits();
    EXPECT_EQ(waits.size(), before + (showsDialog ? 1 : 0)) << "dialogs shown";
    shown.reset();
    if (waits.size() > before) {
      shown = waits.back().Dialog;
      statusLine = waits.back().StatusLine();
    }
    return code;
  }

  void ExpectShown(const Outcome& outcome) {
    ASSERT_TRUE(shown.has_value()) << "no dialog";
    EXPECT_EQ(shown->Lines, outcome.lines);
    EXPECT_EQ(shown->Buttons, std::vector<std::string>{outcome.button});
  }

  // X of the outcome dialogs.
  std::string X(const ConversionSpec& spec) const { return Program.ConfigDir + spec.ShownName; }

  TempDir dir;
  std::unique_ptr<DialogCapture> capture;
  std::optional<ShownDialog> shown;
  std::string statusLine;
};

using ConversionDeathTest = ConversionTest;

TEST_F(ConversionTest, NoRegularFileOfThatNameIsNotFound) {
  const ConversionSpec& spec = Spec("hatch.tvn");
  struct Case {
    const char* name;
    void (*make)(const TempDir&);
    const char* below = "";  // ConfigDir below the directory
  };
  const Case cases[] = {
      {"nothing", [](const TempDir&) {}},
      {"a directory", [](const TempDir& d) { d.MakeDirectory("hatch.tvn"); }},
      {"a FIFO", [](const TempDir& d) { d.MakeFifo("hatch.tvn"); }},
      {"another file only", [](const TempDir& d) { d.Write("hatch.tv", "x"); }},
      {"no such directory", [](const TempDir& d) { d.Write("hatch.tvn", "x"); }, "cfg/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir d;
    c.make(d);
    Program.ConfigDir = d.ConfigDir() + c.below;
    const DirectorySnapshot before = SnapshotDirectory(d.Path());
    EXPECT_EQ(Run(spec, true), 0);
    ExpectShown(NotFound(X(spec)));
    EXPECT_EQ(SnapshotDirectory(d.Path()), before);
    EXPECT_FALSE(Program.ConvertedAny);
  }
}

TEST_F(ConversionTest, SizeDecidesBetweenAlreadyUpdatedAndCorrupt) {
  enum Kind { kAlready, kCorrupt };
  struct Case {
    const char* file;
    uint64_t size;
    Kind kind;
  };
  const Case cases[] = {
      {"hatch.tvn", 0, kAlready},
      {"hatch.tvn", 242, kAlready},
      {"hatch.tvn", 25894, kAlready},  // 121 old records, 107 new ones
      {"hatch.tvn", 213, kCorrupt},
      {"hatch.tvn", 215, kCorrupt},
      // A multiple of 242 whose low 32 bits are 41 old records: judged by
      // the whole size, never a truncated one.
      {"hatch.tvn", 4294976070, kAlready},
      {"MGICFILE.TVN", 1597500, kAlready},
      {"MGICFILE.TVN", 2501, kCorrupt},
      {"fareas.tvn", 6436365, kAlready},
      {"fareas.tvn", 2536, kCorrupt},
      {"grpfile.tvn", 6568965, kAlready},
      {"grpfile.tvn", 2561 + 2565, kCorrupt},
      {"nodefile.tvn", 77212, kAlready},
      {"nodefile.tvn", 389, kCorrupt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.file << " of " << c.size << " bytes");
    const ConversionSpec& spec = Spec(c.file);
    TempDir d;
    Program.ConfigDir = d.ConfigDir();
    d.WriteSparse(c.file, c.size);
    const DirectorySnapshot before = SnapshotDirectory(d.Path());
    EXPECT_EQ(Run(spec, true), 0);
    ExpectShown(c.kind == kAlready ? AlreadyUpdated(X(spec)) : Corrupt(X(spec)));
    EXPECT_EQ(SnapshotDirectory(d.Path()), before);
    EXPECT_FALSE(Program.ConvertedAny);
  }
}

TEST_F(ConversionTest, ConvertsRecordByRecordAndKeepsTheOldFileAsBackup) {
  struct Case {
    const char* file;
    size_t records;
  };
  // Record I/O goes in blocks of whole records of about a mebibyte: 4899
  // hatch records, 419 magic filename records.
  const Case cases[] = {
      {"hatch.tvn", 1},    {"hatch.tvn", 3},    {"hatch.tvn", 4899},   {"hatch.tvn", 4900},
      {"hatch.tvn", 9798}, {"MGICFILE.TVN", 3}, {"MGICFILE.TVN", 420}, {"fareas.tvn", 3},
      {"grpfile.tvn", 3},  {"nodefile.tvn", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.file << ", " << c.records << " records");
    const ConversionSpec& spec = Spec(c.file);
    TempDir d;
    Program.ConfigDir = d.ConfigDir();
    Program.ConvertedAny = false;
    const std::string old = OldFile(spec, c.records);
    d.Write(spec.FileName, old);
    EXPECT_EQ(Run(spec, true), 0);
    ExpectShown(kCompleted);
    EXPECT_EQ(statusLine, spec.StatusText);
    EXPECT_TRUE(Program.ConvertedAny);
    EXPECT_EQ(IoResultCode, 0);
    const std::string converted = d.Read(spec.FileName);
    ASSERT_EQ(converted.size(), c.records * spec.NewSize);
    const std::string expected = Converted(spec, old);
    for (size_t r = 0; r < c.records; ++r) {
      if (converted.compare(r * spec.NewSize, spec.NewSize, expected, r * spec.NewSize,
                            spec.NewSize) != 0) {
        ADD_FAILURE() << "record " << r << " differs";
        break;
      }
    }
    // Nothing else: no hidden file left behind.
    EXPECT_EQ(SnapshotDirectory(d.Path()), (DirectorySnapshot{{spec.FileName, FileEntry(expected)},
                                                              {spec.BackupName, FileEntry(old)}}));
  }
}

TEST_F(ConversionTest, FileIsFoundInAnyCaseSpellingExactSpellingFirst) {
  const ConversionSpec& spec = Spec("hatch.tvn");
  const std::string old = OldFile(spec, 2), other = OldFile(spec, 3);
  const std::string converted = Converted(spec, old);

  // Only another spelling on disk: that file is converted under its name.
  dir.Write("HATCH.TVN", old);
  EXPECT_EQ(Run(spec, true), 0);
  ExpectShown(kCompleted);
  EXPECT_EQ(SnapshotDirectory(dir.Path()), (DirectorySnapshot{{"HATCH.TVN", FileEntry(converted)},
                                                              {"hatch.bak", FileEntry(old)}}));

  // The exact spelling beside another one: the exact one is converted.
  TempDir d;
  d.Write("hatch.tvn", old);
  d.Write("HATCH.TVN", other);
  Program.ConfigDir = d.ConfigDir();
  EXPECT_EQ(Run(spec, true), 0);
  ExpectShown(kCompleted);
  EXPECT_EQ(SnapshotDirectory(d.Path()), (DirectorySnapshot{{"hatch.tvn", FileEntry(converted)},
                                                            {"HATCH.TVN", FileEntry(other)},
                                                            {"hatch.bak", FileEntry(old)}}));
}

// TIRVEN gives the directory upper-cased, often with backslashes: every
// name on the way is found in its spelling on disk, a hidden one too.
TEST_F(ConversionTest, ConfigDirIsFoundInAnyCaseSpellingWithEitherSeparator) {
  const ConversionSpec& spec = Spec("grpfile.tvn");
  const std::string old = OldFile(spec, 2);
  dir.MakeDirectory(".Cfg");
  dir.Write(".Cfg/grpfile.tvn", old);
  std::string configDir;
  for (char c : dir.PathOf(".Cfg\\")) {
    configDir += c == '/' ? '\\' : (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  }
  Program.ConfigDir = configDir;
  EXPECT_EQ(Run(spec, true), 0);
  ExpectShown(kCompleted);
  EXPECT_EQ(SnapshotDirectory(dir.PathOf(".Cfg")),
            (DirectorySnapshot{{"grpfile.tvn", FileEntry(Converted(spec, old))},
                               {"grpfile.bak", FileEntry(old)}}));

  // An outcome dialog names the file as ConfigDir spells it.
  EXPECT_EQ(Run(spec, true), 0);
  ExpectShown(AlreadyUpdated(configDir + "grpfile.tvn"));
}

TEST_F(ConversionTest, BackupGoesToTheFirstFreeName) {
  const ConversionSpec& spec = Spec("hatch.tvn");
  struct Case {
    std::vector<std::string> taken;
    std::string backup;
  };
  const Case cases[] = {
      {{"hatch.ba1"}, "hatch.bak"},
      {{"hatch.bak"}, "hatch.ba1"},
      {{"HATCH.BAK"}, "hatch.ba1"},  // a name is taken in any case spelling
      {{"hatch.bak", "Hatch.Ba1", "hatch.ba3"}, "hatch.ba2"},
      {{"hatch.bak", "hatch.ba1", "hatch.ba2", "hatch.ba3", "hatch.ba4", "hatch.ba5", "hatch.ba6",
        "hatch.ba7", "hatch.ba8"},
       "hatch.ba9"},
  };
  const std::string old = OldFile(spec, 2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.backup);
    TempDir d;
    Program.ConfigDir = d.ConfigDir();
    d.Write("hatch.tvn", old);
    DirectorySnapshot expected{{"hatch.tvn", FileEntry(Converted(spec, old))},
                               {c.backup, FileEntry(old)}};
    for (const std::string& name : c.taken) {
      d.Write(name, "earlier backup " + name);
      expected[name] = FileEntry("earlier backup " + name);
    }
    EXPECT_EQ(Run(spec, true), 0);
    ExpectShown(kCompleted);
    EXPECT_EQ(SnapshotDirectory(d.Path()), expected);
  }
}

TEST_F(ConversionTest, TenBackupNamesTakenIsTooManyBackups) {
  const ConversionSpec& spec = Spec("hatch.tvn");
  dir.Write("hatch.tvn", OldFile(spec, 2));
  dir.MakeDirectory("hatch.bak");  // a directory takes a name as well as a file
  for (char digit = '1'; digit <= '9'; ++digit) dir.Write(std::string("hatch.ba") + digit, "b");
  const DirectorySnapshot before = SnapshotDirectory(dir.Path());
  EXPECT_EQ(Run(spec, true), 0);
  ExpectShown(TooManyBackups(X(spec)));
  // hatch.ba0 is never tried.
  EXPECT_EQ(SnapshotDirectory(dir.Path()), before);
  EXPECT_FALSE(Program.ConvertedAny);
}

TEST_F(ConversionTest, SecondConversionFindsTheNewLayoutAndMakesNoSecondBackup) {
  const ConversionSpec& spec = Spec("nodefile.tvn");
  dir.Write("nodefile.tvn", OldFile(spec, 4));
  EXPECT_EQ(Run(spec, true), 0);
  ExpectShown(kCompleted);
  const DirectorySnapshot converted = SnapshotDirectory(dir.Path());
  EXPECT_EQ(Run(spec, true), 0);
  ExpectShown(AlreadyUpdated(X(spec)));
  EXPECT_EQ(SnapshotDirectory(dir.Path()), converted);
}

TEST_F(ConversionTest, ShareViolationOnlyOnTheFirstBackupName) {
  const ConversionSpec& spec = Spec("hatch.tvn");
  const std::string old = OldFile(spec, 2);
  dir.Write("hatch.tvn", old);
  const DirectorySnapshot before = SnapshotDirectory(dir.Path());
  // Call 2 is the first backup name.
  FaultyFiles faulty(PlatformFiles());
  faulty.FailAt(2, 162);
  EXPECT_EQ(Run(spec, true, faulty), 0);
  ASSERT_EQ(faulty.Operations().at(1), "AddName");
  ExpectShown(ShareViolation(X(spec)));
  EXPECT_EQ(SnapshotDirectory(dir.Path()), before);
  EXPECT_FALSE(Program.ConvertedAny);

  // On a numbered name 162 is one more name that cannot be had: hatch.bak
  // is taken, hatch.ba1 fails, hatch.ba2 is made.
  TempDir d;
  d.Write("hatch.tvn", old);
  d.Write("hatch.bak", "earlier");
  Program.ConfigDir = d.ConfigDir();
  FaultyFiles numbered(PlatformFiles());
  numbered.FailAt(3, 162);
  EXPECT_EQ(Run(spec, true, numbered), 0);
  ExpectShown(kCompleted);
  EXPECT_EQ(SnapshotDirectory(d.Path()),
            (DirectorySnapshot{{"hatch.tvn", FileEntry(Converted(spec, old))},
                               {"hatch.bak", FileEntry("earlier")},
                               {"hatch.ba2", FileEntry(old)}}));
}

// A file that can be given its backup name but not opened for writing (a
// read-only one, for anyone but root): access denied, the backup taken back.
TEST_F(ConversionTest, FileThatCannotBeOpenedEndsInAccessDeniedWithNothingLeft) {
  const ConversionSpec& spec = Spec("fareas.tvn");
  dir.Write("fareas.tvn", OldFile(spec, 2));
  const DirectorySnapshot before = SnapshotDirectory(dir.Path());
  FaultyFiles faulty(PlatformFiles());
  faulty.FailAt(3, 5);
  EXPECT_EQ(Run(spec, false, faulty), 5);
  ASSERT_EQ(faulty.Operations().at(2), "OpenExisting");
  EXPECT_EQ(SnapshotDirectory(dir.Path()), before);
}

TEST_F(ConversionTest, NewFileLeftByACrashIsNeitherReusedNorTouched) {
  const ConversionSpec& spec = Spec("hatch.tvn");
  const std::string old = OldFile(spec, 2);
  dir.Write("hatch.tvn", old);
  dir.Write(".hatch.tvn.new", "left by a crash");
  EXPECT_EQ(Run(spec, true), 0);
  ExpectShown(kCompleted);
  EXPECT_EQ(SnapshotDirectory(dir.Path()),
            (DirectorySnapshot{{"hatch.tvn", FileEntry(Converted(spec, old))},
                               {"hatch.bak", FileEntry(old)},
                               {".hatch.tvn.new", FileEntry("left by a crash")}}));
}

TEST_F(ConversionTest, ConvertedFileKeepsThePermissionsOfTheOldOne) {
  const ConversionSpec& spec = Spec("nodefile.tvn");
  dir.Write("nodefile.tvn", OldFile(spec, 3));
  ASSERT_EQ(chmod(dir.PathOf("nodefile.tvn").c_str(), 0640), 0);
  EXPECT_EQ(Run(spec, true), 0);
  ExpectShown(kCompleted);
  struct stat st;
  ASSERT_EQ(stat(dir.PathOf("nodefile.tvn").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// When something else takes the file's own name away in the middle of a
// conversion, the backup is the one copy of the old records left: a failure
// then takes back only the new file.
TEST_F(ConversionTest, BackupStaysWhenTheFileLosesItsNameDuringTheConversion) {
  const ConversionSpec& spec = Spec("hatch.tvn");
  const std::string old = OldFile(spec, 2);
  dir.Write("hatch.tvn", old);
  // Which call is the first read of the old records: a conversion of the
  // same file elsewhere tells.
  int readCall = 0;
  {
    TempDir elsewhere;
    elsewhere.Write("hatch.tvn", old);
    Program.ConfigDir = elsewhere.ConfigDir();
    FaultyFiles counting(PlatformFiles());
    ASSERT_EQ(Run(spec, true, counting), 0);
    Program.ConfigDir = dir.ConfigDir();
    const std::vector<std::string>& ops = counting.Operations();
    readCall = static_cast<int>(std::find(ops.begin(), ops.end(), "Read") - ops.begin()) + 1;
    ASSERT_LE(readCall, counting.Calls());
  }
  FaultyFiles faulty(PlatformFiles());
  faulty.FailAt(readCall, 100);
  faulty.WhenFailing([&] { ASSERT_EQ(unlink(dir.PathOf("hatch.tvn").c_str()), 0); });
  EXPECT_EQ(Run(spec, false, faulty), 100);
  EXPECT_EQ(SnapshotDirectory(dir.Path()), (DirectorySnapshot{{"hatch.bak", FileEntry(old)}}));
}

// Fails call 1, 2, ... of a conversion until one runs to its end. Before the
// backup a failed search is a file not found and a failed backup name sends
// the backup to the next name; after it, every failure takes back what the
// conversion made and returns the code. Only a failed directory flush comes
// after the converted file has replaced the old one: both files stay.
TEST_F(ConversionTest, EveryFailedOperationLeavesTheDirectoryAsItWas) {
  const ConversionSpec& spec = Spec("hatch.tvn");
  // Two blocks of records, so that reads and writes come more than once.
  const std::string old = OldFile(spec, 4900);
  const std::string converted = Converted(spec, old);
  // Neither 5 (a name taken) nor 162, which the procedure tells apart.
  constexpr uint16_t kCode = 101;

  std::vector<std::string> operations;
  {
    dir.Write("hatch.tvn", old);
    FaultyFiles counting(PlatformFiles());
    Run(spec, true, counting);
    operations = counting.Operations();
  }
  ASSERT_GE(std::count(operations.begin(), operations.end(), "Read"), 2);
  ASSERT_GE(std::count(operations.begin(), operations.end(), "Write"), 2);

  for (int n = 1; n <= 100; ++n) {
    const std::string failing =
        n <= static_cast<int>(operations.size()) ? operations[static_cast<size_t>(n - 1)] : "";
    SCOPED_TRACE(::testing::Message() << "call " << n << " " << failing);
    TempDir d;
    d.Write("hatch.tvn", old);
    Program.ConfigDir = d.ConfigDir();
    Program.ConvertedAny = false;
    IoResultCode = 0;
    const DirectorySnapshot before = SnapshotDirectory(d.Path());
    const DirectorySnapshot after{{"hatch.tvn", FileEntry(converted)},
                                  {"hatch.bak", FileEntry(old)}};
    const int descriptors = OpenDescriptors();

    FaultyFiles faulty(PlatformFiles());
    faulty.FailAt(n, kCode);
    const bool completes = failing.empty() || failing == "AddName";
    const uint16_t code = Run(spec, completes || failing == "FindFirstEntry", faulty);
    EXPECT_EQ(OpenDescriptors(), descriptors) << "descriptors left open";
    sigset_t held;
    sigprocmask(SIG_BLOCK, nullptr, &held);
    EXPECT_FALSE(sigismember(&held, SIGINT)) << "Ctrl-C still held";

    if (!faulty.Injected()) {
      // The conversion ran to its end without reaching call n.
      EXPECT_EQ(code, 0);
      ExpectShown(kCompleted);
      EXPECT_EQ(SnapshotDirectory(d.Path()), after);
      EXPECT_GT(n, 1);
      break;
    }
    if (failing == "FindFirstEntry") {
      EXPECT_EQ(code, 0);
      ExpectShown(NotFound(X(spec)));
      EXPECT_EQ(SnapshotDirectory(d.Path()), before);
      EXPECT_FALSE(Program.ConvertedAny);
    } else if (failing == "AddName") {
      EXPECT_EQ(code, 0);
      ExpectShown(kCompleted);
      EXPECT_EQ(SnapshotDirectory(d.Path()), (DirectorySnapshot{{"hatch.tvn", FileEntry(converted)},
                                                                {"hatch.ba1", FileEntry(old)}}));
    } else if (failing == "FlushDirectory") {
      EXPECT_EQ(code, kCode);
      EXPECT_EQ(IoResultCode, kCode);
      EXPECT_EQ(SnapshotDirectory(d.Path()), after);
    } else {
      EXPECT_EQ(code, kCode);
      EXPECT_EQ(IoResultCode, kCode);
      EXPECT_EQ(SnapshotDirectory(d.Path()), before);
      EXPECT_TRUE(Program.ConvertedAny);
    }
    ASSERT_LT(n, 100) << "the conversion never ran to its end";
  }
}

// Prints the console's rows on standard error: the death test reads the
// runtime error's report there.
void PrintConsole() {
  std::string text;
  for (int row = 1; row <= Console.ScreenRows; ++row) {
    for (int column = 1; column <= Console.ScreenColumns; ++column)
      text += static_cast<char>(CellChar(Console.Shown[CellIndex(column, row)]));
    text += '\n';
  }
  if (write(STDERR_FILENO, text.data(), text.size()) < 0) return;
}

TEST_F(ConversionDeathTest, FullDiskStopsWithDiskWriteErrorAndNothingLost) {
  // The child is a fork of this test, so it converts in this test's
  // directory.
  GTEST_FLAG_SET(death_test_style, "fast");
  const ConversionSpec& spec = Spec("hatch.tvn");
  dir.Write("hatch.tvn", OldFile(spec, 4900));
  const DirectorySnapshot before = SnapshotDirectory(dir.Path());
  EXPECT_EXIT(
      {
        dup2(STDERR_FILENO, STDOUT_FILENO);
        AddExitProc(PrintConsole);
        InstallRuntimeErrorHandler();
        // No file may grow past 64 KiB: the first block of new records does
        // not fit, as on a full disk.
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 64 * 1024;
        setrlimit(RLIMIT_FSIZE, &limit);
        ConvertFile(spec);
      },
      ::testing::ExitedWithCode(254), "Disk write error, program aborted\\.");
  EXPECT_EQ(SnapshotDirectory(dir.Path()), before);
}

}  // namespace
