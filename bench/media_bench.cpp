// A medium with 50 permission sets of 4 calibration records each, written to and read from a
// media-setting file in the carried (indented) form.

#include <benchmark/benchmark.h>

#include <filesystem>

#include <pelagon/model/media_file.h>
#include <pelagon/platform/com.h>
#include <pelagon/xmlio/dom_creator.h>

namespace {

using namespace pelagon;

MediaFile largeMediaFile() {
  MediaInfo medium;
  medium.strMediaName.fill("Generic Vinyl Template");
  for (int p = 0; p < 50; ++p) {
    PermissionSet permission;
    permission.nPermissionIndex = p;
    permission.anInkConfigIndexList.append(0);
    permission.eDirection = 131075;
    permission.eScreen = 65569;
    permission.strPrinterProfile = "KDTRLcmk_GenericBanner_600x600.icc";
    for (int c = 0; c < 4; ++c) {
      CalibrationInfo calibration;
      calibration.nOutputLimit = 100;
      for (std::size_t step = 0; step < calibration.density.size(); ++step) {
        calibration.density[step] = static_cast<float>(step) * 0.125F;
        calibration.lab[step] = {static_cast<float>(step) * 4.5F, -0.5F, 2.25F};
      }
      permission.aCalibrationInfoList.append(calibration);
    }
    medium.aPermissionSetList.append(permission);
  }
  MediaFile file;
  file.strSeriesName = "Pelagon";
  file.media.append(medium);
  return file;
}

std::string benchFile() {
  return (std::filesystem::temp_directory_path() / "pelagon-media-bench.rmt").string();
}

void BM_WriteLargeMediaFile(benchmark::State& state) {
  win::ComScope com;
  EnsureMsxmlAvailable();
  const MediaFile file = largeMediaFile();
  for (auto _ : state) benchmark::DoNotOptimize(MediaFileIO(benchFile()).Save(file));
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(std::filesystem::file_size(benchFile())));
}
BENCHMARK(BM_WriteLargeMediaFile)->Unit(benchmark::kMillisecond);

void BM_ReadLargeMediaFile(benchmark::State& state) {
  win::ComScope com;
  EnsureMsxmlAvailable();
  MediaFileIO(benchFile()).Save(largeMediaFile());
  for (auto _ : state) {
    MediaFile read;
    benchmark::DoNotOptimize(MediaFileIO(benchFile()).Load(read));
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(std::filesystem::file_size(benchFile())));
  std::filesystem::remove(benchFile());
}
BENCHMARK(BM_ReadLargeMediaFile)->Unit(benchmark::kMillisecond);

}  // namespace
