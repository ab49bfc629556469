// Hostile configuration directories, one table: files that cannot be
// written, directories that cannot be changed, entries of the wrong kind
// under a configuration file's name, names in other case spellings, a
// ConfigDir longer than the program keeps, every size class; then a file
// that changes between the size probe and the conversion, and a new file
// swapped for a link while it is written. Each ends in the outcome dialog or
// runtime error the program defines, with nothing lost.

#include <fcntl.h>
#include <grp.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>

#include "reliability_support.h"
#include "support/faulty_files.h"
#include "update/conversion.h"

namespace {

constexpr uid_t kNobody = 65534;

enum class Outcome { Converted, NotFound, AlreadyUpdated, Corrupt, TooManyBackups };

// The directory a case is built in and what the program is given.
struct Scene {
  TempDir root;                               // the program's working directory
  std::string dir;                            // the configuration directory on disk
  std::string configDir;                      // the second argument: ConfigDir
  Configuration old;                          // each file's old bytes, by FileName
  std::map<std::string, std::string> onDisk;  // FileName -> the name as spelled on disk
  bool unprivileged = false;           // run the program as another user than the files' owner
  std::vector<std::string> untouched;  // other directories the run must leave as they are
  std::vector<std::function<void()>> cleanups;

  Scene() : dir(root.Path()), configDir(root.ConfigDir()) {}
  ~Scene() {
    for (auto& cleanup : cleanups) cleanup();
  }
  std::string Path(const std::string& name) const { return dir + "/" + name; }
  // Writes `bytes` as the file `fileName` under the name `spelled`.
  void Put(const std::string& fileName, const std::string& bytes, std::string spelled = "") {
    if (spelled.empty()) spelled = fileName;
    WriteConfiguration(dir, {{spelled, bytes}});
    old[fileName] = bytes;
    onDisk[fileName] = spelled;
  }
  void Forget(const std::string& fileName) {
    old.erase(fileName);
    onDisk.erase(fileName);
  }
};

// The five files with a few records each.
void PutAll(Scene& scene) {
  uint32_t seed = 1;
  for (const std::string& name : BatchOrder()) {
    scene.Put(name, OldRecords(SpecOf(name), 3 + seed, seed));
    ++seed;
  }
}

// A file of `size` bytes that reads as zeros, written without its bytes.
void PutSparse(Scene& scene, const std::string& fileName, uint64_t size) {
  const std::string path = scene.Path(fileName);
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
  close(fd);
  scene.old[fileName] = size <= kSnapshotBytes ? std::string(size, '\0') : std::string();
  scene.onDisk[fileName] = fileName;
}

// The immutable flag, which stops root too; false where the file system
// has none.
bool SetImmutable(const std::string& path, bool on) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  int flags = 0;
  bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (done) {
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    done = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  close(fd);
  return done;
}

void MakeImmutable(Scene& scene, const std::string& path) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can set the immutable flag";
  if (!SetImmutable(path, true)) GTEST_SKIP() << "the file system has no immutable flag";
  scene.cleanups.push_back([path] { SetImmutable(path, false); });
}

// Hands the directory and everything in it to another user, who then runs
// the program; permissions stop that user as they would stop anyone.
void RunAsOtherUser(Scene& scene) {
  scene.unprivileged = true;
  if (geteuid() != 0) return;  // not root: permissions stop the test's own user
  ASSERT_EQ(chmod(scene.root.Path().c_str(), 0755), 0);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(scene.root.Path()))
    ASSERT_EQ(lchown(entry.path().c_str(), kNobody, kNobody), 0);
  ASSERT_EQ(chown(scene.root.Path().c_str(), kNobody, kNobody), 0);
}

// Chooses a size of the class a row names for one file.
using SizeClass = uint64_t (*)(const ConversionSpec&);

struct Case {
  Case(const char* caseName, std::function<void(Scene&)> builder)
      : name(caseName), build(std::move(builder)) {}
  // The outcome of one file; files not named convert.
  Case& Shows(const std::string& file, Outcome outcome) {
    outcomes[file] = outcome;
    return *this;
  }
  Case& AllShow(Outcome outcome) {
    for (const std::string& file : BatchOrder()) outcomes[file] = outcome;
    return *this;
  }
  // The file whose conversion stops the program, with the runtime error.
  Case& StopsAt(const std::string& file, int code, const char* text) {
    failing = file;
    errorCode = code;
    errorText = text;
    return *this;
  }

