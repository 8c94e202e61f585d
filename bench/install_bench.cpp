// The installer's work against the least work of the same kind:
//  - the installation run (registry lookup, 96 payload files with their log lines) against a
//    plain copy of the same bytes into the same folders with open/write/close;
//  - the media merge update of a payload-sized device series over an installed copy that
//    holds 20 media of the user's, against one Load plus one Save of that series.
// The counters x_copy and x_load_save divide the mean time of a run by the baseline's mean
// time measured in the same benchmark, so both suffer the same machine load. Targets:
// x_copy <= 1.3.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <pelagon/app/install_run.h>
#include <pelagon/model/device_series.h>
#include <pelagon/model/media_merge.h>
#include <pelagon/payload/payload_catalogue.h>
#include <pelagon/payload/payload_resources.h>
#include <pelagon/platform/com.h>
#include <pelagon/platform/debug_output.h>
#include <pelagon/platform/linux/registry_store.h>
#include <pelagon/platform/linux/program_resources.h>
#include <pelagon/platform/linux/windows_path.h>
#include "../tests/support/sample_series.h"
#include "../tests/support/test_support.h"

namespace {

using namespace pelagon;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void writePlainly(const std::string& path, const unsigned char* data, std::size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) throw std::runtime_error("cannot write " + path);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) {
      ::close(fd);
      throw std::runtime_error("cannot write " + path);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) throw std::runtime_error("cannot write " + path);
}

// A Wine prefix with Chromalith's folders and a registry leading there, set up for the
// process while the object lives.
class InstalledChromalith {
public:
  InstalledChromalith() {
    fs::create_directories(prefix() / "dosdevices");
    fs::create_directories(installPath() / "Chromalith" / "Device");
    fs::create_directories(installPath() / "Profiles");
    fs::create_directory_symlink("../drive_c", prefix() / "dosdevices" / "c:");
    win::UseWinePrefixForDrives(prefix().string());
    const char* installer = "Software\\HaldenCo\\Chromalith\\Installer";
    const char* user = "Software\\HaldenCo\\Chromalith\\User";
    win::RegistryStore store(true);
    store.SetString(win::HKEY_LOCAL_MACHINE, installer, "CompanyName", "HaldenCo")
        .SetString(win::HKEY_LOCAL_MACHINE, installer, "InstallPath", "C:\\Program Files\\HaldenCo\\")
        .SetString(win::HKEY_LOCAL_MACHINE, installer, "UserName", "Print Room")
        .SetString(win::HKEY_LOCAL_MACHINE, user, "InkConfig", "CMYK")
        .SetString(win::HKEY_LOCAL_MACHINE, user, "Language", "English")
        .SetString(win::HKEY_LOCAL_MACHINE, user, "Model", "KD-640");
    win::UseRegistry(std::move(store));
    win::SetProgramResources(payload::Resources());
    win::SetDebugOutputToBuffer();
  }
  ~InstalledChromalith() {
    win::SetDebugOutputToDefault();
    win::SetProgramResources({});
    win::UseNoRegistry();
    win::UseDefaultWinePrefixForDrives();
  }
  InstalledChromalith(const InstalledChromalith&) = delete;
  InstalledChromalith& operator=(const InstalledChromalith&) = delete;

  fs::path prefix() const { return dir_.path() / "prefix"; }
  fs::path installPath() const { return prefix() / "drive_c" / "Program Files" / "HaldenCo"; }

private:
  test::TempDir dir_;
};

struct CopyStep {
  std::string path;  // empty for a folder step
  std::string folder;
  const win::BinaryResource* block = nullptr;
};

// The manifest as POSIX paths and blocks, resolved once, as the plainest copy would hold it.
std::vector<CopyStep> copySteps(const InstalledChromalith& place) {
  const auto resources = payload::Resources();
  std::vector<CopyStep> steps;
  for (const payload::ManifestEntry& entry : payload::kInstallManifest) {
    std::string relative(entry.relativePath);
    std::replace(relative.begin(), relative.end(), '\\', '/');
    const fs::path base = entry.base == payload::PayloadBase::DeviceFolder
                              ? place.installPath() / "Chromalith" / "Device"
                              : place.installPath();
    CopyStep step;
    if (entry.kind == payload::PayloadKind::Folder) {
      step.folder = (base / relative).string();
    } else {
      step.path = (base / relative).string();
      const auto found = std::find_if(resources.begin(), resources.end(),
                                      [&](const win::BinaryResource& r) { return r.id == entry.resourceId; });
      if (found == resources.end()) throw std::runtime_error("a payload block is missing");
      step.block = &*found;
    }
    steps.push_back(std::move(step));
  }
  return steps;
}

