// A crash at every point of a batch conversion: the program is killed
// (SIGKILL, which nothing can catch or hold) on entering each system call
// that changes a file or the terminal, one call at a time, by strace's fault
// injection. After each crash every configuration file is whole, old or
// converted, every backup holds the old bytes, and a second run converts
// what the first did not, whatever hidden new file the crash left behind.

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <regex>

#include "reliability_support.h"
#include "support/faulty_files.h"
#include "update/conversion.h"

namespace {

// Every system call that changes a file, a name or the terminal. A crash
// inside any other call leaves the same state as one at the next of these.
constexpr const char* kChangingCalls =
    "/^((open|creat|link|symlink|rename|unlink|mkdir|chmod|fchmod|chown|fchown|lchown|utime|"
    "utimens|futimes)(at|at2)?|truncate|ftruncate|fallocate|fsync|fdatasync|syncfs|write|"
    "writev|pwrite64|pwritev|pwritev2|close|close_range|copy_file_range|sendfile|splice)$";

// One call of a whole batch run under strace: its name and its first
// argument (for write, the descriptor).
struct Call {
  std::string name;
  std::string firstArgument;
};

// The calls of a whole batch run under strace, in order. `faults` are strace
// options that make some calls fail throughout.
std::vector<Call> CallsOfARun(const std::string& dir, const Configuration& files,
                              const std::vector<std::string>& faults = {}) {
  WriteConfiguration(dir, files);
  const std::string log = dir + "/../strace.log";
  const BatchRun run = RunBatch(dir + "/", [&](PtyOptions& options) {
    std::vector<std::string> strace = {
        StracePath(), "-f", "-qq", "-o", log, "-e", std::string("trace=") + kChangingCalls};
    strace.insert(strace.end(), faults.begin(), faults.end());
    options.Argv.insert(options.Argv.begin(), strace.begin(), strace.end());
    options.ProgramIsChild = true;
  });
  EXPECT_TRUE(run.Finished && run.Exit.Exited && run.Exit.Code == 0);
  std::vector<Call> calls;
  std::ifstream in(log);
  const std::regex call(R"(^\d+ +([a-z0-9_]+)\(([^,)]*))");
  for (std::string line; std::getline(in, line);) {
    std::smatch match;
    if (std::regex_search(line, match, call)) calls.push_back({match[1], match[2]});
  }
  return calls;
}

struct CrashPoint {
  std::string call;
  int n;
};

// Kills a batch run at the n-th call of `call`, checks what is left, then
// converts again and checks that everything ends converted.
void CrashAndRecover(const Configuration& files, const CrashPoint& point,
                     const std::vector<std::string>& faults = {}) {
  SCOPED_TRACE(::testing::Message() << "killed at " << point.call << " #" << point.n);
  TempDir dir;
  WriteConfiguration(dir.Path(), files);
  const BatchRun crashed = RunBatch(dir.ConfigDir(), [&](PtyOptions& options) {
    std::vector<std::string> strace = {
        StracePath(),
        "-f",
        "-qq",
        "-o",
        "/dev/null",
        "-e",
        "inject=" + point.call + ":signal=SIGKILL:when=" + std::to_string(point.n)};
    strace.insert(strace.end(), faults.begin(), faults.end());
    options.Argv.insert(options.Argv.begin(), strace.begin(), strace.end());
    options.ProgramIsChild = true;
  });
  ASSERT_TRUE(crashed.Finished) << "the killed run did not end";
  ASSERT_FALSE(crashed.Exit.Exited && crashed.Exit.Code == 0) << "the program was not killed";
  ASSERT_TRUE(NothingLost(dir.Path(), files, true));

  const BatchRun rerun = RunBatch(dir.ConfigDir(), [&](PtyOptions& options) {
    if (faults.empty()) return;
    std::vector<std::string> strace = {StracePath(), "-f", "-qq", "-o", "/dev/null"};
    strace.insert(strace.end(), faults.begin(), faults.end());
    options.Argv.insert(options.Argv.begin(), strace.begin(), strace.end());
    options.ProgramIsChild = true;
  });
  ASSERT_TRUE(rerun.Finished);
  EXPECT_TRUE(rerun.Exit.Exited && rerun.Exit.Code == 0) << "second run: exit " << rerun.Exit.Code;
  std::vector<std::string> converted;
  EXPECT_TRUE(NothingLost(dir.Path(), files, true, &converted));
  EXPECT_EQ(converted.size(), files.size()) << "not every file converted after the second run";
}

// A crash point at every call `wanted` picks, counted per call as strace
// counts them.
std::vector<CrashPoint> EveryPoint(const std::vector<Call>& calls,
                                   const std::function<bool(const Call&)>& wanted) {
  std::vector<CrashPoint> points;
  std::map<std::string, int> seen;
  for (const Call& call : calls) {
    const int n = ++seen[call.name];
    if (wanted(call)) points.push_back({call.name, n});
  }
  return points;
}

// A crash while the screen is drawn leaves the files as a crash at the next
// file call does.
bool ChangesAFile(const Call& call) {
  const bool toTerminal = call.name.find("write") != std::string::npos &&
                          (call.firstArgument == "1" || call.firstArgument == "2");
  return !toTerminal;
}

bool Any(const Call&) {
  return true;
}

class CrashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!StraceProblem().empty()) GTEST_SKIP() << StraceProblem();
  }
};