  const char* name;
  std::function<void(Scene&)> build;
  std::map<std::string, Outcome> outcomes;
  std::string failing;
  int errorCode = 0;
  const char* errorText = "";
};

// What the dialog at one key wait shows for a file's outcome.
std::vector<std::string> DialogTexts(Outcome outcome, const std::string& x) {
  // A dialog line is cut to the 70 characters a dialog has room for.
  const std::string shown = Cp437Text(x.substr(0, 70));
  switch (outcome) {
    case Outcome::Converted:
      return {"Update procedure completed", "Please run TSETUP Index to complete"};
    case Outcome::NotFound:
      return {shown, "not found", "Continue"};
    case Outcome::AlreadyUpdated:
      return {shown, "has already been updated or does not need to be updated.", "Continue"};
    case Outcome::Corrupt:
      return {shown, "is corrupt", "Abort"};
    case Outcome::TooManyBackups:
      return {"Too many backup files for", shown, "Abort"};
  }
  return {};
}

void RunCase(const Case& c) {
  SCOPED_TRACE(c.name);
  Scene scene;
  c.build(scene);
  if (::testing::Test::IsSkipped() || ::testing::Test::HasFatalFailure()) return;
  const DirectorySnapshot before = SnapshotDirectory(scene.dir);
  std::vector<DirectorySnapshot> others;
  for (const std::string& dir : scene.untouched) others.push_back(SnapshotDirectory(dir));

  const bool dropPrivileges = scene.unprivileged && geteuid() == 0;
  const BatchRun run = RunBatch(scene.configDir, [&](PtyOptions& options) {
    options.WorkingDirectory = scene.root.Path();
    if (dropPrivileges) {
      options.BeforeExec = [] {
        const gid_t group = kNobody;
        if (setgroups(1, &group) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(125);
      };
    }
  });
  ASSERT_TRUE(run.Finished) << "the program did not end";

  // The dialogs: the confirmation, one per file up to the failing one, and
  // the closing dialog when a conversion started.
  std::vector<std::vector<std::string>> expected{{"Do you want to update the TIRVEN version"}};
  DirectorySnapshot after = before;
  bool convertedAny = false;
  for (const std::string& name : BatchOrder()) {
    const ConversionSpec& spec = SpecOf(name);
    if (name == c.failing) {
      convertedAny = true;
      break;
    }
    const auto found = c.outcomes.find(name);
    const Outcome outcome = found == c.outcomes.end() ? Outcome::Converted : found->second;
    expected.push_back(DialogTexts(outcome, scene.configDir.substr(0, 255) + spec.ShownName));
    if (outcome != Outcome::Converted) continue;
    convertedAny = true;
    const std::string& old = scene.old.at(name);
    after[scene.onDisk.at(name)] = FileEntry(Converted(spec, old));
    // The first backup name, unless the case took it in some spelling.
    for (const std::string& backup : BackupNames(spec)) {
      const bool taken = std::any_of(before.begin(), before.end(), [&](const auto& entry) {
        return entry.first.size() == backup.size() &&
               std::equal(backup.begin(), backup.end(), entry.first.begin(), [](char a, char b) {
                 return std::tolower(static_cast<unsigned char>(a)) ==
                        std::tolower(static_cast<unsigned char>(b));
               });
      });
      if (taken) continue;
      after[backup] = FileEntry(old);
      break;
    }
  }
  if (c.failing.empty() && convertedAny)
    expected.push_back({"Please finish the updating procedure with the following steps"});

  ASSERT_EQ(run.Screens.size(), expected.size()) << "key waits; last screen:\n"
                                                 << (run.Screens.empty() ? "" : run.Screens.back());
  for (size_t n = 0; n < expected.size(); ++n) {
    for (const std::string& text : expected[n]) {
      EXPECT_NE(run.Screens[n].find(text), std::string::npos)
          << "dialog " << n << " lacks \"" << text << "\":\n"
          << run.Screens[n];
    }
  }
  if (c.failing.empty()) {
    EXPECT_TRUE(run.Exit.Exited && run.Exit.Code == 0) << "exit " << run.Exit.Code;
  } else {
    EXPECT_TRUE(run.Exit.Exited && run.Exit.Code == 254) << "exit " << run.Exit.Code;
    EXPECT_TRUE(EndsInRuntimeError(run.Output, c.errorCode, c.errorText));
  }
  EXPECT_EQ(SnapshotDirectory(scene.dir), after);
  for (size_t n = 0; n < others.size(); ++n)
    EXPECT_EQ(SnapshotDirectory(scene.untouched[n]), others[n]) << scene.untouched[n];
}

// Every file at a size of one class.
std::function<void(Scene&)> AllOfSize(SizeClass size) {
  return [size](Scene& scene) {
    for (const std::string& name : BatchOrder()) {
      const ConversionSpec& spec = SpecOf(name);
      const uint64_t bytes = size(spec);
      if (bytes % spec.OldSize == 0 && bytes % spec.NewSize != 0) {
        scene.Put(name, OldRecords(spec, bytes / spec.OldSize));
      } else {
        PutSparse(scene, name, bytes);
      }
    }
  };
}

// A ConfigDir of 300 characters, ending in a separator, whose cut to 255
// characters ends inside a name (`atSeparator` false) or just after one.
std::function<void(Scene&)> LongConfigDir(bool atSeparator) {
  return [atSeparator](Scene& scene) {
    std::string configDir;
    const size_t first = atSeparator ? 54 : 49;
    for (char c = 'a'; configDir.size() < 300; ++c)
      configDir += std::string(configDir.empty() ? first : 49, c) + "/";
    configDir.resize(299);
    configDir += "/";
    ASSERT_EQ(configDir[254] == '/', atSeparator);
    // The files sit in the directory the whole argument names...
    const std::string deep = scene.root.Path() + "/" + configDir;
    std::filesystem::create_directories(deep);
    uint32_t seed = 1;
    for (const std::string& name : BatchOrder())
      WriteConfiguration(deep, {{name, OldRecords(SpecOf(name), 2, seed++)}});
    scene.configDir = configDir;
    scene.dir = deep;
    if (atSeparator) {
      // ...and in the one its first 255 characters name, which is converted.
      scene.untouched.push_back(deep);
      scene.dir = scene.root.Path() + "/" + configDir.substr(0, 255);
      PutAll(scene);
    }
  };
}

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      Case("read-only file of another user",
           [](Scene& s) {
             PutAll(s);
             ASSERT_EQ(chmod(s.Path("MGICFILE.TVN").c_str(), 0444), 0);
             RunAsOtherUser(s);
           })
          .StopsAt("MGICFILE.TVN", 5, "File access denied"),
      Case("immutable file",
           [](Scene& s) {
             PutAll(s);
             MakeImmutable(s, s.Path("fareas.tvn"));
           })
          .StopsAt("fareas.tvn", 5, "File access denied"),
      Case("read-only directory of another user",
           [](Scene& s) {
             PutAll(s);
             RunAsOtherUser(s);
             ASSERT_EQ(chmod(s.dir.c_str(), 0555), 0);
             s.cleanups.push_back([d = s.dir] { chmod(d.c_str(), 0755); });
           })
          .AllShow(Outcome::TooManyBackups),
      Case("immutable directory",
           [](Scene& s) {
             PutAll(s);
             MakeImmutable(s, s.dir);
           })
          .AllShow(Outcome::TooManyBackups),
      Case("a directory, a FIFO and symbolic links named like configuration files",
           [](Scene& s) {
             PutAll(s);
             for (const char* name : {"hatch.tvn", "MGICFILE.TVN", "fareas.tvn", "grpfile.tvn"}) {
               ASSERT_EQ(unlink(s.Path(name).c_str()), 0);
               s.Forget(name);
             }
             ASSERT_EQ(mkdir(s.Path("hatch.tvn").c_str(), 0755), 0);
             WriteConfiguration(s.Path("hatch.tvn"), {{"inside", "a file in the directory"}});
             ASSERT_EQ(mkfifo(s.Path("MGICFILE.TVN").c_str(), 0644), 0);
             ASSERT_EQ(mkfifo(s.Path("fifo").c_str(), 0644), 0);
             ASSERT_EQ(symlink("fifo", s.Path("fareas.tvn").c_str()), 0);
             ASSERT_EQ(symlink("nowhere", s.Path("grpfile.tvn").c_str()), 0);
           })
          .Shows("hatch.tvn", Outcome::NotFound)
          .Shows("MGICFILE.TVN", Outcome::NotFound)
          .Shows("fareas.tvn", Outcome::NotFound)
          .Shows("grpfile.tvn", Outcome::NotFound),
      Case("a symbolic link to a configuration file elsewhere",
           [](Scene& s) {
             PutAll(s);
             ASSERT_EQ(mkdir(s.root.PathOf("elsewhere").c_str(), 0755), 0);
             ASSERT_EQ(rename(s.Path("nodefile.tvn").c_str(),
                              s.root.PathOf("elsewhere/nodefile.tvn").c_str()),
                       0);
             // In a directory of its own, so that the configuration
             // directory holds only what the program makes.
             s.dir = s.root.PathOf("config");
             s.configDir = s.root.ConfigDir() + "config/";
             ASSERT_EQ(mkdir(s.dir.c_str(), 0755), 0);
             for (const std::string& name : BatchOrder()) {
               if (name == "nodefile.tvn") continue;
               ASSERT_EQ(rename(s.root.PathOf(name).c_str(), s.Path(name).c_str()), 0);
             }
             ASSERT_EQ(symlink("../elsewhere/nodefile.tvn", s.Path("nodefile.tvn").c_str()), 0);
             // The link gives way to the converted file; the file it pointed
             // to keeps the old records, as the backup does.
             s.untouched.push_back(s.root.PathOf("elsewhere"));
           }),
      Case("names in other case spellings",
           [](Scene& s) {
             const std::map<std::string, std::string> spellings = {
                 {"hatch.tvn", "HATCH.TVN"},
                 {"MGICFILE.TVN", "mgicfile.tvn"},
                 {"fareas.tvn", "Fareas.Tvn"},
                 {"grpfile.tvn", "GRPFILE.TVN"},
                 {"nodefile.tvn", "NodeFile.TVN"}};
             uint32_t seed = 1;
             for (const auto& [name, spelled] : spellings)
               s.Put(name, OldRecords(SpecOf(name), 2, seed++), spelled);
           }),
      Case("two files differing only in case",
           [](Scene& s) {
             PutAll(s);
             // The exact spelling wins over another one...
             WriteConfiguration(s.dir, {{"HATCH.TVN", OldRecords(SpecOf("hatch.tvn"), 2, 40)}});
             // ...and without it the first other spelling in byte order.
             ASSERT_EQ(unlink(s.Path("MGICFILE.TVN").c_str()), 0);
             WriteConfiguration(s.dir,
                                {{"mgicfile.tvn", OldRecords(SpecOf("MGICFILE.TVN"), 2, 41)}});
             s.Put("MGICFILE.TVN", OldRecords(SpecOf("MGICFILE.TVN"), 3, 42), "Mgicfile.tvn");
           }),
      Case("backup names taken in other spellings, or all of them",
           [](Scene& s) {
             PutAll(s);
             WriteConfiguration(s.dir, {{"HATCH.BAK", "an earlier backup"}});
             for (const std::string& backup : BackupNames(SpecOf("fareas.tvn")))
               WriteConfiguration(s.dir, {{backup, "taken"}});
           })
          .Shows("fareas.tvn", Outcome::TooManyBackups),
      Case("ConfigDir of 300 characters, cut inside a name", LongConfigDir(false))
          .AllShow(Outcome::NotFound),
      Case("ConfigDir of 300 characters, cut after a separator", LongConfigDir(true)),
      Case("empty files", AllOfSize([](const ConversionSpec&) { return uint64_t{0}; }))
          .AllShow(Outcome::AlreadyUpdated),
      Case("one byte", AllOfSize([](const ConversionSpec&) { return uint64_t{1}; }))
          .AllShow(Outcome::Corrupt),
      Case("a multiple of the old record size",
           AllOfSize([](const ConversionSpec& spec) { return uint64_t{spec.OldSize} * 7; })),
      Case("a multiple of the new record size",
           AllOfSize([](const ConversionSpec& spec) { return uint64_t{spec.NewSize} * 7; }))
          .AllShow(Outcome::AlreadyUpdated),
      Case("a common multiple of both record sizes", AllOfSize([](const ConversionSpec& spec) {
             return std::lcm(uint64_t{spec.OldSize}, uint64_t{spec.NewSize});
           }))
          .AllShow(Outcome::AlreadyUpdated),
      Case("a multiple of neither record size", AllOfSize([](const ConversionSpec& spec) {
             return uint64_t{spec.OldSize} * 7 + spec.OldSize / 2;
           }))
          .AllShow(Outcome::Corrupt),
      Case("beyond 4 GiB a multiple of the new size whose low 32 bits are an old multiple",
           [](Scene& s) {
             PutAll(s);
             const ConversionSpec& spec = SpecOf("hatch.tvn");
             uint64_t size = 0;
             for (uint64_t k = (uint64_t{1} << 32) / spec.NewSize + 1; size == 0; ++k) {
               const uint64_t low = (k * spec.NewSize) & 0xFFFFFFFFu;
               if (low % spec.OldSize == 0 && low % spec.NewSize != 0) size = k * spec.NewSize;
             }
             PutSparse(s, "hatch.tvn", size);
           })
          .Shows("hatch.tvn", Outcome::AlreadyUpdated),
  };
  return cases;
}

