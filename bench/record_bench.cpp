// Record conversion: each format's ConvertRecord against a memcpy of the
// new record size, over a small set of records that stays in the cache.

#include <benchmark/benchmark.h>

#include <cstring>
#include <map>

#include "bench.h"
#include "old_records.h"

namespace {

constexpr size_t kRecords = 64;

// Google Benchmark's results, kept instead of printed: the driver prints one
// table of everything.
class CollectingReporter final : public benchmark::BenchmarkReporter {
 public:
  bool ReportContext(const Context&) override { return true; }
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      const double perIteration =
          run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e9;
      NanosecondsPerRecord[run.run_name.function_name] = perIteration / kRecords;
    }
  }
  std::map<std::string, double> NanosecondsPerRecord;
};

void ConvertRecords(benchmark::State& state, const ConversionSpec* spec) {
  const std::vector<uint8_t> old = MakeOldRecords(*spec, kRecords, 42);
  // ConvertRecord fills a zeroed record; converting the same record again
  // writes the same bytes, so the buffer is zeroed once.
  std::vector<uint8_t> converted(kRecords * spec->NewSize, 0);
  for (auto _ : state) {
    for (size_t r = 0; r < kRecords; ++r)
      spec->ConvertRecord(&old[r * spec->OldSize], &converted[r * spec->NewSize]);
    benchmark::DoNotOptimize(converted.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kRecords));
}

void CopyRecords(benchmark::State& state, const ConversionSpec* spec) {
  std::vector<uint8_t> source(kRecords * spec->NewSize, 0x55);
  std::vector<uint8_t> target(kRecords * spec->NewSize, 0);
  // Through a volatile, so that the size is not a constant the compiler
  // could turn the copy into inline moves with.
  volatile size_t sizeHolder = spec->NewSize;
  const size_t size = sizeHolder;
  for (auto _ : state) {
    for (size_t r = 0; r < kRecords; ++r) std::memcpy(&target[r * size], &source[r * size], size);
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kRecords));
}

}  // namespace

void RunRecordBench(const BenchOptions&, std::vector<BenchRow>& rows) {
  Progress("3 record conversion: Google Benchmark, median of 5 repetitions");
  int argc = 1;
  char name[] = "tirven-bench";
  char* argv[] = {name, nullptr};
  benchmark::Initialize(&argc, argv);
  for (const std::string& file : BenchFileNames()) {
    const ConversionSpec* spec = &SpecFor(file);
    for (auto [kind, routine] :
         {std::pair{"ConvertRecord/", &ConvertRecords}, std::pair{"memcpy/", &CopyRecords}}) {
      benchmark::RegisterBenchmark((kind + file).c_str(), routine, spec)
          ->Repetitions(5)
          ->ReportAggregatesOnly(true)
          ->MinTime(0.2);
    }
  }
  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::ClearRegisteredBenchmarks();
  for (const std::string& file : BenchFileNames()) {
    const ConversionSpec& spec = SpecFor(file);
    const double convert = reporter.NanosecondsPerRecord["ConvertRecord/" + file];
    const double copy = reporter.NanosecondsPerRecord["memcpy/" + file];
    BenchRow row;
    row.Part = "3 record";
    row.Measure = "ConvertRecord " + file + " (" + std::to_string(spec.OldSize) + " -> " +
                  std::to_string(spec.NewSize) + " B) vs memcpy " + std::to_string(spec.NewSize) +
                  " B";
    if (convert <= 0 || copy <= 0) {
      row.Result = "not measured";
      row.Met = 0;
    } else {
      const double ratio = convert / copy;
      row.Result = Fixed(convert, 1) + " ns vs " + Fixed(copy, 1) + " ns: " + Fixed(ratio, 2) + "x";
      row.Met = ratio <= 2.0 ? 1 : 0;
    }
    row.Target = "<= 2x";
    rows.push_back(row);
  }
}
