// pelagon-dsr diff of the ten-times series against a copy with one medium changed, against
// loading both files. The counter x_load divides the diff's mean time (both loads included)
// by the mean time of the two loads alone, measured in the same iterations. Target:
// x_load <= 3.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>

#include <pelagon/app/dsr_diff.h>
#include <pelagon/model/device_series.h>
#include <pelagon/platform/com.h>
#include "../tests/support/sample_series.h"
#include "../tests/support/test_support.h"

namespace {

using namespace pelagon;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void BM_DiffTenTimesAgainstLoad(benchmark::State& state) {
  win::ComScope com;
  test::TempDir dir;
  const std::string oldPath = dir.file("old.dsr");
  const std::string newPath = dir.file("new.dsr");
  DeviceSeries series = test::makeSampleSeries(10);
  if (!DeviceSeriesIO2(oldPath).Save(series)) {
    state.SkipWithError("the sample cannot be saved");
    return;
  }
  MediaInfo& changed = series.aMediaInfoList[series.aMediaInfoList.size() / 2];
  changed.nDryTime += 1;
  changed.aPermissionSetList[0].nInkLimit -= 10;
  if (!DeviceSeriesIO2(newPath).Save(series)) {
    state.SkipWithError("the changed sample cannot be saved");
    return;
  }

  double diff = 0.0, load = 0.0;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    dsr::LoadedFile before = dsr::loadFile(oldPath);
    dsr::LoadedFile after = dsr::loadFile(newPath);
    const std::size_t differences = dsr::DiffFiles(before, after).size();
    diff += secondsSince(start);
    state.PauseTiming();
    if (differences != 2) {
      state.SkipWithError("the diff does not find the two changes");
      break;
    }
    const Clock::time_point baseStart = Clock::now();
    {
      const dsr::LoadedFile first = dsr::loadFile(oldPath);
      const dsr::LoadedFile second = dsr::loadFile(newPath);
      benchmark::DoNotOptimize(first.series.aMediaInfoList.size() + second.series.aMediaInfoList.size());
    }
    load += secondsSince(baseStart);
    state.ResumeTiming();
  }
  state.counters["x_load"] = load > 0.0 ? diff / load : 0.0;
  state.counters["load_ms"] = load * 1e3 / static_cast<double>(std::max<std::int64_t>(state.iterations(), 1));
}

BENCHMARK(BM_DiffTenTimesAgainstLoad)->Unit(benchmark::kMillisecond);

}  // namespace