class HostileInput : public ::testing::TestWithParam<size_t> {};

TEST_P(HostileInput, EndsInItsOutcomeWithNothingLost) {
  RunCase(Cases()[GetParam()]);
}

INSTANTIATE_TEST_SUITE_P(Directories, HostileInput, ::testing::Range<size_t>(0, Cases().size()),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                           std::string name;
                           for (const char* p = Cases()[info.param].name; *p != '\0'; ++p)
                             name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                           return name;
                         });

// A file that grows or shrinks after the size probe has judged it: the
// program is stopped on its first link call (the backup of the hatch file,
// the first in batch order) by strace, the test changes the file, and the
// program goes on. The conversion takes the whole records the file then
// holds; the backup keeps every byte, a partial record at the end included.
struct Change {
  const char* name;
  std::function<void(const std::string& path, const ConversionSpec& spec)> apply;
};

void Append(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good());
}

void CutTo(const std::string& path, off_t size) {
  ASSERT_EQ(truncate(path.c_str(), size), 0);
}

TEST(HostileInput, FileChangingBetweenTheProbeAndTheConversion) {
  if (!StraceProblem().empty()) GTEST_SKIP() << StraceProblem();
  const std::vector<Change> changes = {
      {"grows by two records",
       [](const std::string& path, const ConversionSpec& spec) {
         Append(path, OldRecords(spec, 2, 77));
       }},
      {"grows by part of a record",
       [](const std::string& path, const ConversionSpec&) { Append(path, "tail"); }},
      {"shrinks by a record",
       [](const std::string& path, const ConversionSpec& spec) {
         CutTo(path, static_cast<off_t>(4 * spec.OldSize));
       }},
      {"shrinks to part of a record",
       [](const std::string& path, const ConversionSpec&) { CutTo(path, 5); }},
      {"is emptied", [](const std::string& path, const ConversionSpec&) { CutTo(path, 0); }},
  };
  const ConversionSpec& hatch = SpecOf("hatch.tvn");
  for (const Change& change : changes) {
    SCOPED_TRACE(change.name);
    TempDir dir;
    Configuration files = ConfigurationOf({{"hatch.tvn", 5},
                                           {"MGICFILE.TVN", 2},
                                           {"fareas.tvn", 2},
                                           {"grpfile.tvn", 2},
                                           {"nodefile.tvn", 2}});
    WriteConfiguration(dir.Path(), files);
    PtyOptions options;
    TempDir logDir;
    const std::string log = logDir.PathOf("strace.log");
    options.Argv = SignalledAtFirstCall(log, "linkat", "SIGSTOP", dir.ConfigDir());
    options.Environment = ProgramEnvironment();
    options.ProgramIsChild = true;
    PtySession session;
    ASSERT_TRUE(session.Start(options)) << session.Error();
    ASSERT_TRUE(session.WaitForKeyWait()) << "no confirmation";
    session.Send("\r");
    // strace notes the stop in its log as it happens.
    const auto deadline = std::chrono::steady_clock::now() + kPtyTimeout;
    while (ReadFileBytes(log).find("--- stopped by SIGSTOP ---") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline && !session.Ended()) {
      session.ReadOutput(5);
    }
    ASSERT_NE(ReadFileBytes(log).find("--- stopped by SIGSTOP ---"), std::string::npos)
        << "not stopped at its first link";
    change.apply(dir.PathOf("hatch.tvn"), hatch);
    const std::string changed = ReadFileBytes(dir.PathOf("hatch.tvn"));
    session.Kill(SIGCONT);
    PtyExit exit;
    ASSERT_TRUE(session.AnswerEveryWait("\r", exit));
    EXPECT_TRUE(exit.Exited && exit.Code == 0) << "exit " << exit.Code;
    EXPECT_EQ(session.KeyWaits(), 7);
    DirectorySnapshot expected;
    for (const auto& [name, old] : files) {
      const std::string& before = name == "hatch.tvn" ? changed : old;
      expected[name] = FileEntry(Converted(SpecOf(name), before));
      expected[SpecOf(name).BackupName] = FileEntry(before);
    }
    EXPECT_EQ(SnapshotDirectory(dir.Path()), expected);
  }
}

