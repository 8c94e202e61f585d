// A device-series file of more than 100 MB: saved and loaded whole, with memory that stays
// a small multiple of the file's size.
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include <pelagon/model/device_series.h>
#include "../support/sample_series.h"
#include "../support/test_support.h"

namespace pelagon::test {
namespace {

// Gives a file of about 104 MB (scale 100 gives 77 MB).
constexpr int kScale = 135;
constexpr std::uintmax_t kLeastFileSize = 100'000'000;
// The DOM of a file takes a few times its size, and the file's bytes are held beside it.
constexpr double kMostMemoryPerFileByte = 12.0;

// Redzones and quarantine make memory under AddressSanitizer no measure of the library's,
// and the run takes minutes there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderAddressSanitizer = true;
#else
constexpr bool kUnderAddressSanitizer = false;
#endif

std::optional<std::uintmax_t> statusKiB(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::stoull(line.substr(field.size() + 1));
  }
  return std::nullopt;
}

// How much the resident memory grows at its peak while `work` runs, in bytes; nothing when
// the kernel cannot reset the peak.
template <typename Work>
std::optional<std::uintmax_t> peakGrowth(Work work) {
  // Memory freed earlier would otherwise be reused unseen.
  ::malloc_trim(0);
  {
    // "5" resets the peak resident size to the current one.
    std::ofstream reset("/proc/self/clear_refs");
    reset << "5";
    reset.flush();
    if (!reset) return std::nullopt;
  }
  const auto before = statusKiB("VmRSS");
  work();
  const auto peak = statusKiB("VmHWM");
  if (!before || !peak) return std::nullopt;
  return (*peak > *before ? *peak - *before : 0) * 1024;
}

TEST(LargeSeriesTest, AHundredMegabyteSeriesSavesAndLoadsInProportionateMemory) {
  if (kUnderAddressSanitizer) GTEST_SKIP() << "too slow and memory is not comparable under AddressSanitizer";
  TempDir dir;
  const std::string path = dir.file("large.dsr");
  DeviceSeries series = makeSampleSeries(kScale);

  bool saved = false;
  const auto saveGrowth = peakGrowth([&] { saved = DeviceSeriesIO2(path).Save(series); });
  ASSERT_TRUE(saved);
  const std::uintmax_t fileSize = std::filesystem::file_size(path);
  ASSERT_GE(fileSize, kLeastFileSize);

  DeviceSeries loaded;
  bool loadedOk = false;
  const auto loadGrowth = peakGrowth([&] { loadedOk = DeviceSeriesIO2(path).Load(loaded); });
  ASSERT_TRUE(loadedOk);
  EXPECT_TRUE(loaded == series) << "the large file reads back as it was written";

  if (!saveGrowth || !loadGrowth) GTEST_SKIP() << "the peak resident size cannot be reset here";
  const double limit = kMostMemoryPerFileByte * static_cast<double>(fileSize);
  EXPECT_LT(static_cast<double>(*saveGrowth), limit)
      << "save took " << *saveGrowth << " bytes more at its peak for a file of " << fileSize;
  EXPECT_LT(static_cast<double>(*loadGrowth), limit)
      << "load took " << *loadGrowth << " bytes more at its peak for a file of " << fileSize;
  RecordProperty("file_bytes", std::to_string(fileSize));
  RecordProperty("save_peak_growth", std::to_string(*saveGrowth));
  RecordProperty("load_peak_growth", std::to_string(*loadGrowth));
  dropComInitialisations();
}

}  // namespace
}  // namespace pelagon::test
