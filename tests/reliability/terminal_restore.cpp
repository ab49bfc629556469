// The terminal is always put back: after a normal end, a runtime error, a
// Ctrl-C, SIGTERM or SIGHUP, and while the program is stopped by Ctrl-Z. The
// settings are those from before the start, the cursor is visible (the last
// ?25 is ?25h), autowrap is on (the last ?7 is ?7h), colours are reset and
// the cursor has its default shape again.

#include <signal.h>
#include <sys/resource.h>

#include <cstring>

#include "reliability_support.h"
#include "support/faulty_files.h"
#include "update/conversion.h"

namespace {

// The text of the last "ESC [ ... <final>" sequence with that final byte.
std::string LastSequence(const std::string& output, char final) {
  std::string last;
  for (size_t at = output.find("\x1b["); at != std::string::npos;
       at = output.find("\x1b[", at + 1)) {
    size_t end = at + 2;
    while (end < output.size() && output[end] >= 0x20 && output[end] <= 0x3F) ++end;
    if (end < output.size() && output[end] == final) last = output.substr(at, end - at + 1);
  }
  return last;
}

::testing::AssertionResult TerminalPutBack(const PtySession& session) {
  std::string difference;
  if (!SameTerminalSettings(session.AttributesAtStart(), session.Attributes(), difference))
    return ::testing::AssertionFailure() << "terminal settings differ: " << difference;
  const std::string& output = session.Output();
  if (LastPrivateMode(output, 25) != 'h')
    return ::testing::AssertionFailure() << "the cursor is left hidden";
  if (LastPrivateMode(output, 7) != 'h')
    return ::testing::AssertionFailure() << "autowrap is left off";
  if (LastPrivateMode(output, 1036) != 'l')
    return ::testing::AssertionFailure() << "Alt is left sending ESC";
  if (LastSequence(output, 'm') != "\x1b[0m")
    return ::testing::AssertionFailure()
           << "colours left as " << LastSequence(output, 'm').substr(1);
  if (LastSequence(output, 'q') != "\x1b[0 q")
    return ::testing::AssertionFailure()
           << "cursor shape left as " << LastSequence(output, 'q').substr(1);
  return ::testing::AssertionSuccess();
}

// While the program runs: raw input, autowrap off, and in interactive mode
// the cursor hidden.
::testing::AssertionResult TerminalTakenOver(const PtySession& session, bool interactive) {
  const termios now = session.Attributes();
  if ((now.c_lflag & (ICANON | ECHO)) != 0)
    return ::testing::AssertionFailure() << "input is not raw";
  if ((now.c_lflag & ISIG) == 0)
    return ::testing::AssertionFailure() << "Ctrl-C and Ctrl-Z are off";
  if (LastPrivateMode(session.Output(), 7) != 'l')
    return ::testing::AssertionFailure() << "autowrap is on";
  if (interactive && LastPrivateMode(session.Output(), 25) != 'l')
    return ::testing::AssertionFailure() << "the cursor shows";
  return ::testing::AssertionSuccess();
}

enum class Ending { Normal, RuntimeError, CtrlC, Term, HangUp, CtrlZ };

struct EndCase {
  const char* name;
  Ending ending;
  bool interactive;
};

void PrintTo(const EndCase& c, std::ostream* os) {
  *os << c.name;
}

class TerminalRestore : public ::testing::TestWithParam<EndCase> {};

TEST_P(TerminalRestore, PutsTheTerminalBack) {
  const EndCase& c = GetParam();
  TempDir dir;
  WriteConfiguration(dir.Path(), ConfigurationOf({{"hatch.tvn", 3}, {"MGICFILE.TVN", 2}}));
  PtyOptions options;
  options.Environment = ProgramEnvironment();
  if (c.interactive) {
    options.Argv = {ProgramPath()};
    options.Environment.push_back("TIRVEN=" + dir.ConfigDir());
  } else {
    options.Argv = {ProgramPath(), "/FORCE", dir.ConfigDir()};
  }
  if (c.ending == Ending::RuntimeError) {
    // No file may grow: the first conversion fails with a disk write error.
    options.BeforeExec = [] {
      signal(SIGXFSZ, SIG_IGN);
      rlimit rl{};
      getrlimit(RLIMIT_FSIZE, &rl);
      rl.rlim_cur = 0;
      setrlimit(RLIMIT_FSIZE, &rl);
    };
  }
  PtySession session;
  ASSERT_TRUE(session.Start(options)) << session.Error();
  ASSERT_TRUE(session.WaitForKeyWait()) << "no confirmation";
  EXPECT_TRUE(TerminalTakenOver(session, c.interactive));

  int expectedSignal = 0;
  switch (c.ending) {
    case Ending::CtrlC:
      session.Send("\x03");
      expectedSignal = SIGINT;
      break;
    case Ending::Term:
      session.Kill(SIGTERM);
      expectedSignal = SIGTERM;
      break;
    case Ending::HangUp:
      session.Kill(SIGHUP);
      expectedSignal = SIGHUP;
      break;
    case Ending::CtrlZ: {
      session.Send("\x1a");
      ASSERT_TRUE(session.WaitForStop()) << "Ctrl-Z did not stop the program";
      EXPECT_TRUE(TerminalPutBack(session)) << "while stopped";
      // fg: the program takes the terminal again and waits where it was.
      session.KillGroup(SIGCONT);
      ASSERT_TRUE(session.WaitForKeyWait()) << "no key wait after continuing";
      EXPECT_TRUE(TerminalTakenOver(session, c.interactive)) << "after continuing";
      [[fallthrough]];
    }
    case Ending::Normal:
    case Ending::RuntimeError: {
      // Yes, then Enter on every dialog. In the menu: the first item, its
      // outcome, then Esc.
      const std::vector<std::string> keys = c.interactive
                                                ? std::vector<std::string>{"\r", "\r", "\r", "\x1b"}
                                                : std::vector<std::string>{"\r"};
      size_t next = 0;
      do {
        session.Send(next < keys.size() ? keys[next] : "\r");
        ++next;
      } while (session.WaitForKeyWait());
      break;
    }
  }
  PtyExit exit;
  ASSERT_TRUE(session.WaitForExit(exit)) << "the program did not end";
  if (expectedSignal != 0) {
    EXPECT_FALSE(exit.Exited);
    EXPECT_EQ(exit.Signal, expectedSignal);
  } else if (c.ending == Ending::RuntimeError) {
    EXPECT_TRUE(exit.Exited && exit.Code == 254) << "exit " << exit.Code;
    EXPECT_TRUE(EndsInRuntimeError(session.Output(), 101, "Disk write error"));
  } else {
    EXPECT_TRUE(exit.Exited && exit.Code == 0) << "exit " << exit.Code;
  }
  EXPECT_TRUE(TerminalPutBack(session));
}

INSTANTIATE_TEST_SUITE_P(
    Endings, TerminalRestore,
    ::testing::Values(EndCase{"NormalEndBatch", Ending::Normal, false},
                      EndCase{"NormalEndInteractive", Ending::Normal, true},
                      EndCase{"RuntimeErrorBatch", Ending::RuntimeError, false},
                      EndCase{"RuntimeErrorInteractive", Ending::RuntimeError, true},
                      EndCase{"CtrlCBatch", Ending::CtrlC, false},
                      EndCase{"CtrlCInteractive", Ending::CtrlC, true},
                      EndCase{"SigtermBatch", Ending::Term, false},
                      EndCase{"SigtermInteractive", Ending::Term, true},
                      EndCase{"SighupBatch", Ending::HangUp, false},
                      EndCase{"SighupInteractive", Ending::HangUp, true},
                      EndCase{"CtrlZAndContinueBatch", Ending::CtrlZ, false},
                      EndCase{"CtrlZAndContinueInteractive", Ending::CtrlZ, true}),
    [](const ::testing::TestParamInfo<EndCase>& info) { return info.param.name; });

// A signal that comes while a file is being rewritten waits until the file
// is whole: strace raises it as the program flushes its first new file (the
// hatch file's). The hatch file is converted completely, then the signal
// takes effect with the terminal put back; after Ctrl-Z the program goes on
// when continued.
bool WaitForLogLine(PtySession& session, const std::string& log, const std::string& line) {
  const auto deadline = std::chrono::steady_clock::now() + kPtyTimeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (ReadFileBytes(log).find(line) != std::string::npos) return true;
    if (session.Ended()) return false;
    session.ReadOutput(5);
  }
  return false;
}

