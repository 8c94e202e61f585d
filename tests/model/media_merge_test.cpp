#include <pelagon/model/media_merge.h>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <pelagon/platform/app_title.h>
#include <pelagon/platform/com.h>
#include <pelagon/platform/files.h>
#include <pelagon/platform/linux/com_testing.h>
#include "../support/sample_series.h"
#include "../support/test_support.h"

namespace pelagon::test {
namespace {

MediaInfo medium(const std::string& name, bool visible = true) {
  MediaInfo m;
  m.strMediaName.fill(name);
  m.bVisibleMedia = visible;
  return m;
}

DeviceSeries seriesWith(std::initializer_list<MediaInfo> media) {
  DeviceSeries series;
  for (const MediaInfo& m : media) series.aMediaInfoList.append(m);
  return series;
}

TEST(MediaMergeTest, MatchedMediaKeepTheUsersVisibilityAndUserMediaFollow) {
  MediaInfo userMedium = medium("My Vinyl");
  userMedium.nVacuumPower = 7;
  const DeviceSeries installed = seriesWith({medium("Vinyl", false), userMedium, medium("Banner")});
  MediaInfo newVinyl = medium("Vinyl");
  newVinyl.nDryHeater = 45;
  DeviceSeries fresh = seriesWith({medium("Banner"), newVinyl, medium("Paper")});

  const MediaMergeReport report = MergeMedia(installed, fresh);
  ASSERT_EQ(fresh.aMediaInfoList.size(), 4);
  EXPECT_FALSE(fresh.aMediaInfoList[1].bVisibleMedia);
  EXPECT_EQ(fresh.aMediaInfoList[1].nDryHeater, 45) << "everything else comes from the new file";
  EXPECT_TRUE(fresh.aMediaInfoList[3] == userMedium);
  EXPECT_EQ(report.visibilityTakenOver, (std::vector<int>{0, 1}));
  EXPECT_EQ(report.fromNew, (std::vector<int>{2}));
  EXPECT_EQ(report.appended, (std::vector<int>{1}));
}

TEST(MediaMergeTest, NamesCompareInTheFirstTenLanguagesExactly) {
  MediaInfo russianDiffers = medium("Vinyl", false);
  russianDiffers.strMediaName[10] = "Vinil";
  russianDiffers.strMediaName[11] = "Vinil";
  russianDiffers.strMediaName[12] = "Vinil";
  MediaInfo spanishDiffers = medium("Vinyl");
  spanishDiffers.strMediaName[9] = "Vinilo";
  DeviceSeries fresh = seriesWith({medium("Vinyl")});
  MergeMedia(seriesWith({russianDiffers, medium("vinyl"), spanishDiffers}), fresh);
  ASSERT_EQ(fresh.aMediaInfoList.size(), 3);
  EXPECT_FALSE(fresh.aMediaInfoList[0].bVisibleMedia);
  EXPECT_EQ(fresh.aMediaInfoList[1].strMediaName[0], "vinyl") << "letter case makes another medium";
  EXPECT_EQ(fresh.aMediaInfoList[2].strMediaName[9], "Vinilo");
}

TEST(MediaMergeTest, TheLaterOfTwoInstalledMediaOfOneNameWins) {
  DeviceSeries fresh = seriesWith({medium("Vinyl"), medium("Vinyl")});
  MergeMedia(seriesWith({medium("Vinyl", true), medium("Vinyl", false)}), fresh);
  ASSERT_EQ(fresh.aMediaInfoList.size(), 2);
  EXPECT_FALSE(fresh.aMediaInfoList[0].bVisibleMedia);
  EXPECT_TRUE(fresh.aMediaInfoList[1].bVisibleMedia) << "only the first new match takes part";

  DeviceSeries empty;
  const MediaMergeReport report = MergeMedia(seriesWith({medium("A"), medium("A")}), empty);
  EXPECT_EQ(empty.aMediaInfoList.size(), 2) << "appended media are never matched";
  EXPECT_EQ(report.appended, (std::vector<int>{0, 1}));
}

TEST(MediaMergeTest, CalibrationListsAreCutToTheSeparationsChannels) {
  DeviceSeries series;
  SeparationInfo four;
  four.nSeparationIndex = 3;
  four.anInputChannelInkIndexList = {1, 2, 3, 4};
  series.aSeparationInfoList.append(four);
  MediaInfo m = medium("Vinyl");
  const auto permissionWith = [](int separation, int calibrations) {
    PermissionSet permission;
    permission.nSeparationIndex = separation;
    for (int i = 0; i < calibrations; ++i) {
      CalibrationInfo calibration;
      calibration.nOutputLimit = i;
      permission.aCalibrationInfoList.append(calibration);
    }
    return permission;
  };
  m.aPermissionSetList.append(permissionWith(3, 6));
  m.aPermissionSetList.append(permissionWith(3, 3));
  m.aPermissionSetList.append(permissionWith(9, 6));
  series.aMediaInfoList.append(m);

  FitCalibrationLists(series);
  const auto& permissions = series.aMediaInfoList[0].aPermissionSetList;
  EXPECT_EQ(permissions[0].aCalibrationInfoList.size(), 4);
  EXPECT_EQ(permissions[0].aCalibrationInfoList[3].nOutputLimit, 3) << "the first four stay";
  EXPECT_EQ(permissions[1].aCalibrationInfoList.size(), 3);
  EXPECT_EQ(permissions[2].aCalibrationInfoList.size(), 6) << "no separation: left as it is";
}

// Merges on real files: an installed series and a new one that the writer copies in.
class MediaMergeFileTest : public ::testing::Test {
protected:
  void SetUp() override {
    installed_ = makeSampleSeries();
    fresh_ = makeSampleSeries();
    // The user hid one medium and added one of their own.
    installed_.aMediaInfoList[2].bVisibleMedia = false;
    MediaInfo own = installed_.aMediaInfoList[0];
    own.strMediaName.fill("My Backlit");
    own.nVacuumPower = 9;
    installed_.aMediaInfoList.append(own);
    // The new file changed a medium's settings.
    fresh_.aMediaInfoList[2].nDryHeater = 55;
  }
  void TearDown() override {
    win::testing::ClearCoInitializeFailure();
    dropComInitialisations();
  }

