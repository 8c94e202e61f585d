#include <pelagon/app/media_merge_update.h>

#include <gtest/gtest.h>

#include <pelagon/model/device_series.h>
#include <pelagon/platform/debug_output.h>
#include <pelagon/platform/linux/program_resources.h>
#include "../support/sample_series.h"
#include "../support/test_support.h"

namespace pelagon::test {
namespace {

TEST(MediaMergeUpdateTest, TheEmbeddedSeriesIsMergedThroughTheTemporaryFile) {
  TempDir dir;
  DeviceSeries fresh = makeSampleSeries();
  ASSERT_TRUE(DeviceSeriesIO2(dir.file("new.dsr")).Save(fresh));
  const std::string bytes = readFile(dir.file("new.dsr"));
  const win::BinaryResource resources[] = {
      {win::RT_BIN, 129, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()}};
  win::SetProgramResources(resources);
  win::SetDebugOutputToBuffer();

  DeviceSeries installed = makeSampleSeries();
  MediaInfo own = installed.aMediaInfoList[0];
  own.strMediaName.fill("My Backlit");
  installed.aMediaInfoList.append(own);
  const std::string target = dir.file("Pelagon KD cmk.dsr");
  ASSERT_TRUE(DeviceSeriesIO2(target).Save(installed));

  EXPECT_TRUE(MergeMediaUpdate(target, 129));
  const std::string log = win::TakeDebugOutput();
  EXPECT_NE(log.find(target + ".tmp ( " + std::to_string(bytes.size()) + " Bytes ) successfly updated!"),
            std::string::npos)
      << log;
  DeviceSeries merged;
  ASSERT_TRUE(DeviceSeriesIO2(target).Load(merged));
  EXPECT_EQ(merged.aMediaInfoList.size(), 8);

  // No installed file: the block goes to the target itself.
  const std::string elsewhere = dir.file("KDUpdateTest.dsr");
  EXPECT_TRUE(MergeMediaUpdate(elsewhere, 129));
  EXPECT_EQ(readFile(elsewhere), bytes);

  win::SetDebugOutputToDefault();
  win::SetProgramResources({});
  dropComInitialisations();
}

}  // namespace
}  // namespace pelagon::test
