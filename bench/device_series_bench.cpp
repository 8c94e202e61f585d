// Whole device-series files loaded and saved, at the shipped size and ten times it, against
// the least work any reader or writer of this format does with pugixml on the same bytes:
//  - parse baseline: read the file, parse it with pugixml's default options, visit every
//    element and convert every leaf value with std::from_chars (strings only measured);
//  - build baseline: build the same element tree from values held in plain vectors, print
//    it raw and write the bytes to a file, both plainly and as the library replaces a file
//    (beside it, flushed to disk, renamed over it).
// Every benchmark times its iterations itself (wall clock, as saving waits for the disk), so
// the ratios come from the times in the table: the counters x_parse, x_build and
// x_build_synced divide a run's time by the baseline's fastest run (the _cpu ones do the same
// with the thread's CPU time), and the summary printed at exit divides fastest by fastest.
// On a busy machine, run with --benchmark_repetitions=5.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <pugixml.hpp>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <utility>
#include <vector>

#include <pelagon/model/device_series.h>
#include <pelagon/platform/hresult.h>
#include <pelagon/platform/linux/posix_file.h>
#include "../tests/support/sample_series.h"
#include "../tests/support/test_support.h"

namespace {

using namespace pelagon;
using Clock = std::chrono::steady_clock;

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// ---- Files ----

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

std::string readWholeFile(const std::string& path) {
  win::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0) fail("cannot read " + path);
  std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t n = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail("cannot read " + path);
    filled += static_cast<std::size_t>(n);
  }
  return bytes;
}

void writeAll(int fd, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) fail("cannot write " + path);
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

void writePlainly(const std::string& path, std::string_view bytes) {
  win::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (fd.get() < 0) fail("cannot write " + path);
  writeAll(fd.get(), bytes, path);
  if (::close(fd.release()) != 0) fail("cannot write " + path);
}

// The library's way of replacing a file: a new file beside it, flushed, renamed over it.
void writeReplacing(const std::string& path, std::string_view bytes) {
  const std::string temporary = path + ".tmp~";
  win::UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (fd.get() < 0) fail("cannot write " + temporary);
  writeAll(fd.get(), bytes, temporary);
  if (::fdatasync(fd.get()) != 0 || ::close(fd.release()) != 0) fail("cannot write " + temporary);
  if (::rename(temporary.c_str(), path.c_str()) != 0) fail("cannot rename " + temporary);
}

// ---- The parse baseline ----

struct ParseTally {
  std::uint64_t elements = 0;
  // Unsigned, so that summing hostile values wraps instead of overflowing.
  std::uint64_t integers = 0;
  double reals = 0.0;
  std::uint64_t textBytes = 0;
};

// The type of each value is the reader's knowledge; trying integer, then real, then string
// stands in for it at the price of one failed try for reals and two for strings.
void convertLeaf(const char* text, ParseTally& tally) {
  const char* const end = text + std::strlen(text);
  std::int64_t integer = 0;
  if (auto [ptr, ec] = std::from_chars(text, end, integer); ec == std::errc() && ptr == end) {
    tally.integers += static_cast<std::uint64_t>(integer);
    return;
  }
  double real = 0.0;
  if (auto [ptr, ec] = std::from_chars(text, end, real); ec == std::errc() && ptr == end) {
    tally.reals += real;
    return;
  }
  tally.textBytes += static_cast<std::uint64_t>(end - text);
}

void visit(pugi::xml_node element, ParseTally& tally) {
  ++tally.elements;
  for (pugi::xml_attribute attribute = element.first_attribute(); attribute;
       attribute = attribute.next_attribute()) {
    tally.textBytes += std::strlen(attribute.value());
  }
  for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
    switch (child.type()) {
      case pugi::node_element:
        visit(child, tally);
        break;
      case pugi::node_pcdata:
      case pugi::node_cdata:
        convertLeaf(child.value(), tally);
        break;
      default:
        break;
    }
  }
}

ParseTally parseBaseline(const std::string& path) {
  const std::string bytes = readWholeFile(path);
  pugi::xml_document document;
  if (!document.load_buffer(bytes.data(), bytes.size())) throw std::runtime_error("cannot parse " + path);
  ParseTally tally;
  visit(document.document_element(), tally);
  return tally;
}

// ---- The build baseline ----