  std::string target() const { return dir_.file("Pelagon KD.dsr"); }
  std::string newFile() const { return dir_.file("new.dsr"); }

  void writeBoth() {
    ASSERT_TRUE(DeviceSeriesIO2(target()).SaveWithVersion(installed_, VersionRecord{7, 0, 1, 0}));
    ASSERT_TRUE(DeviceSeriesIO2(newFile()).SaveWithVersion(fresh_, VersionRecord{7, 0, 2, 0}));
  }

  NewSeriesWriter copyNewFile() const {
    const std::string from = newFile();
    return [from](const std::string& path) {
      return win::CopyFileA(from.c_str(), path.c_str(), win::FALSE) != 0;
    };
  }

  DeviceSeries loadTarget() {
    DeviceSeries series;
    EXPECT_TRUE(DeviceSeriesIO2(target()).Load(series));
    return series;
  }

  bool onlyTargetAndNewFileLeft() const {
    return std::distance(std::filesystem::directory_iterator(dir_.path()), {}) == 2;
  }

  TempDir dir_;
  DeviceSeries installed_;
  DeviceSeries fresh_;
};

TEST_F(MediaMergeFileTest, AMergeKeepsTheUsersMediaAndVisibilityAndTheNewVersion) {
  writeBoth();
  const MediaMergeOutcome outcome = MergeMediaUpdateFrom(target(), copyNewFile());
  EXPECT_EQ(outcome.result, MediaMergeOutcome::Result::Merged);
  const DeviceSeries merged = loadTarget();
  ASSERT_EQ(merged.aMediaInfoList.size(), 8);
  EXPECT_FALSE(merged.aMediaInfoList[2].bVisibleMedia);
  EXPECT_EQ(merged.aMediaInfoList[2].nDryHeater, 55);
  EXPECT_EQ(merged.aMediaInfoList[7].strMediaName[0], "My Backlit");
  EXPECT_EQ(merged.aMediaInfoList[7].nVacuumPower, 9);
  EXPECT_EQ(outcome.report.appended, (std::vector<int>{7}));
  EXPECT_NE(readFile(target()).find("<DeviceSeries strVersion=\"7.0.2.0\">"), std::string::npos);
  EXPECT_TRUE(onlyTargetAndNewFileLeft()) << "no temporary or output file stays";
}

TEST_F(MediaMergeFileTest, WithoutAReadableInstalledFileTheNewOneGoesInDirectly) {
  writeBoth();
  std::filesystem::remove(target());
  EXPECT_EQ(MergeMediaUpdateFrom(target(), copyNewFile()).result,
            MediaMergeOutcome::Result::InstalledDirectly);
  EXPECT_EQ(readFile(target()), readFile(newFile()));

  writeFile(target(), "<DeviceSeries strVersion=\"7.0.1.0\"><unclosed>");
  EXPECT_EQ(MergeMediaUpdateFrom(target(), copyNewFile()).result,
            MediaMergeOutcome::Result::InstalledDirectly);
  EXPECT_EQ(readFile(target()), readFile(newFile()));
}

TEST_F(MediaMergeFileTest, AnInstalledFileThatCannotBeReadIsLeftAlone) {
  writeBoth();
  win::SetAppTitle(std::string(kVersionCheckingTitle));
  std::string newer = readFile(target());
  newer.replace(newer.find("7.0.1.0"), 7, "3.4.0.0");
  writeFile(target(), newer);
  EXPECT_EQ(MergeMediaUpdateFrom(target(), copyNewFile()).result,
            MediaMergeOutcome::Result::InstalledUnreadable);
  win::SetAppTitle("");
  EXPECT_EQ(readFile(target()), newer);
}

TEST_F(MediaMergeFileTest, EveryFailurePartWayLeavesTheInstalledFileWhole) {
  writeBoth();
  const std::string before = readFile(target());

  // The new file does not arrive, or arrives broken.
  EXPECT_EQ(MergeMediaUpdateFrom(target(), [](const std::string&) { return false; }).result,
            MediaMergeOutcome::Result::NewUnreadable);
  EXPECT_EQ(MergeMediaUpdateFrom(target(),
                                 [](const std::string& path) {
                                   writeFile(path, "<DeviceSeries strVersion=\"3.3.0.0\"/>");
                                   return true;
                                 })
                .result,
            MediaMergeOutcome::Result::NewUnreadable);
  EXPECT_EQ(readFile(target()), before);

  std::filesystem::remove(target() + ".tmp");

  // The merged document cannot be written (a folder stands at the output path), or the final
  // move is refused (a read-only installed file): the error leaves, the installed file
  // stays, and nothing of the merge is left beside it.
  std::filesystem::create_directory(target() + ".out");
  EXPECT_THROW(MergeMediaUpdateFrom(target(), copyNewFile()), win::_com_error);
  EXPECT_EQ(readFile(target()), before);
  EXPECT_FALSE(std::filesystem::exists(target() + ".tmp"));
  std::filesystem::remove_all(target() + ".out");
  ::chmod(target().c_str(), 0444);
  EXPECT_THROW(MergeMediaUpdateFrom(target(), copyNewFile()), win::_com_error);
  EXPECT_EQ(readFile(target()), before);
  EXPECT_TRUE(onlyTargetAndNewFileLeft());
  ::chmod(target().c_str(), 0644);

  // And when nothing fails, the result is the complete merge.
  EXPECT_EQ(MergeMediaUpdateFrom(target(), copyNewFile()).result, MediaMergeOutcome::Result::Merged);
  EXPECT_EQ(loadTarget().aMediaInfoList.size(), 8);
}

TEST_F(MediaMergeFileTest, StoppedAtAnyStepTheInstalledFileIsWholeOrFullyMerged) {
  writeBoth();
  const std::string before = readFile(target());
  // Every later step needs COM, so failing it from the n-th start on stops the merge at each
  // step in turn: the checks, the loads, the build of the merged document, its save.
  bool mergedOnce = false;
  for (int successes = 0; successes < 12; ++successes) {
    writeFile(target(), before);
    dropComInitialisations();
    win::testing::FailCoInitializeAfter(successes, win::E_OUTOFMEMORY);
    MediaMergeOutcome outcome;
    try {
      outcome = MergeMediaUpdateFrom(target(), copyNewFile());
    } catch (const win::_com_error&) {
      outcome.result = MediaMergeOutcome::Result::SaveFailed;
    }
    win::testing::ClearCoInitializeFailure();
    const std::string after = readFile(target());
    if (after == before) {
      EXPECT_NE(outcome.result, MediaMergeOutcome::Result::Merged) << successes;
    } else {
      // Only the complete merge may change it; never the unmerged new file.
      EXPECT_EQ(outcome.result, MediaMergeOutcome::Result::Merged) << successes;
      EXPECT_EQ(loadTarget().aMediaInfoList.size(), 8) << successes;
      mergedOnce = true;
    }
    if (outcome.result == MediaMergeOutcome::Result::SaveFailed) {
      EXPECT_FALSE(std::filesystem::exists(target() + ".out")) << successes;
    }
    std::filesystem::remove(target() + ".tmp");
    std::filesystem::remove(target() + ".out");
  }
  EXPECT_TRUE(mergedOnce) << "with enough COM starts the merge completes";
}

}  // namespace
}  // namespace pelagon::test
