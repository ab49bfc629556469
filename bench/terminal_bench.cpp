// What the program costs on a terminal: the bytes and write calls of a
// scripted session, the CPU it uses while a dialog waits, and the time to
// its first complete frame.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "bench.h"
#include "bench_consoles.h"
#include "old_records.h"
#include "platform/process.h"
#include "pty_run.h"
#include "textui/console.h"
#include "textui/dialog.h"
#include "textui/draw.h"
#include "update/entry.h"
#include "update/program_state.h"
#include "update/update_sequence.h"

namespace {

// The interactive session: Yes at the confirmation, five moves down the
// menu, Enter to convert the item reached, Enter at its outcome, Esc to
// leave the menu, Enter at the closing dialog.
const std::vector<std::string> kSessionKeys = {"\r",     "\x1b[B", "\x1b[B", "\x1b[B", "\x1b[B",
                                               "\x1b[B", "\r",     "\r",     "\x1b",   "\r"};
std::vector<PcKey> SessionPcKeys() {
  std::vector<PcKey> keys = {{13, 0}};
  for (int i = 0; i < 5; ++i) keys.push_back({0, kDown});
  keys.insert(keys.end(), {{13, 0}, {13, 0}, {27, 0}, {13, 0}});
  return keys;
}

void MakeSessionFiles(const std::string& dir) {
  MakeFreshDirectory(dir);
  for (const std::string& name : BenchFileNames()) {
    const ConversionSpec& spec = SpecFor(name);
    if (!WriteOldFile(dir + "/" + name, spec, RecordCountFor(spec, 256 * 1024))) {
      std::fprintf(stderr, "tirven-bench: cannot write %s/%s\n", dir.c_str(), name.c_str());
      std::exit(2);
    }
  }
}

// The interactive main sequence, as the program runs it, over a given
// console device instead of the terminal.
void RunSessionInProcess(ConsoleDevice& device) {
  ResetProgramState();
  char program[] = "tirven-update";
  char* argv[] = {program, nullptr};
  SetCommandLine(1, argv);
  MainSequence(device);
  ResetProgramState();
}

// write() calls to the terminal (fd 1) in a strace log, and their bytes.
void CountTerminalWrites(const std::string& log, int& calls, uint64_t& bytes) {
  std::ifstream in(log);
  std::string line;
  calls = 0;
  bytes = 0;
  while (std::getline(in, line)) {
    const size_t at = line.find("write(1, ");
    if (at == std::string::npos || line.find("resumed") != std::string::npos) continue;
    ++calls;
    // strace pads short calls: "write(1, "...", 6)      = 6".
    const size_t equals = line.rfind("= ");
    if (equals != std::string::npos) bytes += std::strtoull(line.c_str() + equals + 2, nullptr, 10);
  }
}

std::string Percent(double value) {
  return Fixed(value, 3) + " %";
}

}  // namespace

void RunTerminalBench(const BenchOptions& options, std::vector<BenchRow>& rows) {
  Progress("4 terminal output: scripted session in-process and in a pseudo-terminal");
  const std::string dir = options.ScratchDir + "/session";
  setenv("TIRVEN", dir.c_str(), 1);

  MakeSessionFiles(dir);
  RecordingConsole recorder(80, 25, SessionPcKeys());
  RunSessionInProcess(recorder);
  const FrameBound bound = recorder.Bound();

  MakeSessionFiles(dir);
  PtyScript script;
  script.Environment = {"TIRVEN=" + dir};
  script.Keys = kSessionKeys;
  const PtyResult run = RunInPty(options.Executable, script);

  MakeSessionFiles(dir);
  const std::string log = options.ScratchDir + "/session-strace.log";
  script.StraceLog = log;
  const PtyResult traced = RunInPty(options.Executable, script);
  int writes = 0;
  uint64_t tracedBytes = 0;
  CountTerminalWrites(log, writes, tracedBytes);
  RemoveTree(dir);
  unlink(log.c_str());

  BenchRow bytes;
  bytes.Part = "4 terminal";
  bytes.Measure = "bytes written for the scripted session vs the lower bound of its frames";
  bytes.Target = "<= 1.3x";
  if (!run.Ok || recorder.RanDry() || recorder.KeysLeft() != 0) {
    bytes.Result = "session failed: " + (run.Ok ? std::string("key script mismatch") : run.Error);
    bytes.Met = 0;
  } else {
    const double ratio =
        static_cast<double>(run.Output.size()) / static_cast<double>(bound.Total());
    bytes.Result = std::to_string(run.Output.size()) + " B vs " + std::to_string(bound.Total()) +
                   " B: " + Fixed(ratio, 3) + "x";
    bytes.Met = ratio <= 1.3 ? 1 : 0;
  }
  rows.push_back(bytes);
  rows.push_back({"4 terminal",
                  "the bound: " + std::to_string(bound.ChangedCells) + " changed cells in " +
                      std::to_string(bound.Runs) + " runs, " + std::to_string(bound.ColourChanges) +
                      " colour changes",
                  std::to_string(bound.CellBytes) + " B cells + " +
                      std::to_string(bound.MoveBytes) + " B moves + " +
                      std::to_string(bound.ColourBytes) + " B colours",
                  "", -1});

  BenchRow calls;
  calls.Part = "4 terminal";
  const int updates =
      recorder.ShowCalls() + recorder.CursorCalls() + recorder.VisibilityCalls() + 2;
  calls.Measure = "write() calls per console update (" + std::to_string(recorder.ShowCalls()) +
                  " cell flushes, " + std::to_string(recorder.CursorCalls()) + " cursor moves, " +
                  std::to_string(recorder.VisibilityCalls()) + " cursor shapes, start, end)";
  calls.Target = "1";
  if (!traced.Ok || writes == 0) {
    calls.Result = "not measured: " + (traced.Ok ? std::string("no strace log") : traced.Error);
    calls.Met = 0;
  } else {
    const double perUpdate = static_cast<double>(writes) / updates;
    calls.Result = std::to_string(writes) + " writes / " + std::to_string(updates) +
                   " updates = " + Fixed(perUpdate, 2);
    if (tracedBytes != traced.Output.size()) {
      calls.Result += " (strace counts " + std::to_string(tracedBytes) + " B, the terminal got " +
                      std::to_string(traced.Output.size()) + " B)";
    }
    calls.Met = perUpdate <= 1.0 ? 1 : 0;
  }
  rows.push_back(calls);
}