// Demo-size files: one record block each, so that the calls of a whole run
// are few enough to crash at each of them.
Configuration SmallConfiguration() {
  return ConfigurationOf({{"hatch.tvn", 3},
                          {"MGICFILE.TVN", 2},
                          {"fareas.tvn", 2},
                          {"grpfile.tvn", 2},
                          {"nodefile.tvn", 3}});
}

TEST_F(CrashTest, KilledAtEveryCallThatChangesAFileOfTheHatchConversion) {
  // Only the hatch file: every call of its conversion, and those of the
  // start and the dialogs around it.
  const Configuration files{{"hatch.tvn", OldRecords(SpecOf("hatch.tvn"), 3)}};
  TempDir traced;
  ASSERT_EQ(mkdir(traced.PathOf("config").c_str(), 0755), 0);
  const std::vector<Call> calls = CallsOfARun(traced.PathOf("config"), files);
  for (const std::string prefix : {"link", "rename", "fsync", "write"}) {
    ASSERT_TRUE(std::any_of(calls.begin(), calls.end(),
                            [&](const Call& c) { return c.name.rfind(prefix, 0) == 0; }))
        << "no " << prefix << " call in a conversion";
  }
  for (const CrashPoint& point : EveryPoint(calls, ChangesAFile)) {
    CrashAndRecover(files, point);
    if (HasFailure()) break;
  }
}

// Where a file cannot have a second name (a file system without hard links,
// or another user's file under protected hard links) the backup is a copy:
// a crash while it is made must leave no half copy under a backup name.
TEST_F(CrashTest, KilledAtEveryCallWhileTheBackupIsACopy) {
  const std::vector<std::string> noLinks = {"-e", "inject=linkat:error=EPERM"};
  const Configuration files{{"hatch.tvn", OldRecords(SpecOf("hatch.tvn"), 3)}};
  TempDir traced;
  ASSERT_EQ(mkdir(traced.PathOf("config").c_str(), 0755), 0);
  const std::vector<Call> calls = CallsOfARun(traced.PathOf("config"), files, noLinks);
  const auto wanted = [](const Call& c) { return c.name != "linkat" && ChangesAFile(c); };
  for (const CrashPoint& point : EveryPoint(calls, wanted)) {
    CrashAndRecover(files, point, noLinks);
    if (HasFailure()) break;
  }
}

// The calls that make or replace names and flush files, at every occurrence
// in a conversion of all five files.
TEST_F(CrashTest, KilledAtEveryNameAndFlushCallOfABatchRun) {
  const Configuration files = SmallConfiguration();
  TempDir traced;
  ASSERT_EQ(mkdir(traced.PathOf("config").c_str(), 0755), 0);
  const std::vector<Call> calls = CallsOfARun(traced.PathOf("config"), files);
  const auto namesAndFlushes = [](const Call& c) {
    return c.name.find("write") == std::string::npos && c.name.rfind("open", 0) != 0 &&
           c.name.rfind("close", 0) != 0;
  };
  const std::vector<CrashPoint> points = EveryPoint(calls, namesAndFlushes);
  ASSERT_FALSE(points.empty());
  for (const CrashPoint& point : points) {
    CrashAndRecover(files, point);
    if (HasFailure()) break;
  }
}

// Every changing call of a conversion of all five files, one of them
// several blocks long: minutes.
class StressCrash : public CrashTest {};

TEST_F(StressCrash, KilledAtEveryCallThatChangesAFileOfABatchRun) {
  Configuration files = SmallConfiguration();
  // Several blocks, so that a crash falls between block writes too.
  files["nodefile.tvn"] = OldRecords(SpecOf("nodefile.tvn"), 6000, 9);
  TempDir traced;
  ASSERT_EQ(mkdir(traced.PathOf("config").c_str(), 0755), 0);
  const std::vector<Call> calls = CallsOfARun(traced.PathOf("config"), files);
  for (const CrashPoint& point : EveryPoint(calls, Any)) {
    CrashAndRecover(files, point);
    if (HasFailure()) break;
  }
}

TEST_F(StressCrash, KilledAtEveryCallOfABatchRunWhileBackupsAreCopies) {
  const std::vector<std::string> noLinks = {"-e", "inject=linkat:error=EPERM"};
  const Configuration files = SmallConfiguration();
  TempDir traced;
  ASSERT_EQ(mkdir(traced.PathOf("config").c_str(), 0755), 0);
  const std::vector<Call> calls = CallsOfARun(traced.PathOf("config"), files, noLinks);
  const auto wanted = [](const Call& c) { return c.name != "linkat"; };
  for (const CrashPoint& point : EveryPoint(calls, wanted)) {
    CrashAndRecover(files, point, noLinks);
    if (HasFailure()) break;
  }
}

}  // namespace
