#include <pelagon/model/device_series.h>

#include <gtest/gtest.h>

#include <regex>

#include <pelagon/platform/app_title.h>
#include <pelagon/platform/com.h>
#include "../support/sample_series.h"
#include "../support/test_support.h"

namespace pelagon::test {
namespace {

class DeviceSeriesTest : public ::testing::Test {
protected:
  void TearDown() override {
    win::SetAppTitle("");
    dropComInitialisations();
  }

  std::string saved(DeviceSeries series, bool second = true) {
    const std::string path = dir_.file("out" + std::to_string(++count_) + ".dsr");
    const bool ok = second ? DeviceSeriesIO2(path).Save(series) : DeviceSeriesIO(path).Save(series);
    EXPECT_TRUE(ok);
    return readFile(path);
  }

  // Loads text as a device-series file with DeviceSeriesIO2.
  bool load(const std::string& text, DeviceSeries& series) {
    const std::string path = dir_.file("in" + std::to_string(++count_) + ".dsr");
    writeFile(path, text);
    return DeviceSeriesIO2(path).Load(series);
  }

  static void replace(std::string& text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
  }

  TempDir dir_;
  int count_ = 0;
};

TEST_F(DeviceSeriesTest, AFullSeriesSavesLoadsAndSavesAgainToTheSameBytes) {
  const DeviceSeries original = makeSampleSeries();
  const std::string first = saved(original);
  ASSERT_EQ(first.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<DeviceSeries strVersion=\"3.3.0.0\">"
                        "<aModelInfoList><ModelInfo>",
                        0),
            0u);
  EXPECT_EQ(first.find("\r\n", 40), std::string::npos) << "the tree is on one line";