void plainCopy(const std::vector<CopyStep>& steps) {
  for (const CopyStep& step : steps) {
    if (!step.folder.empty()) {
      ::mkdir(step.folder.c_str(), 0777);
      continue;
    }
    writePlainly(step.path, step.block->data, step.block->size);
  }
}

void BM_InstallRunAgainstPlainCopy(benchmark::State& state) {
  InstalledChromalith place;
  const std::vector<CopyStep> steps = copySteps(place);
  plainCopy(steps);
  double run = 0.0, copy = 0.0;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    InstallRun();
    run += secondsSince(start);
    state.PauseTiming();
    const std::string lines = win::TakeDebugOutput();
    if (std::count(lines.begin(), lines.end(), '\n') != 96) state.SkipWithError("not 96 lines");
    const Clock::time_point copyStart = Clock::now();
    plainCopy(steps);
    copy += secondsSince(copyStart);
    state.ResumeTiming();
  }
  state.counters["x_copy"] = copy > 0.0 ? run / copy : 0.0;
  state.counters["copy_ms"] = copy * 1e3 / static_cast<double>(std::max<std::int64_t>(state.iterations(), 1));
}

void BM_MediaMergeUpdateAgainstLoadAndSave(benchmark::State& state) {
  win::ComScope com;
  test::TempDir dir;
  const std::string freshPath = dir.file("new.dsr");
  const std::string installedPath = dir.file("installed.dsr");
  const std::string target = dir.file("Pelagon KD cmk.dsr");
  const std::string saved = dir.file("saved.dsr");

  DeviceSeries fresh = test::makeSampleSeries();
  DeviceSeries installed = fresh;
  for (int i = 0; i < 20; ++i) {
    MediaInfo own = installed.aMediaInfoList[i % installed.aMediaInfoList.size()];
    own.strMediaName.fill("User medium " + std::to_string(i));
    installed.aMediaInfoList.append(own);
  }
  if (!DeviceSeriesIO2(freshPath).Save(fresh) || !DeviceSeriesIO2(installedPath).Save(installed)) {
    state.SkipWithError("the samples cannot be saved");
    return;
  }
  const NewSeriesWriter writeNew = [&](const std::string& path) {
    return fs::copy_file(freshPath, path, fs::copy_options::overwrite_existing);
  };

  double merge = 0.0, loadSave = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    fs::copy_file(installedPath, target, fs::copy_options::overwrite_existing);
    state.ResumeTiming();
    const Clock::time_point start = Clock::now();
    const MediaMergeOutcome outcome = MergeMediaUpdateFrom(target, writeNew);
    merge += secondsSince(start);
    state.PauseTiming();
    if (outcome.result != MediaMergeOutcome::Result::Merged || outcome.report.appended.size() != 20) {
      state.SkipWithError("the merge did not keep the user's media");
      break;
    }
    const Clock::time_point baseStart = Clock::now();
    DeviceSeries loaded;
    const bool ok = DeviceSeriesIO2(installedPath).Load(loaded) && DeviceSeriesIO2(saved).Save(loaded);
    loadSave += secondsSince(baseStart);
    if (!ok) state.SkipWithError("load or save failed");
    state.ResumeTiming();
  }
  state.counters["x_load_save"] = loadSave > 0.0 ? merge / loadSave : 0.0;
  state.counters["load_save_ms"] =
      loadSave * 1e3 / static_cast<double>(std::max<std::int64_t>(state.iterations(), 1));
}

BENCHMARK(BM_InstallRunAgainstPlainCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MediaMergeUpdateAgainstLoadAndSave)->Unit(benchmark::kMillisecond);

}  // namespace