void RunIdleBench(const BenchOptions& options, std::vector<BenchRow>& rows) {
  Progress("5 idle: the confirmation dialog waits " + Fixed(options.IdleSeconds, 0) +
           " s for a key");
  PtyScript script;
  script.Environment = {"TIRVEN=" + options.ScratchDir + "/idle"};
  script.Keys = {"n"};
  script.IdleSeconds = options.IdleSeconds;
  const PtyResult run = RunInPty(options.Executable, script);
  BenchRow row;
  row.Part = "5 idle";
  row.Measure = "CPU while a dialog waits " + Fixed(options.IdleSeconds, 0) +
                " s (utime+stime from /proc/<pid>/stat; schedstat)";
  row.Target = "< 0.5 % of a core";
  if (!run.Ok || run.IdleWallSeconds <= 0) {
    row.Result = "not measured: " + run.Error;
    row.Met = 0;
  } else {
    const double stat = 100.0 * run.IdleStatCpuSeconds / run.IdleWallSeconds;
    const double sched = 100.0 * run.IdleSchedCpuSeconds / run.IdleWallSeconds;
    row.Result = Percent(stat) + " (" + Fixed(run.IdleStatCpuSeconds * 1e3, 0) +
                 " ms); schedstat " + Percent(sched) + " (" +
                 Fixed(run.IdleSchedCpuSeconds * 1e6, 0) + " us)";
    row.Met = stat < 0.5 && sched < 0.5 ? 1 : 0;
  }
  rows.push_back(row);
}

void RunStartupBench(const BenchOptions& options, std::vector<BenchRow>& rows) {
  Progress("6 start-up: " + std::to_string(options.StartupRuns) + " runs to the first frame");
  std::vector<double> times;
  std::string error;
  for (int i = 0; i < options.StartupRuns; ++i) {
    PtyScript script;
    script.Environment = {"TIRVEN=" + options.ScratchDir + "/startup"};
    script.Keys = {"n"};
    const PtyResult run = RunInPty(options.Executable, script);
    if (!run.Ok) {
      error = run.Error;
      continue;
    }
    // The frame is complete when the focused Yes button is on it.
    if (run.FirstFrame.find("Yes") == std::string::npos) {
      error = "the first frame has no Yes";
      continue;
    }
    times.push_back(run.FirstFrameSeconds * 1e3);
  }
  BenchRow row;
  row.Part = "6 start-up";
  row.Measure = "exec to the confirmation dialog fully drawn, median of " +
                std::to_string(options.StartupRuns);
  row.Target = "< 20 ms";
  if (times.size() != static_cast<size_t>(options.StartupRuns)) {
    row.Result = "failed: " + error;
    row.Met = 0;
  } else {
    const auto [low, high] = std::minmax_element(times.begin(), times.end());
    const double median = Median(times);
    row.Result = Fixed(median, 2) + " ms (" + Fixed(*low, 2) + " to " + Fixed(*high, 2) + ")";
    row.Met = median < 20 ? 1 : 0;
  }
  rows.push_back(row);
}
