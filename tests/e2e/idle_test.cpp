// A program waiting for a key sleeps: it uses no CPU and is not woken.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "tmux_harness.h"

namespace {

struct Usage {
  long ticks = -1;     // user + system time, in clock ticks
  long wakeups = -1;   // voluntary context switches
};

Usage UsageOf(int pid) {
  Usage usage;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // The fields after the command name, which may hold blanks, in brackets.
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int n = 3; fields >> field; ++n) {
    if (n == 14) utime = std::stol(field);
    if (n == 15) {
      stime = std::stol(field);
      break;
    }
  }
  usage.ticks = utime + stime;
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("voluntary_ctxt_switches:", 0) == 0) usage.wakeups = std::stol(line.substr(24));
  }
  return usage;
}

TEST(IdleTest, ADialogWaitingForAKeyUsesNoCpu) {
  ScratchDir scratch;
  TerminalSession session(SessionOptions(TIRVEN_EXE).In(scratch.Path()));
  ASSERT_TRUE(session.WaitForText("Welcome to the TIRVEN update utility"));
  const int pid = session.ProgramPid();
  ASSERT_GT(pid, 0);
  const Usage before = UsageOf(pid);
  std::this_thread::sleep_for(2s);
  const Usage after = UsageOf(pid);
  // A loop polling every millisecond would wake about 2000 times here.
  EXPECT_LE(after.wakeups - before.wakeups, 5);
  EXPECT_LE(after.ticks - before.ticks, 1);
  session.SendKeys({"Escape"});
  EXPECT_EQ(session.WaitForExit(), 0);
}

}  // namespace