// One step of building the tree, in document order: open an element (with its attributes),
// give the open element its value, or close it.
struct Step {
  enum class Kind : std::uint8_t { Open, Close, Integer, Real, Text, EmptyText };
  Kind kind = Kind::Close;
  int decimals = 0;
  std::int64_t integer = 0;
  double real = 0.0;
  // The element's name for Open, the value for Text.
  std::string text;
  std::vector<std::pair<std::string, std::string>> attributes;
};

Step onlyKind(Step::Kind kind) {
  Step step;
  step.kind = kind;
  return step;
}

// Numbers are kept as numbers only where formatting them again gives the same text, so the
// build baseline writes the file's bytes exactly.
Step leafStep(std::string_view text) {
  Step step;
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  char buffer[64];
  if (auto [ptr, ec] = std::from_chars(begin, end, step.integer); ec == std::errc() && ptr == end) {
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, step.integer);
    if (std::string_view(buffer, static_cast<std::size_t>(written.ptr - buffer)) == text) {
      step.kind = Step::Kind::Integer;
      return step;
    }
  }
  const std::size_t point = text.find('.');
  if (point != std::string_view::npos) {
    auto [ptr, ec] = std::from_chars(begin, end, step.real, std::chars_format::fixed);
    step.decimals = static_cast<int>(text.size() - point - 1);
    if (ec == std::errc() && ptr == end) {
      const auto written =
          std::to_chars(buffer, buffer + sizeof buffer, step.real, std::chars_format::fixed, step.decimals);
      if (written.ec == std::errc() &&
          std::string_view(buffer, static_cast<std::size_t>(written.ptr - buffer)) == text) {
        step.kind = Step::Kind::Real;
        return step;
      }
    }
  }
  step.kind = Step::Kind::Text;
  step.text = text;
  return step;
}

// Whether the element was written as "<a></a>" rather than "<a/>"; both parse to an
// element without children.
bool writtenWithEndTag(pugi::xml_node element, std::string_view fileBytes) {
  const std::ptrdiff_t offset = element.offset_debug();
  if (offset < 0) return false;
  const std::size_t close = fileBytes.find('>', static_cast<std::size_t>(offset));
  return close != std::string_view::npos && close > 0 && fileBytes[close - 1] != '/';
}

void flatten(pugi::xml_node element, std::string_view fileBytes, std::vector<Step>& steps) {
  Step open;
  open.kind = Step::Kind::Open;
  open.text = element.name();
  for (pugi::xml_attribute attribute : element.attributes())
    open.attributes.emplace_back(attribute.name(), attribute.value());
  steps.push_back(std::move(open));
  const pugi::xml_node first = element.first_child();
  if (!first) {
    if (writtenWithEndTag(element, fileBytes)) steps.push_back(onlyKind(Step::Kind::EmptyText));
  } else if (first.type() == pugi::node_pcdata && !first.next_sibling()) {
    steps.push_back(leafStep(first.value()));
  } else {
    for (pugi::xml_node child = first; child; child = child.next_sibling()) {
      if (child.type() != pugi::node_element) throw std::runtime_error("mixed content is not expected");
      flatten(child, fileBytes, steps);
    }
  }
  steps.push_back(onlyKind(Step::Kind::Close));
}

class StringWriter final : public pugi::xml_writer {
public:
  explicit StringWriter(std::string& out) : out_(out) {}
  void write(const void* data, std::size_t size) override {
    out_.append(static_cast<const char*>(data), size);
  }

private:
  std::string& out_;
};

std::string buildBaseline(const std::vector<Step>& steps) {
  pugi::xml_document document;
  pugi::xml_node current = document;
  char buffer[64];
  for (const Step& step : steps) {
    switch (step.kind) {
      case Step::Kind::Open:
        current = current.append_child(step.text.c_str());
        for (const auto& [name, value] : step.attributes)
          current.append_attribute(name.c_str()).set_value(value.c_str());
        break;
      case Step::Kind::Close:
        current = current.parent();
        break;
      case Step::Kind::Integer:
        current.text().set(static_cast<long long>(step.integer));
        break;
      case Step::Kind::Real: {
        const auto written =
            std::to_chars(buffer, buffer + sizeof buffer, step.real, std::chars_format::fixed, step.decimals);
        current.text().set(buffer, static_cast<std::size_t>(written.ptr - buffer));
        break;
      }
      case Step::Kind::Text:
        current.text().set(step.text.c_str(), step.text.size());
        break;
      case Step::Kind::EmptyText:
        current.text().set("");
        break;
    }
  }
  std::string out(kDeclaration);
  StringWriter writer(out);
  document.document_element().print(writer, "", pugi::format_raw, pugi::encoding_utf8);
  return out;
}

// ---- The samples and the measured times ----

