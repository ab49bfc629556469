// tirven-bench: measures what users pay for against the physical limits and
// prints one table, also written as Markdown with the machine's facts.
//
//   tirven-bench [--exe=PATH] [--scratch=DIR] [--results=DIR|--no-results] [--strict]
//                [--sizes=1M,64M,1G] [--files=hatch.tvn,...]
//                [--parts=throughput,memory,records,terminal,idle,startup]

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "bench.h"
#include "platform/file_services.h"
#include "platform/process.h"
#include "textui/console.h"
#include "textui/draw.h"
#include "update/conversion.h"
#include "update/program_state.h"

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, separator)) {
    if (!part.empty()) parts.push_back(part);
  }
  return parts;
}

uint64_t ParseSize(const std::string& text) {
  char* end = nullptr;
  const uint64_t value = std::strtoull(text.c_str(), &end, 10);
  const std::string unit = end;
  if (unit == "K") return value << 10;
  if (unit == "M") return value << 20;
  if (unit == "G") return value << 30;
  if (unit.empty()) return value;
  std::fprintf(stderr, "tirven-bench: bad size %s\n", text.c_str());
  std::exit(2);
}

std::string FirstLineWith(const std::string& path, const std::string& key) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) == 0) {
      const size_t colon = line.find(':');
      std::string value = colon == std::string::npos ? line : line.substr(colon + 1);
      while (!value.empty() && (value[0] == ' ' || value[0] == '\t')) value.erase(0, 1);
      return value;
    }
  }
  return "unknown";
}

// The file system type and device of the mount that holds `path`.
std::string FileSystemOf(const std::string& path) {
  std::error_code error;
  const std::string real = std::filesystem::weakly_canonical(path, error).string();
  std::ifstream in("/proc/self/mountinfo");
  std::string line, best, bestType, bestSource;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string id, parent, device, root, mountPoint, field;
    fields >> id >> parent >> device >> root >> mountPoint;
    while (fields >> field && field != "-") {
    }
    std::string type, source;
    fields >> type >> source;
    const bool inside =
        real == mountPoint || mountPoint == "/" || real.rfind(mountPoint + "/", 0) == 0;
    if (inside && mountPoint.size() >= best.size()) {
      best = mountPoint;
      bestType = type;
      bestSource = source;
    }
  }
  if (bestType.empty()) return "unknown";
  return bestType + " (" + bestSource + " on " + best + ")";
}

std::string Today(const char* format) {
  const std::time_t now = std::time(nullptr);
  char text[64];
  std::strftime(text, sizeof text, format, std::localtime(&now));
  return text;
}

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "host";
  std::string host = name;
  for (char& c : host) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') c = '-';
  }
  return host.empty() ? "host" : host;
}

std::string CompilerName() {
#if defined(__clang__)
  return std::string("clang ") + __clang_version__;
#elif defined(__GNUC__)
  return std::string("GCC ") + __VERSION__;
#else
  return "unknown";
#endif
}

// The 1-, 5- and 15-minute load averages: other work on the machine skews
// every figure, and the copy's as much as the conversion's.
std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

std::vector<std::pair<std::string, std::string>> MachineFacts(const BenchOptions& options,
                                                              const std::string& startLoad) {
  utsname system{};
  uname(&system);
  const long kib = std::strtol(FirstLineWith("/proc/meminfo", "MemTotal").c_str(), nullptr, 10);
  return {
      {"Date", Today("%Y-%m-%d %H:%M %Z")},
      {"Host", HostName()},
      {"CPU", FirstLineWith("/proc/cpuinfo", "model name")},
      {"Cores", std::to_string(std::thread::hardware_concurrency())},
      {"Memory", Fixed(static_cast<double>(kib) / (1024.0 * 1024.0), 1) + " GiB"},
      {"Kernel", std::string(system.sysname) + " " + system.release},
      {"Scratch file system", FileSystemOf(options.ScratchDir)},
      {"Compiler", CompilerName()},
      {"Build type", TIRVEN_BENCH_BUILD_TYPE},
      {"Load average at the start", startLoad},
      {"Load average at the end", LoadAverage()},
  };
}

std::string Verdict(int met) {
  return met == 1 ? "yes" : met == 0 ? "**NO**" : "";
}

std::string Table(const std::vector<BenchRow>& rows) {
  std::string table = "| Part | Measure | Result | Target | Met |\n|---|---|---|---|---|\n";
  for (const BenchRow& row : rows) {
    table += "| " + row.Part + " | " + row.Measure + " | " + row.Result + " | " + row.Target +
             " | " + Verdict(row.Met) + " |\n";
  }
  return table;
}

