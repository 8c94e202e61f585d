#include "model/media_merge.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace pelagon::test