struct Sample {
  std::string path;
  std::string bytes;
  DeviceSeries series;
  std::vector<Step> steps;
  bool buildWritesSameBytes = false;
};

enum class Measure { Load, Parse, Save, Build, BuildSynced };

// Wall time is what the benchmarks report (saving waits for the disk); the thread's CPU time
// is kept beside it, as other processes on a shared machine stretch wall times unevenly.
struct Elapsed {
  double wall = 0.0;
  double cpu = 0.0;
};

double threadCpuSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Times one call of `work`. What it returns is destroyed after the clocks stop: keeping or
// freeing a loaded series is its caller's business, not the reader's.
template <typename Work>
Elapsed timeOnce(Work& work) {
  const double cpuStart = threadCpuSeconds();
  const Clock::time_point wallStart = Clock::now();
  Elapsed elapsed;
  if constexpr (std::is_void_v<decltype(work())>) {
    work();
    elapsed = {secondsSince(wallStart), threadCpuSeconds() - cpuStart};
  } else {
    auto result = work();
    elapsed = {secondsSince(wallStart), threadCpuSeconds() - cpuStart};
    benchmark::DoNotOptimize(result);
  }
  return elapsed;
}

class Bench {
public:
  ~Bench() { printSummary(); }

  Sample& sample(int scale) {
    std::unique_ptr<Sample>& slot = samples_[scale];
    if (!slot) slot = makeSample(scale);
    return *slot;
  }

  std::string outputPath(const char* what, int scale) const {
    return directory_.file(std::string(what) + "-" + std::to_string(scale) + ".dsr");
  }

  void record(Measure measure, int scale, std::int64_t iterations, Elapsed mean) {
    runs_[{measure, scale}].push_back({iterations, mean});
  }

  // The fastest means (wall and CPU each) among the full-length runs of this process: the
  // benchmark's shorter runs only size its loop, and the fastest of several repetitions is
  // the one least disturbed by other processes. Zero when nothing was recorded.
  Elapsed best(Measure measure, int scale) const {
    Elapsed fastest;
    const auto found = runs_.find({measure, scale});
    if (found == runs_.end()) return fastest;
    std::int64_t longest = 0;
    for (const Run& run : found->second) longest = std::max(longest, run.iterations);
    for (const Run& run : found->second) {
      if (run.iterations != longest) continue;
      if (fastest.wall == 0.0 || run.mean.wall < fastest.wall) fastest.wall = run.mean.wall;
      if (fastest.cpu == 0.0 || run.mean.cpu < fastest.cpu) fastest.cpu = run.mean.cpu;
    }
    return fastest;
  }

  // The baseline's times from its own benchmark in this run, or measured here when a filter
  // left that benchmark out.
  template <typename Work>
  Elapsed baseline(Measure measure, int scale, Work work) {
    if (const Elapsed known = best(measure, scale); known.wall > 0.0) return known;
    std::int64_t runs = 0;
    Elapsed total;
    while (runs < 5 || total.wall < 0.5) {
      const Elapsed once = timeOnce(work);
      total.wall += once.wall;
      total.cpu += once.cpu;
      ++runs;
    }
    const Elapsed mean{total.wall / static_cast<double>(runs), total.cpu / static_cast<double>(runs)};
    record(measure, scale, runs, mean);
    return mean;
  }

private:
  std::unique_ptr<Sample> makeSample(int scale) {
    auto made = std::make_unique<Sample>();
    made->path = directory_.file("sample-" + std::to_string(scale) + ".dsr");
    made->series = test::makeSampleSeries(scale);
    if (!DeviceSeriesIO2(made->path).Save(made->series))
      throw std::runtime_error("the sample cannot be saved");
    made->bytes = readWholeFile(made->path);

    pugi::xml_document parsed;
    if (!parsed.load_buffer(made->bytes.data(), made->bytes.size())) {
      throw std::runtime_error("the sample does not parse");
    }
    flatten(parsed.document_element(), made->bytes, made->steps);
    made->buildWritesSameBytes = buildBaseline(made->steps) == made->bytes;
    return made;
  }