std::string ResultsPath(const std::string& dir) {
  const std::string stem = dir + "/" + Today("%Y-%m-%d") + "-" + HostName();
  std::string path = stem + ".md";
  for (int n = 2; std::filesystem::exists(path); ++n) path = stem + "-" + std::to_string(n) + ".md";
  return path;
}

}  // namespace

bool BenchOptions::WantPart(const std::string& part) const {
  return Parts.empty() || std::find(Parts.begin(), Parts.end(), part) != Parts.end();
}

double NowSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string SizeText(uint64_t bytes) {
  if (bytes >= kGiB && bytes % kGiB == 0) return std::to_string(bytes / kGiB) + " GiB";
  if (bytes >= kMiB && bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
  return std::to_string(bytes) + " B";
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void Progress(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
}

void MakeFreshDirectory(const std::string& path) {
  std::error_code error;
  std::filesystem::remove_all(path, error);
  if (!std::filesystem::create_directories(path, error)) {
    std::fprintf(stderr, "tirven-bench: cannot make %s: %s\n", path.c_str(),
                 error.message().c_str());
    std::exit(2);
  }
}

void RemoveTree(const std::string& path) {
  std::error_code error;
  std::filesystem::remove_all(path, error);
}

uint64_t FreeBytes(const std::string& path) {
  struct statvfs fs {};
  if (statvfs(path.c_str(), &fs) != 0) return 0;
  return static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize;
}

int main(int argc, char** argv) {
  BenchOptions options;
  options.Executable = TIRVEN_BENCH_EXE;
  options.ResultsDir = TIRVEN_BENCH_RESULTS;
  std::string scratchRoot = TIRVEN_BENCH_SCRATCH;
  options.Sizes = {kMiB, 64 * kMiB, kGiB};
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char* name) -> const char* {
      const size_t length = std::strlen(name);
      return arg.compare(0, length, name) == 0 ? arg.c_str() + length : nullptr;
    };
    if (const char* v = value("--exe=")) {
      options.Executable = v;
    } else if (const char* v = value("--scratch=")) {
      scratchRoot = v;
    } else if (const char* v = value("--results=")) {
      options.ResultsDir = v;
    } else if (arg == "--strict") {
      options.Strict = true;
    } else if (arg == "--no-results") {
      options.ResultsDir.clear();
    } else if (const char* v = value("--sizes=")) {
      options.Sizes.clear();
      for (const std::string& size : Split(v, ',')) options.Sizes.push_back(ParseSize(size));
    } else if (const char* v = value("--parts=")) {
      options.Parts = Split(v, ',');
    } else if (const char* v = value("--files=")) {
      options.Files = Split(v, ',');
    } else {
      std::fprintf(
          stderr,
          "usage: tirven-bench [--exe=PATH] [--scratch=DIR] [--results=DIR|--no-results] [--strict]"
          " [--sizes=1M,64M,1G]\n"
          "       [--files=hatch.tvn,...]\n"
          "       [--parts=throughput,memory,records,terminal,idle,startup]\n");
      return 2;
    }
  }
  // A directory of this run's own, removed at the end.
  options.ScratchDir = scratchRoot + "/run-" + std::to_string(getpid());
  MakeFreshDirectory(options.ScratchDir);
  Progress("tirven-bench: scratch " + options.ScratchDir + ", " +
           Fixed(static_cast<double>(FreeBytes(options.ScratchDir)) / 1e9, 1) + " GB free");

  const std::string startLoad = LoadAverage();
  std::vector<BenchRow> rows;
  RunFileBench(options, rows);
  if (options.WantPart("records")) RunRecordBench(options, rows);
  if (options.WantPart("terminal")) RunTerminalBench(options, rows);
  if (options.WantPart("idle")) RunIdleBench(options, rows);
  if (options.WantPart("startup")) RunStartupBench(options, rows);
  const auto facts = MachineFacts(options, startLoad);
  RemoveTree(options.ScratchDir);
  if (std::filesystem::is_empty(scratchRoot)) RemoveTree(scratchRoot);

  std::string report = "# tirven-update benchmarks\n\n";
  for (const auto& [name, value] : facts) report += "- " + name + ": " + value + "\n";
  report +=
      "\nThroughput in MB/s (10^6 bytes) of the old file; the ratio is the copy's time over the "
      "conversion's.\n\n";
  report += Table(rows);
  std::printf("\n%s", report.c_str());
  if (!options.ResultsDir.empty()) {
    std::filesystem::create_directories(options.ResultsDir);
    const std::string path = ResultsPath(options.ResultsDir);
    std::ofstream(path) << report;
    std::printf("\nwritten to %s\n", path.c_str());
  }
  int missed = 0;
  for (const BenchRow& row : rows) missed += row.Met == 0;
  if (missed > 0) std::printf("%d target(s) missed\n", missed);
  return options.Strict && missed > 0 ? 1 : 0;
}