  DeviceSeries loaded;
  ASSERT_TRUE(load(first, loaded));
  EXPECT_EQ(loaded.aModelInfoList.size(), 2);
  EXPECT_EQ(loaded.aVControlPointList.size(), 327);
  EXPECT_EQ(loaded.aInkVolumeInfoList.size(), 41);
  EXPECT_TRUE(loaded.aModelInfoList == original.aModelInfoList);
  EXPECT_TRUE(loaded.aMediaInfoList == original.aMediaInfoList);
  EXPECT_TRUE(loaded.aSeparationInfoList == original.aSeparationInfoList);
  EXPECT_TRUE(loaded.commandSet == original.commandSet);
  EXPECT_TRUE(loaded == original);
  EXPECT_EQ(saved(loaded), first);
}

TEST_F(DeviceSeriesTest, CommandStringsAreStoredEscaped) {
  const std::string text = saved(makeSampleSeries());
  EXPECT_NE(text.find("<strInitialize>\\x1BE\\x1B%-12345X</strInitialize>"), std::string::npos);
  EXPECT_NE(text.find("<strSheetCut>\\x1B\\x26s\\x22\\x27\\x3C\\x3E\\x26\\x5C</strSheetCut>"),
            std::string::npos);
  EXPECT_NE(text.find("<strCancel></strCancel>"), std::string::npos);

  // A command the decoder rejects fails the whole load.
  std::string broken = text;
  replace(broken, "<strCancel></strCancel>", "<strCancel>\\n</strCancel>");
  DeviceSeries series;
  EXPECT_FALSE(load(broken, series));
}

TEST_F(DeviceSeriesTest, TheFirstTenChildrenCountByPositionAndTheRestByName) {
  const std::string text = saved(makeSampleSeries());

  // Inks where the models should be: read as models, which they are not.
  std::string swapped = text;
  replace(swapped, "<aModelInfoList>", "<aInkInfoList_>");
  replace(swapped, "</aModelInfoList>", "</aInkInfoList_>");
  DeviceSeries renamed;
  EXPECT_TRUE(load(swapped, renamed)) << "names of the first ten are not compared";
  const auto modelsStart = text.find("<aModelInfoList>");
  const auto inksStart = text.find("<aInkInfoList>");
  const auto inksEnd = text.find("</aInkInfoList>") + 15;
  std::string inksFirst = text.substr(0, modelsStart) + text.substr(inksStart, inksEnd - inksStart) +
                          text.substr(modelsStart, inksStart - modelsStart) + text.substr(inksEnd);
  DeviceSeries misplaced;
  EXPECT_FALSE(load(inksFirst, misplaced));

  // The named tail: any order, unknown elements skipped, each one optional.
  const auto tailStart = text.find("<aPrintChartFileInfoSetList>");
  const auto volumesStart = text.find("<aInkVolumeInfoList>");
  const auto urlStart = text.find("<strFirmwareDownloadURL>");
  const auto rootEnd = text.find("</DeviceSeries>");
  const std::string charts = text.substr(tailStart, volumesStart - tailStart);
  const std::string volumes = text.substr(volumesStart, urlStart - volumesStart);
  const std::string url = text.substr(urlStart, rootEnd - urlStart);
  DeviceSeries reordered;
  ASSERT_TRUE(
      load(text.substr(0, tailStart) + url + "<unknown>1</unknown>" + volumes + charts + "</DeviceSeries>",
           reordered));
  EXPECT_TRUE(reordered == makeSampleSeries());

  DeviceSeries withoutTail;
  ASSERT_TRUE(load(text.substr(0, tailStart) + "</DeviceSeries>", withoutTail));
  EXPECT_TRUE(withoutTail.aInkVolumeInfoList.empty());
  EXPECT_TRUE(withoutTail.aPrintChartFileInfoSetList.empty());
  EXPECT_EQ(withoutTail.strFirmwareDownloadURL[0], kInternationalColorSupportUrl);
  EXPECT_EQ(withoutTail.strFirmwareDownloadURL[6], kJapaneseColorSupportUrl);
  EXPECT_EQ(withoutTail.strFirmwareDownloadURL[12], kInternationalColorSupportUrl);

  // Nine children are too few.
  const auto mediaStart = text.find("<aMediaInfoList>");
  DeviceSeries tooShort;
  EXPECT_FALSE(load(text.substr(0, mediaStart) + "</DeviceSeries>", tooShort));
}

TEST_F(DeviceSeriesTest, WritingFitsFeedCalibrationToTheModelCount) {
  DeviceSeries series = makeSampleSeries();
  series.aMediaInfoList[0].aflFeedCalibration = {0.5F, 1.5F, 2.5F};
  series.aMediaInfoList[1].aflFeedCalibration = {0.75F};
  ASSERT_TRUE(DeviceSeriesIO2(dir_.file("fit.dsr")).Save(series));
  const std::string text = readFile(dir_.file("fit.dsr"));
  EXPECT_EQ(series.aMediaInfoList[0].aflFeedCalibration, (win::GrowableArray<float>{0.5F, 1.5F}));
  EXPECT_EQ(series.aMediaInfoList[1].aflFeedCalibration, (win::GrowableArray<float>{0.75F, 0.0F}));
  EXPECT_NE(text.find("<aflFeedCalibration><value>0.500</value><value>1.500</value></aflFeedCalibration>"),
            std::string::npos);
  EXPECT_NE(text.find("<aflFeedCalibration><value>0.750</value><value>0.000</value></aflFeedCalibration>"),
            std::string::npos);
}

TEST_F(DeviceSeriesTest, ReadingFillsInInputChannelsAndScreenAngles) {
  DeviceSeries series = makeSampleSeries();
  series.aSeparationInfoList[0].anInputChannelInkIndexList.clear();
  series.aSeparationInfoList[1].anInputChannelInkIndexList.clear();
  series.aSeparationInfoList[0].aSeparationTableList.clear();
  PermissionSet& twoAngles = series.aMediaInfoList[0].aPermissionSetList[0];
  twoAngles.eScreen = 8;
  twoAngles.nSeparationIndex = 2;  // four input channels
  twoAngles.screenOption.flDegrees = {10.0F, 20.0F};
  PermissionSet& orphan = series.aMediaInfoList[0].aPermissionSetList[1];
  orphan.eScreen = 8;
  orphan.nSeparationIndex = 99;  // no such separation
  orphan.screenOption.flDegrees = {10.0F, 20.0F};

  DeviceSeries loaded;
  ASSERT_TRUE(load(saved(series), loaded));
  // The last ink named "C", "M", "Y", "K" (the sample's ink list names each once).
  const win::GrowableArray<std::int32_t> cmyk{4097, 4098, 4099, 4096};
  EXPECT_EQ(loaded.aSeparationInfoList[0].anInputChannelInkIndexList, cmyk);
  EXPECT_EQ(loaded.aSeparationInfoList[1].anInputChannelInkIndexList, cmyk);
  EXPECT_EQ(loaded.aMediaInfoList[0].aPermissionSetList[0].screenOption.flDegrees,
            (win::GrowableArray<float>{30.0F, 45.0F, 90.0F, 60.0F}));
  EXPECT_EQ(loaded.aMediaInfoList[0].aPermissionSetList[1].screenOption.flDegrees,
            (win::GrowableArray<float>{10.0F, 20.0F}));

  // Without an ink called "C" its entry stays 0.
  series.aInkInfoList[1].strShortInkName = "Cyan";
  DeviceSeries withoutCyan;
  ASSERT_TRUE(load(saved(series), withoutCyan));
  EXPECT_EQ(withoutCyan.aSeparationInfoList[0].anInputChannelInkIndexList,
            (win::GrowableArray<std::int32_t>{0, 4098, 4099, 4096}));
}

TEST_F(DeviceSeriesTest, VersionsAreWrittenKeptAndCheckedWithFallback) {
  DeviceSeries series = makeSampleSeries();
  EXPECT_NE(saved(series, false).find("<DeviceSeries strVersion=\"1.0.0.0\">"), std::string::npos);
  EXPECT_NE(saved(series, true).find("<DeviceSeries strVersion=\"3.3.0.0\">"), std::string::npos);

  const std::string text = saved(series);
  const auto withVersion = [&text](const std::string& version) {
    std::string changed = text;
    changed.replace(changed.find("3.3.0.0"), 7, version);
    return changed;
  };
  const std::string shipped = dir_.file("shipped.dsr");
  writeFile(shipped, withVersion("7.0.1.0"));
  DeviceSeries loaded;
  DeviceSeriesIO2 io(shipped);
  ASSERT_TRUE(io.Load(loaded)) << "no version is rejected without the checking title";
  EXPECT_EQ(io.GetFileVersionNumber(), 7000100);
  ASSERT_TRUE(DeviceSeriesIO2(shipped).SaveKeepingVersion(loaded));
  EXPECT_NE(readFile(shipped).find("<DeviceSeries strVersion=\"7.0.1.0\">"), std::string::npos);
  ASSERT_TRUE(DeviceSeriesIO2(shipped).Save(loaded));
  EXPECT_NE(readFile(shipped).find("<DeviceSeries strVersion=\"3.3.0.0\">"), std::string::npos);

  win::SetAppTitle(std::string(kVersionCheckingTitle));
  const auto loads = [&](const std::string& version, bool second) {
    const std::string path = dir_.file("v" + version + (second ? "b" : "a") + ".dsr");
    writeFile(path, withVersion(version));
    DeviceSeries target;
    return second ? DeviceSeriesIO2(path).Load(target) : DeviceSeriesIO(path).Load(target);
  };
  EXPECT_TRUE(loads("3.3.9.9", true));
  EXPECT_TRUE(loads("1.0.5.0", true)) << "an older file falls back to the older class";
  EXPECT_FALSE(loads("3.2.0.0", true)) << "older than 3.3 but newer than 1.0";
  EXPECT_FALSE(loads("3.4.0.0", true));
  EXPECT_FALSE(loads("7.0.1.0", true));
  EXPECT_TRUE(loads("1.0.0.0", false));
  EXPECT_FALSE(loads("0.9.0.0", false)) << "nothing was read, so it is no success";
  EXPECT_FALSE(loads("1.1.0.0", false));
}

TEST_F(DeviceSeriesTest, FilesThatAreNotDeviceSeriesFailToLoad) {
  DeviceSeries series;
  EXPECT_FALSE(DeviceSeriesIO2(dir_.file("missing.dsr")).Load(series));
  EXPECT_FALSE(load("<DeviceSeries strVersion=\"3.3.0.0\"><aModelInfoList>", series));
  EXPECT_FALSE(load("<deviceseries strVersion=\"3.3.0.0\"/>", series));
  EXPECT_FALSE(load("<DeviceSeries/>", series));
  EXPECT_FALSE(load("<DeviceSeries strVersion=\"3.3.0.0\"/>", series));
}

TEST_F(DeviceSeriesTest, SavingReportsItsFailures) {
  DeviceSeries series = makeSampleSeries();
  EXPECT_THROW(DeviceSeriesIO2(dir_.file("missing/a.dsr")).Save(series), win::_com_error);
  EXPECT_TRUE(SaveDeviceSeries(dir_.file("free.dsr"), series));
  EXPECT_NE(readFile(dir_.file("free.dsr")).find("strVersion=\"1.0.0.0\""), std::string::npos);

  // The document alone, without a file, and read back from memory.
  win::ComScope com;
  DeviceSeriesIO2 io("");
  xml::DocumentPtr document = io.CreateDocument(series);
  ASSERT_TRUE(document);
  DeviceSeries read;
  DeviceSeriesIO::ReadDocument(document, read);
  EXPECT_TRUE(read == series);
  EXPECT_THROW(DeviceSeriesIO::ReadDocument(nullptr, read), win::_com_error);
}

}  // namespace
}  // namespace pelagon::test