  void printSummary() const {
    struct Line {
      Measure numerator;
      Measure denominator;
      const char* label;
    };
    static constexpr Line kLines[] = {
        {Measure::Load, Measure::Parse, "load/parse ratio"},
        {Measure::Save, Measure::Build, "save/build ratio"},
        {Measure::Save, Measure::BuildSynced, "save/build+sync ratio"},
    };
    bool any = false;
    for (const auto& [scale, entry] : samples_) {
      for (const Line& line : kLines) {
        const Elapsed numerator = best(line.numerator, scale);
        const Elapsed denominator = best(line.denominator, scale);
        if (numerator.wall == 0.0 || denominator.wall == 0.0) continue;
        if (!any) {
          std::printf(
              "\nDevice series against bare pugixml on the same bytes (fastest runs of this process):\n");
        }
        any = true;
        std::printf("%s: %.2f (scale %d, %zu bytes; %.2f ms / %.2f ms wall; CPU time ratio %.2f)\n",
                    line.label, numerator.wall / denominator.wall, scale, entry->bytes.size(),
                    numerator.wall * 1e3, denominator.wall * 1e3,
                    denominator.cpu > 0.0 ? numerator.cpu / denominator.cpu : 0.0);
      }
    }
    std::fflush(stdout);
  }

  struct Run {
    std::int64_t iterations;
    Elapsed mean;
  };

  test::TempDir directory_;
  std::map<int, std::unique_ptr<Sample>> samples_;
  std::map<std::pair<Measure, int>, std::vector<Run>> runs_;
};

Bench& bench() {
  static Bench instance;
  return instance;
}

// Runs `work` under the benchmark's loop and reports its wall time as the iteration time;
// returns the means.
template <typename Work>
Elapsed timeIterations(benchmark::State& state, std::int64_t bytesPerIteration, Work work) {
  Elapsed total;
  for (auto _ : state) {
    const Elapsed once = timeOnce(work);
    state.SetIterationTime(once.wall);
    total.wall += once.wall;
    total.cpu += once.cpu;
  }
  state.SetBytesProcessed(state.iterations() * bytesPerIteration);
  state.counters["file_KiB"] = static_cast<double>(bytesPerIteration) / 1024.0;
  const double iterations = static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
  return {total.wall / iterations, total.cpu / iterations};
}

// A failing setup, load or save ends the benchmark with its reason instead of the process.
template <typename Body>
void guarded(benchmark::State& state, Body body) {
  try {
    body();
  } catch (const std::exception& error) {
    state.SkipWithError(error.what());
  } catch (const win::_com_error& error) {
    const std::string message = error.HasDescription() ? error.Description() : error.ErrorMessage();
    state.SkipWithError(message.c_str());
  }
}

std::int64_t fileSize(const Sample& sample) { return static_cast<std::int64_t>(sample.bytes.size()); }

int scaleOf(const benchmark::State& state) { return static_cast<int>(state.range(0)); }

void BM_DeviceSeriesParseBaseline(benchmark::State& state) {
  guarded(state, [&] {
    const Sample& sample = bench().sample(scaleOf(state));
    const Elapsed mean = timeIterations(state, fileSize(sample), [&] { return parseBaseline(sample.path); });
    bench().record(Measure::Parse, scaleOf(state), state.iterations(), mean);
  });
}

void BM_DeviceSeriesLoad(benchmark::State& state) {
  guarded(state, [&] {
    const int scale = scaleOf(state);
    const Sample& sample = bench().sample(scale);
    bool loaded = true;
    const Elapsed mean = timeIterations(state, fileSize(sample), [&] {
      DeviceSeries target;
      loaded = DeviceSeriesIO2(sample.path).Load(target) && loaded;
      return target;
    });
    if (!loaded) throw std::runtime_error("Load failed");
    bench().record(Measure::Load, scale, state.iterations(), mean);
    const Elapsed parse = bench().baseline(Measure::Parse, scale, [&] { return parseBaseline(sample.path); });
    state.counters["x_parse"] = mean.wall / parse.wall;
    state.counters["x_parse_cpu"] = mean.cpu / parse.cpu;
  });
}

// The build baseline, its bytes written to the output `name` by `write`.
void timeBuildBaseline(benchmark::State& state, const char* name, Measure measure,
                       void (*write)(const std::string& path, std::string_view bytes)) {
  const int scale = scaleOf(state);
  const Sample& sample = bench().sample(scale);
  const std::string path = bench().outputPath(name, scale);
  const Elapsed mean =
      timeIterations(state, fileSize(sample), [&] { write(path, buildBaseline(sample.steps)); });
  bench().record(measure, scale, state.iterations(), mean);
}

void BM_DeviceSeriesBuildBaseline(benchmark::State& state) {
  guarded(state, [&] {
    timeBuildBaseline(state, "build", Measure::Build, writePlainly);
    // Whether the baseline wrote exactly the bytes of the library's file.
    state.counters["same_bytes"] = bench().sample(scaleOf(state)).buildWritesSameBytes ? 1 : 0;
  });
}

