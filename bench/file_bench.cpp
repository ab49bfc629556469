// Whole-file conversion against a copy of the same file, and the peak
// memory of the program converting the file in batch mode.

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "bench.h"
#include "bench_consoles.h"
#include "old_records.h"
#include "platform/file_services.h"
#include "pty_run.h"
#include "textui/console.h"
#include "textui/draw.h"
#include "update/conversion.h"
#include "update/entry.h"
#include "update/program_state.h"

extern char** environ;

namespace {

uint64_t FileSize(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

bool Run(const std::vector<std::string>& command) {
  std::vector<char*> args;
  std::vector<std::string> copy = command;
  for (std::string& a : copy) args.push_back(a.data());
  args.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return false;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// `cp f g && sync g`: the copy the conversion is held against.
double TimeCopy(const std::string& from, const std::string& to) {
  const double start = NowSeconds();
  const bool ok = Run({"cp", from, to}) && Run({"sync", to});
  const double seconds = NowSeconds() - start;
  unlink(to.c_str());
  return ok ? seconds : -1;
}

// ConvertFileOrFail's whole path over the platform's files; then the old
// file is put back under its name for the next round.
double TimeConversion(const std::string& dir, const ConversionSpec& spec, uint64_t records) {
  AnsweringConsole console;
  ResetProgramState();
  ScreenInit(console);
  InitTextUi();
  SetMenuColours(11, 1, 30, 113, 7, 3, 7, 14);
  SetDialogColours(112, 30, 16, 112);
  Program.BatchMode = true;
  Program.ConfigDir = dir + "/";
  const double start = NowSeconds();
  const uint16_t code = ConvertFileOrFail(spec, PlatformFiles());
  const double seconds = NowSeconds() - start;
  ScreenDone();
  ResetProgramState();
  const std::string file = dir + "/" + spec.FileName;
  const std::string backup = dir + "/" + spec.BackupName;
  const bool converted = code == 0 && FileSize(file) == records * spec.NewSize &&
                         FileSize(backup) == records * spec.OldSize;
  unlink(file.c_str());
  if (rename(backup.c_str(), file.c_str()) != 0) {
    std::fprintf(stderr, "tirven-bench: cannot put %s back\n", file.c_str());
    std::exit(2);
  }
  if (!converted) {
    Progress("  conversion of " + spec.FileName + " failed with code " + std::to_string(code));
    return -1;
  }
  return seconds;
}

std::string Rate(uint64_t bytes, double seconds) {
  return Fixed(static_cast<double>(bytes) / seconds / 1e6, 0) + " MB/s";
}

int RepeatsFor(const BenchOptions& options, uint64_t size) {
  if (size >= kGiB) return options.Repeats1G;
  if (size >= 64 * kMiB) return options.Repeats64M;
  return options.Repeats1M;
}

void MeasureThroughput(const BenchOptions& options, const std::string& dir,
                       const ConversionSpec& spec, uint64_t size, uint64_t records,
                       std::vector<BenchRow>& rows) {
  const std::string file = dir + "/" + spec.FileName;
  const std::string copy = dir + "/copy.bin";
  const uint64_t bytes = records * spec.OldSize;
  // Both read the file from the page cache: it was just written, and the
  // first copy reads it again before anything is timed.
  TimeCopy(file, copy);
  std::vector<double> copies, conversions, ratios;
  const int repeats = RepeatsFor(options, size);
  for (int round = 0; round < repeats; ++round) {
    // Taking turns at going first, so that neither always finds the disk
    // busy with the other's aftermath.
    double copySeconds = -1, convertSeconds = -1;
    if (round % 2 == 0) copySeconds = TimeCopy(file, copy);
    convertSeconds = TimeConversion(dir, spec, records);
    if (round % 2 == 1) copySeconds = TimeCopy(file, copy);
    copies.push_back(copySeconds);
    conversions.push_back(convertSeconds);
    // The ratio of each round on its own, the two side by side in time:
    // other work on the machine then weighs on both alike.
    if (copySeconds > 0 && convertSeconds > 0) ratios.push_back(copySeconds / convertSeconds);
  }
  BenchRow row;
  row.Part = "1 throughput";
  row.Measure = spec.FileName + " " + SizeText(size) + ": ConvertFileOrFail vs cp + sync";
  row.Target = size >= 64 * kMiB ? ">= 0.8" : "";
  if (ratios.size() != static_cast<size_t>(repeats)) {
    row.Result = "cp or conversion failed";
    if (!row.Target.empty()) row.Met = 0;
  } else {
    const double ratio = Median(ratios);
    const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
    row.Result = Rate(bytes, Median(conversions)) + " vs " + Rate(bytes, Median(copies)) +
                 ": ratio " + Fixed(ratio, 2) + " (rounds " + Fixed(*low, 2) + " to " +
                 Fixed(*high, 2) + ")";
    if (!row.Target.empty()) row.Met = ratio >= 0.8 ? 1 : 0;
  }
  rows.push_back(row);
  Progress("  " + row.Measure + ": " + row.Result);
}

void MeasureMemory(const BenchOptions& options, const std::string& dir, const ConversionSpec& spec,
                   uint64_t size, uint64_t records, std::vector<BenchRow>& rows,
                   std::vector<long>& peaks) {
  PtyScript script;
  script.Arguments = {"/FORCE", dir + "/"};
  // Enter answers every dialog. (Assigned as a count and a character: GCC 12
  // warns falsely about a one-character literal here.)
  script.MoreKeys.assign(1, '\r');
  const PtyResult run = RunInPty(options.Executable, script);
  const std::string file = dir + "/" + spec.FileName;
  BenchRow row;
  row.Part = "2 memory";
  row.Measure = "peak resident memory, batch mode, " + spec.FileName + " " + SizeText(size);
  row.Target = "< 8 MiB";
  if (!run.Ok) {
    row.Result = "run failed: " + run.Error;
    row.Met = 0;
  } else if (FileSize(file) != records * spec.NewSize) {
    row.Result = "the file was not converted";
    row.Met = 0;
  } else if (run.PeakKiB <= 0) {
    row.Result = "no VmHWM read";
    row.Met = 0;
  } else {
    row.Result = Fixed(static_cast<double>(run.PeakKiB) / 1024.0, 2) +
                 " MiB VmHWM (wait4 ru_maxrss " +
                 Fixed(static_cast<double>(run.MaxRssKiB) / 1024.0, 2) + " MiB)";
    row.Met = run.PeakKiB < 8 * 1024 ? 1 : 0;
    peaks.push_back(run.PeakKiB);
  }
  rows.push_back(row);
  Progress("  " + row.Measure + ": " + row.Result);
}

}  // namespace

void RunFileBench(const BenchOptions& options, std::vector<BenchRow>& rows) {
  const bool throughput = options.WantPart("throughput");
  const bool memory = options.WantPart("memory");
  if (!throughput && !memory) return;
  std::vector<long> smallPeaks, largePeaks;
  for (uint64_t size : options.Sizes) {
    const bool measureMemory = memory && (size == kMiB || size == kGiB);
    if (!throughput && !measureMemory) continue;
    for (const std::string& name : BenchFileNames()) {
      if (!options.Files.empty() &&
          std::find(options.Files.begin(), options.Files.end(), name) == options.Files.end())
        continue;
      const ConversionSpec& spec = SpecFor(name);
      const std::string dir = options.ScratchDir + "/files";
      MakeFreshDirectory(dir);
      const uint64_t records = RecordCountFor(spec, size);
      // The old file, the backup link, the new file and the copy.
      const uint64_t needed = records * (2 * spec.OldSize + spec.NewSize) + 256 * kMiB;
      if (FreeBytes(dir) < needed) {
        rows.push_back(
            {"1 throughput", name + " " + SizeText(size), "not enough disk space", "", 0});
        continue;
      }
      Progress("1/2 " + name + " " + SizeText(size) + ": writing " + std::to_string(records) +
               " records");
      if (!WriteOldFile(dir + "/" + spec.FileName, spec, records)) {
        rows.push_back(
            {"1 throughput", name + " " + SizeText(size), "cannot write the file", "", 0});
        continue;
      }
      if (throughput) MeasureThroughput(options, dir, spec, size, records, rows);
      if (measureMemory) {
        MeasureMemory(options, dir, spec, size, records, rows,
                      size == kMiB ? smallPeaks : largePeaks);
      }
      RemoveTree(dir);
    }
  }
  if (!smallPeaks.empty() && !largePeaks.empty()) {
    const long small = *std::max_element(smallPeaks.begin(), smallPeaks.end());
    const long large = *std::max_element(largePeaks.begin(), largePeaks.end());
    BenchRow row;
    row.Part = "2 memory";
    row.Measure = "peak RSS growth from 1 MiB to 1 GiB files (largest of the five each)";
    row.Result = Fixed(static_cast<double>(std::max(0L, large - small)) / 1024.0, 2) + " MiB (" +
                 Fixed(static_cast<double>(small) / 1024.0, 2) + " -> " +
                 Fixed(static_cast<double>(large) / 1024.0, 2) + " MiB)";
    // VmHWM counts pages; a few of them may differ from run to run.
    row.Target = "constant (< 0.5 MiB)";
    row.Met = large - small < 512 ? 1 : 0;
    rows.push_back(row);
  }
}