TEST(TerminalRestore, SignalDuringARewriteWaitsUntilTheFileIsWhole) {
  if (!StraceProblem().empty()) GTEST_SKIP() << StraceProblem();
  for (const char* sig : {"SIGINT", "SIGTERM", "SIGHUP", "SIGQUIT", "SIGTSTP"}) {
    SCOPED_TRACE(sig);
    TempDir dir, logDir;
    const Configuration files =
        ConfigurationOf({{"hatch.tvn", 3}, {"MGICFILE.TVN", 2}, {"fareas.tvn", 2}});
    WriteConfiguration(dir.Path(), files);
    const std::string log = logDir.PathOf("strace.log");
    PtyOptions options;
    options.Argv = SignalledAtFirstCall(log, "fsync", sig, dir.ConfigDir());
    options.Environment = ProgramEnvironment();
    options.ProgramIsChild = true;
    PtySession session;
    ASSERT_TRUE(session.Start(options)) << session.Error();
    ASSERT_TRUE(session.WaitForKeyWait());
    session.Send("\r");
    PtyExit exit;
    if (std::string(sig) == "SIGTSTP") {
      ASSERT_TRUE(WaitForLogLine(session, log, "--- stopped by SIGTSTP ---")) << ReadFileBytes(log);
      EXPECT_TRUE(ConvertedExactly(dir.Path(), files, {"hatch.tvn"})) << "while stopped";
      EXPECT_TRUE(TerminalPutBack(session)) << "while stopped";
      session.KillGroup(SIGCONT);
      ASSERT_TRUE(session.AnswerEveryWait("\r", exit));
      EXPECT_TRUE(exit.Exited && exit.Code == 0) << "exit " << exit.Code;
      EXPECT_TRUE(ConvertedExactly(dir.Path(), files, {"hatch.tvn", "MGICFILE.TVN", "fareas.tvn"}));
    } else {
      ASSERT_TRUE(session.WaitForExit(exit));
      EXPECT_FALSE(exit.Exited) << "exit " << exit.Code;
      EXPECT_STREQ(sigabbrev_np(exit.Signal), sig + 3);
      EXPECT_TRUE(ConvertedExactly(dir.Path(), files, {"hatch.tvn"}));
    }
    EXPECT_TRUE(TerminalPutBack(session));
  }
}

}  // namespace