void BM_DeviceSeriesBuildSyncedBaseline(benchmark::State& state) {
  guarded(state, [&] { timeBuildBaseline(state, "build-synced", Measure::BuildSynced, writeReplacing); });
}

void BM_DeviceSeriesSave(benchmark::State& state) {
  guarded(state, [&] {
    const int scale = scaleOf(state);
    Sample& sample = bench().sample(scale);
    const std::string path = bench().outputPath("save", scale);
    bool saved = true;
    const Elapsed mean = timeIterations(state, fileSize(sample),
                                        [&] { saved = DeviceSeriesIO2(path).Save(sample.series) && saved; });
    if (!saved) throw std::runtime_error("Save failed");
    bench().record(Measure::Save, scale, state.iterations(), mean);
    const std::string buildPath = bench().outputPath("build", scale);
    const std::string syncedPath = bench().outputPath("build-synced", scale);
    const Elapsed build = bench().baseline(Measure::Build, scale,
                                           [&] { writePlainly(buildPath, buildBaseline(sample.steps)); });
    const Elapsed synced = bench().baseline(Measure::BuildSynced, scale,
                                            [&] { writeReplacing(syncedPath, buildBaseline(sample.steps)); });
    state.counters["x_build"] = mean.wall / build.wall;
    state.counters["x_build_synced"] = mean.wall / synced.wall;
    state.counters["x_build_cpu"] = mean.cpu / build.cpu;
  });
}

// ---- Peak memory ----

std::optional<double> statusBytes(const char* field) {
  std::ifstream status("/proc/self/status");
  const std::string prefix = std::string(field) + ":";
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(prefix, 0) == 0) return std::stod(line.substr(prefix.size())) * 1024.0;
  }
  return std::nullopt;
}

// How far the resident memory rises above where it was while `work` runs, in bytes; nothing
// when the kernel cannot reset the peak ("5" to clear_refs sets it to the current size).
template <typename Work>
std::optional<double> peakGrowth(Work& work) {
  // Memory freed earlier would otherwise be reused unseen.
  ::malloc_trim(0);
  {
    std::ofstream reset("/proc/self/clear_refs");
    reset << "5";
    reset.flush();
    if (!reset) return std::nullopt;
  }
  const std::optional<double> before = statusBytes("VmRSS");
  work();
  const std::optional<double> peak = statusBytes("VmHWM");
  if (!before || !peak) return std::nullopt;
  return std::max(0.0, *peak - *before);
}

// The peak resident memory a Load or a Save adds, over the file's size (target: at most 10
// for the ten-times series). The sample and its series are made before the measurement, so
// only what the reader or writer takes counts, the loaded series included.
void BM_DeviceSeriesPeakMemory(benchmark::State& state) {
  guarded(state, [&] {
    const int scale = scaleOf(state);
    Sample& sample = bench().sample(scale);
    const bool save = state.range(1) != 0;
    const std::string path = bench().outputPath("memory", scale);
    double worst = 0.0;
    bool ok = true;
    for (auto _ : state) {
      DeviceSeries target;
      auto work = [&] {
        ok = (save ? DeviceSeriesIO2(path).Save(sample.series) : DeviceSeriesIO2(sample.path).Load(target)) &&
             ok;
      };
      const std::optional<double> growth = peakGrowth(work);
      if (!growth) throw std::runtime_error("the peak resident size cannot be reset here");
      worst = std::max(worst, *growth);
    }
    if (!ok) throw std::runtime_error(save ? "Save failed" : "Load failed");
    state.SetLabel(save ? "save" : "load");
    state.counters["file_MiB"] = static_cast<double>(fileSize(sample)) / (1024.0 * 1024.0);
    state.counters["peak_MiB"] = worst / (1024.0 * 1024.0);
    state.counters["x_file"] = worst / static_cast<double>(fileSize(sample));
  });
}

// Baselines first, so the library's benchmarks find their times.
BENCHMARK(BM_DeviceSeriesParseBaseline)->Arg(1)->Arg(10)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeviceSeriesLoad)->Arg(1)->Arg(10)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeviceSeriesBuildBaseline)->Arg(1)->Arg(10)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeviceSeriesBuildSyncedBaseline)
    ->Arg(1)
    ->Arg(10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeviceSeriesSave)->Arg(1)->Arg(10)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK(BM_DeviceSeriesPeakMemory)
    ->Args({10, 0})
    ->Args({10, 1})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace
