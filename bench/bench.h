#pragma once
// The benchmark driver's shared pieces: what a part measures, the options
// it runs with, and the helpers every part needs.

#include <cstdint>
#include <string>
#include <vector>

// One line of the results table.
struct BenchRow {
  std::string Part;     // "1 throughput", "2 memory", ...
  std::string Measure;  // what was measured
  std::string Result;   // the figure, with its unit
  std::string Target;   // empty when the row is for information only
  int Met = -1;         // 1 met, 0 missed, -1 no target
};

struct BenchOptions {
  std::string Executable;  // the tirven-update to run in a pseudo-terminal
  std::string ScratchDir;  // where files are made and removed again
  std::string ResultsDir;  // where the Markdown table goes; empty: none
  std::vector<uint64_t> Sizes;
  std::vector<std::string> Parts;  // empty: all
  std::vector<std::string> Files;  // empty: all five
  int Repeats1M = 5, Repeats64M = 7, Repeats1G = 5;
  bool Strict = false;  // a missed target makes the exit status 1
  int StartupRuns = 15;
  double IdleSeconds = 5.0;
  bool WantPart(const std::string& part) const;
};

constexpr uint64_t kMiB = uint64_t{1} << 20;
constexpr uint64_t kGiB = uint64_t{1} << 30;

// The parts. Each appends its rows; a failure to measure is a row too.
void RunRecordBench(const BenchOptions& options, std::vector<BenchRow>& rows);
void RunFileBench(const BenchOptions& options, std::vector<BenchRow>& rows);
void RunTerminalBench(const BenchOptions& options, std::vector<BenchRow>& rows);
void RunIdleBench(const BenchOptions& options, std::vector<BenchRow>& rows);
void RunStartupBench(const BenchOptions& options, std::vector<BenchRow>& rows);

// ---- Helpers -------------------------------------------------------------

double NowSeconds();
std::string Fixed(double value, int decimals);
std::string SizeText(uint64_t bytes);  // "1 MiB", "64 MiB", "1 GiB"
double Median(std::vector<double> values);
void Progress(const std::string& text);  // a line on standard error
// Creates a fresh, empty directory (removing what was there); aborts the
// benchmark with a message when it cannot.
void MakeFreshDirectory(const std::string& path);
void RemoveTree(const std::string& path);
uint64_t FreeBytes(const std::string& path);
