#pragma once
// Runs the real executable in a pseudo-terminal of its own (80 x 25), and
// answers each key wait with the next key of a script. A key wait is the
// program blocked in poll() without a timeout after it has drawn something
// new since the last key: the moment a user would see a finished frame.

#include <string>
#include <vector>

struct PtyScript {
  std::vector<std::string> Arguments;    // after the program path
  std::vector<std::string> Environment;  // "NAME=value", added to ours
  std::vector<std::string> Keys;         // one per key wait, in order
  std::string MoreKeys;                  // sent at every wait after the script; empty: none
  double IdleSeconds = 0;                // at the first wait, sit still this long first
  double TimeoutSeconds = 600;
  std::string StraceLog;  // non-empty: run under strace, writes logged here
  int Columns = 80, Rows = 25;
};

struct PtyResult {
  bool Ok = false;
  std::string Error;
  std::string Output;  // every byte the program wrote to the terminal
  int KeyWaits = 0;
  double FirstFrameSeconds = -1;  // start to the last byte before the first key wait
  std::string FirstFrame;         // the output up to the first key wait
  // At the first wait, over IdleSeconds: CPU time from /proc/<pid>/stat
  // (clock ticks) and /proc/<pid>/schedstat (nanoseconds), and the wall time.
  double IdleStatCpuSeconds = -1, IdleSchedCpuSeconds = -1, IdleWallSeconds = -1;
  // Peak resident memory: ru_maxrss from wait4, which also counts the image
  // of the process that forked the program (Linux keeps the high-water mark
  // across exec), and the program's own VmHWM, read at each key wait.
  long MaxRssKiB = -1;
  long PeakKiB = -1;
  int ExitStatus = -1;
  double WallSeconds = 0;
};

PtyResult RunInPty(const std::string& executable, const PtyScript& script);