// Someone who may write in the configuration directory swaps the hidden new
// file for a symbolic link to another file while the program, run by root,
// finishes it. The program must not follow the link: the other file keeps
// its mode and owner, the link never takes the configuration file's name,
// and the conversion stops with nothing changed.
TEST(HostileInput, NewFileSwappedForALinkIsNeverFollowed) {
  if (!StraceProblem().empty()) GTEST_SKIP() << StraceProblem();
  if (geteuid() != 0) GTEST_SKIP() << "only root can give files to another owner";
  TempDir dir, outside;
  const Configuration files = ConfigurationOf({{"hatch.tvn", 3}});
  WriteConfiguration(dir.Path(), files);
  ASSERT_EQ(chmod(dir.PathOf("hatch.tvn").c_str(), 0664), 0);
  ASSERT_EQ(chown(dir.PathOf("hatch.tvn").c_str(), kNobody, kNobody), 0);
  const std::string victim = outside.PathOf("victim");
  WriteConfiguration(outside.Path(), {{"victim", "not the program's"}});
  ASSERT_EQ(chmod(victim.c_str(), 0600), 0);

  const std::string log = outside.PathOf("strace.log");
  PtyOptions options;
  // Stopped once the new file's records are flushed.
  options.Argv = SignalledAtFirstCall(log, "fsync", "SIGSTOP", dir.ConfigDir());
  options.Environment = ProgramEnvironment();
  options.ProgramIsChild = true;
  PtySession session;
  ASSERT_TRUE(session.Start(options)) << session.Error();
  ASSERT_TRUE(session.WaitForKeyWait());
  session.Send("\r");
  const auto deadline = std::chrono::steady_clock::now() + kPtyTimeout;
  while (ReadFileBytes(log).find("--- stopped by SIGSTOP ---") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline && !session.Ended()) {
    session.ReadOutput(5);
  }
  ASSERT_NE(ReadFileBytes(log).find("--- stopped by SIGSTOP ---"), std::string::npos);
  ASSERT_EQ(unlink(dir.PathOf(".hatch.tvn.new").c_str()), 0);
  ASSERT_EQ(symlink(victim.c_str(), dir.PathOf(".hatch.tvn.new").c_str()), 0);
  session.Kill(SIGCONT);
  PtyExit exit;
  ASSERT_TRUE(session.AnswerEveryWait("\r", exit));

  struct stat st;
  ASSERT_EQ(lstat(victim.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u) << "the link was followed by chmod";
  EXPECT_EQ(st.st_uid, 0u) << "the link was followed by chown";
  EXPECT_EQ(ReadFileBytes(victim), "not the program's");
  EXPECT_TRUE(exit.Exited && exit.Code == 254) << "exit " << exit.Code;
  EXPECT_TRUE(EndsInRuntimeError(session.Output(), 5, "File access denied"));
  EXPECT_EQ(SnapshotDirectory(dir.Path()),
            (DirectorySnapshot{{"hatch.tvn", FileEntry(files.at("hatch.tvn"))}}));
}

}  // namespace
