#include <pelagon/model/media_file.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include <pelagon/platform/app_title.h>
#include <pelagon/platform/com.h>
#include <pelagon/platform/hresult.h>
#include "../support/record_fixture.h"
#include <pelagon/xmlio/dom_creator.h>

namespace pelagon::test {
namespace {

LocalizedText localized(const std::string& text) {
  LocalizedText result;
  for (std::size_t i = 0; i < result.size(); ++i) result[i] = text + " " + std::to_string(i);
  return result;
}

// Every field away from its default, with values that survive the written form (reals in
// eighths, a direction with its selection, the screen written because it is the custom one).
MediaInfo medium(int i) {
  MediaInfo m;
  m.strMediaName = localized("Generic Vinyl Template " + std::to_string(i));
  m.strBaseMediaName = m.strMediaName;
  PermissionSet permission;
  permission.nPermissionIndex = 3 + i;
  permission.anInkConfigIndexList = {0, 1};
  permission.nResolutionIndex = 4;
  permission.nModeIndex = 5;
  permission.nPassmaskIndex = 999;
  permission.eDirection = (2 << 16) | 3;
  permission.eScreen = kCustomScreen;
  permission.screenOption.bUseCustomSetting = true;
  permission.screenOption.flDegrees = {15.0F, 45.0F, 90.0F, 75.0F};
  permission.anVControlIndexList = {7, 8};
  permission.anFMPatternIndexList = {2};
  permission.nSeparationIndex = 6;
  CalibrationInfo calibration;
  calibration.nOutputLimit = 90;
  calibration.density.fill(0.125F);
  calibration.lab.fill({50.5F, -2.25F, 3.75F});
  permission.aCalibrationInfoList = {calibration, calibration};
  permission.nInkLimit = 280;
  permission.strPrinterProfile = "Pelagon KD Vinyl.icc";
  permission.nScanSpeed = 10;
  permission.nFeedSpeed = 11;
  permission.bVisiblePermission = false;
  permission.bRecommended = true;
  permission.nRealPassCount = 12;
  permission.strNextPermissionIndex = "4,5";
  m.aPermissionSetList = {permission};
  QualityInfo quality;
  quality.nQualityLevel = 1;
  quality.strQualityName = localized("Standard");
  quality.anPermissionIndexList = {3, 4};
  quality.bVisibleQuality = false;
  m.aQualityInfoList = {quality};
  m.nDefaultLevel = 1;
  m.nDryTime = 2;
  m.nVacuumPower = 3;
  m.eHeadHeight = 1;
  m.aflFeedCalibration = {0.25F, -0.5F};
  m.nPreHeater = 35;
  m.nPrintHeater = 40;
  m.nDryHeater = 45;
  m.nCutCount = 1;
  m.nCutVelocity = 20;
  m.nCutForce = 60;
  m.flCutOffset = 0.25F;
  m.TimeStamp = {2024, 5, 6, 7, 8, 9, 10};
  m.bVisibleMedia = false;
  m.bCuttingMedia = false;
  m.bUpdateNeeded = true;
  m.nInputRoute = 2;
  m.bPreHeaterEnable = false;
  m.bPrinterHeaterEnable = false;
  m.bDrierEnable = false;
  m.nMediaAttribute = 1;
  m.bHideUnrecommendedMode = 0;
  m.flNormalCutForceRange = 0.75F;
  m.flDeepCutForceRange = 40.5F;
  m.nDeepCutForce = 150;
  m.nHalfCutForce = 30;
  m.nOverPrintCount = 2;
  m.bUseDensityCalibration = true;
  return m;
}

MediaFile sampleFile() {
  MediaFile file;
  file.version = {5, 0, 1, 0};
  file.strSeriesName = "Pelagon";
  file.media = {medium(0), medium(1)};
  return file;
}

class MediaFileTest : public WholeFileTest<MediaFileIO, MediaFile> {
protected:
  MediaFileTest() { path_ = dir_.file("Pelagon KD.rmt"); }
};

TEST_F(MediaFileTest, WritesTheFrameInBothForms) {
  MediaFile file;
  file.strSeriesName = "Pelagon";
  EXPECT_EQ(save(file),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
            "<Halden_Media_File strVersion=\"5.0.1.0\">\r\n"
            "\t<strSeriesName>Pelagon</strSeriesName>\r\n"
            "\t<data/>\r\n"
            "\t<ProfileList/>\r\n"
            "</Halden_Media_File>\r\n");
  EXPECT_EQ(save(file, xml::SaveForm::Compact),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
            "<Halden_Media_File strVersion=\"5.0.1.0\"><strSeriesName>Pelagon</strSeriesName>"
            "<data/><ProfileList/></Halden_Media_File>");
}

TEST_F(MediaFileTest, MediaAreTheRecordElementsUnderData) {
  const MediaFile file = sampleFile();
  xml::DocumentPtr records = xml::Document::Create();
  xml::Node data = records->node().appendChild(records->createElement("data"));
  for (const MediaInfo& media : file.media) MediaInfoIO().Write(*records, data, media);
  EXPECT_EQ(save(file, xml::SaveForm::Compact),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
            "<Halden_Media_File strVersion=\"5.0.1.0\"><strSeriesName>Pelagon</strSeriesName>" +
                records->saveToString() + "<ProfileList/></Halden_Media_File>");
  xml::DocumentPtr document = MediaFileIO("").CreateDocument(file);
  ASSERT_TRUE(document);
  EXPECT_EQ(document->saveToString(), readFile(path_));
}

TEST_F(MediaFileTest, TheIndentedAndTheOneLineFormReadAsTheSameRecords) {
  const std::string indented = save(sampleFile());
  EXPECT_NE(indented.find("\r\n\t\t<MediaInfo>\r\n\t\t\t<strMediaName>\r\n\t\t\t\t<English>"),
            std::string::npos);
  MediaFile fromIndented;
  ASSERT_TRUE(load(fromIndented));
  save(sampleFile(), xml::SaveForm::Compact);
  MediaFile fromCompact;
  ASSERT_TRUE(load(fromCompact));
  EXPECT_EQ(fromIndented, fromCompact);
  EXPECT_EQ(fromIndented, sampleFile());
}

TEST_F(MediaFileTest, ReadsTheOlderRecordLayoutByPositionSkippingTheProfileList) {
  MediaFile file;
  file.strSeriesName = "Pelagon";
  file.media = {medium(0)};
  save(file, xml::SaveForm::Compact);
  std::string text = readFile(path_);
  // The carried files' media lack nHalfCutForce; their root children may be renamed freely.
  const std::string halfCut = "<nHalfCutForce>30.000</nHalfCutForce>";
  text.erase(text.find(halfCut), halfCut.size());
  text.replace(text.find("<strSeriesName>Pelagon</strSeriesName>"), 38, "<name>Pelagon</name>");
  text.replace(text.find("<ProfileList/>"), 14, "<ProfileList><x>junk</x></ProfileList><more/>");
  writeFile(path_, text);
  MediaFile read;
  ASSERT_TRUE(load(read));
  file.media[0].nHalfCutForce = 0;
  file.version = {5, 0, 1, 0};
  EXPECT_EQ(read, file);
}

TEST_F(MediaFileTest, BrokenFilesFailWithAReasonKeepingWhatCameBefore) {
  std::string reason;
  MediaFile read;
  EXPECT_FALSE(load(read, &reason));
  EXPECT_NE(reason.find("cannot be loaded"), std::string::npos) << reason;

  writeFile(path_, "<Halden_Media_File strVersion=\"5.0.1.0\"><strSeriesName>");
  EXPECT_FALSE(load(read, &reason));
  EXPECT_NE(reason.find("cannot be loaded"), std::string::npos) << reason;

  writeFile(path_, "<DeviceSeries strVersion=\"5.0.1.0\"/>");
  EXPECT_FALSE(load(read, &reason));
  EXPECT_NE(reason.find("no \"Halden_Media_File\" root"), std::string::npos) << reason;

  writeFile(path_, "<Halden_Media_File><strSeriesName>P</strSeriesName><data/></Halden_Media_File>");
  EXPECT_FALSE(load(read, &reason));
  EXPECT_NE(reason.find("Halden_Media_FileIO: Lacking version attribute"), std::string::npos) << reason;

  // Without "data" the second positional child is missing.
  writeFile(path_,
            "<Halden_Media_File strVersion=\"5.0.0.0\"><strSeriesName>P</strSeriesName></Halden_Media_File>");
  EXPECT_FALSE(load(read, &reason));
  EXPECT_EQ(reason, "\"" + path_ + "\": Halden_Media_File: child 1 (data) is missing");
  EXPECT_EQ(read.strSeriesName, "P");

  // A medium cut short after its names.
  save(sampleFile(), xml::SaveForm::Compact);
  std::string text = readFile(path_);
  const std::size_t second = text.rfind("<MediaInfo>");
  const std::size_t cut = text.find("<aPermissionSetList>", second);
  text.replace(cut, text.find("</MediaInfo>", second) - cut, "");
  writeFile(path_, text);
  MediaFile partial;
  EXPECT_FALSE(load(partial, &reason));
  ASSERT_EQ(partial.media.size(), 1);
  EXPECT_EQ(partial.media[0], medium(0));
}

TEST_F(MediaFileTest, OtherVersionsAreRefusedOnlyWhileTheCheckIsActive) {
  const auto loadsVersion = [&](std::string_view version) {
    writeFile(path_,
              "<Halden_Media_File strVersion=\"" + std::string(version) +
                  "\"><strSeriesName>Pelagon</strSeriesName><data/><ProfileList/></Halden_Media_File>");
    MediaFile read;
    const bool loaded = load(read);
    if (loaded) {
      EXPECT_EQ(read.version, VersionRecord::Parse(version));
    }
    return loaded;
  };
  for (std::string_view version : {"5.0.0.0", "5.0.1.0", "5.1.0.0", "7.0.1.0", "4.9.0.0"}) {
    EXPECT_TRUE(loadsVersion(version)) << version;
  }
  win::SetAppTitle(std::string(kVersionCheckingTitle));
  for (std::string_view version : {"5.0.0.0", "5.0.1.0", "5.0.99.99"})
    EXPECT_TRUE(loadsVersion(version)) << version;
  for (std::string_view version : {"4.9.0.0", "5.1.0.0", "6.0.0.0"})
    EXPECT_FALSE(loadsVersion(version)) << version;
  std::string reason;
  MediaFile read;
  EXPECT_FALSE(load(read, &reason));
  EXPECT_NE(reason.find("version 6.0.0.0"), std::string::npos) << reason;
}

TEST_F(MediaFileTest, TheThreeSavesChooseTheVersionWritten) {
  const auto writtenVersion = [&] {
    MediaFile read;
    EXPECT_TRUE(load(read));
    return read.version.ToString();
  };
  const MediaFile file = sampleFile();
  ASSERT_TRUE(MediaFileIO(path_).SaveKeepingVersion(file));
  EXPECT_EQ(writtenVersion(), "5.0.1.0");
  ASSERT_TRUE(MediaFileIO(path_).SaveWithVersion(file, {5, 0, 0, 0}));
  EXPECT_EQ(writtenVersion(), "5.0.0.0");
  ASSERT_TRUE(MediaFileIO(path_).SaveKeepingVersion(file));
  EXPECT_EQ(writtenVersion(), "5.0.0.0");
  ASSERT_TRUE(MediaFileIO(path_).Save(file));
  EXPECT_EQ(writtenVersion(), "5.0.1.0");

  MediaFileIO io(dir_.file("missing/Pelagon KD.rmt"));
  EXPECT_THROW(io.Save(file), win::_com_error);
  EXPECT_NE(io.LastError().find("cannot be written"), std::string::npos) << io.LastError();
}

}  // namespace
}  // namespace pelagon::test
