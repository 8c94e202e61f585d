#include <pelagon/model/media_info.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include <pelagon/platform/com.h>
#include <pelagon/platform/hresult.h>
#include "../support/record_file_tests.h"
#include <pelagon/xmlio/dom_creator.h>

namespace pelagon::test {
namespace {

CalibrationInfo sampleCalibration(int seed) {
  CalibrationInfo calibration;
  calibration.nOutputLimit = 90 + seed;
  for (std::size_t step = 0; step < kCalibrationStepCount; ++step) {
    calibration.density[step] = 0.125f * static_cast<float>(step + 1) + static_cast<float>(seed);
    calibration.lab[step] = {100.0f - 5.0f * static_cast<float>(step), static_cast<float>(seed) - 2.5f,
                             0.5f * static_cast<float>(step)};
  }
  return calibration;
}

PermissionSet samplePermission(int index, int calibrations) {
  PermissionSet permission;
  permission.nPermissionIndex = index;
  permission.anInkConfigIndexList = {1, index};
  permission.nResolutionIndex = 3;
  permission.nModeIndex = 40 + index;
  permission.nPassmaskIndex = 2;
  permission.eDirection = 131075;
  permission.eScreen = index % 2 == 0 ? kCustomScreen : 65569;
  if (permission.eScreen == kCustomScreen) {
    permission.screenOption.bUseCustomSetting = true;
    permission.screenOption.nLineCount = 45;
    permission.screenOption.flDegrees = {15.0f, 75.0f, 0.0f, 45.0f};
  }
  permission.anVControlIndexList = {7};
  permission.anFMPatternIndexList = {2, 3};
  permission.nSeparationIndex = 5;
  for (int i = 0; i < calibrations; ++i) permission.aCalibrationInfoList.append(sampleCalibration(index + i));
  permission.nInkLimit = 380;
  permission.strPrinterProfile = "Vinyl_" + std::to_string(index) + ".icc";
  permission.nScanSpeed = 800;
  permission.nFeedSpeed = 12;
  permission.bVisiblePermission = index % 3 != 0;
  permission.bRecommended = true;
  permission.nRealPassCount = 4;
  permission.strNextPermissionIndex = "n" + std::to_string(index);
  return permission;
}

QualityInfo sampleQuality(int level) {
  QualityInfo quality;
  quality.nQualityLevel = level;
  quality.strQualityName.fill("Standard");
  quality.strQualityName[6] = "\xE6\xA8\x99\xE6\xBA\x96";
  quality.anPermissionIndexList = {level, level + 1};
  quality.bVisibleQuality = false;
  return quality;
}

// Every member away from its default.
MediaInfo sampleMedia() {
  MediaInfo media;
  media.strMediaName.fill("Generic Vinyl 1");
  media.strMediaName[3] = "Vinyle";
  media.strBaseMediaName.fill("Generic Vinyl Template");
  media.aPermissionSetList = {samplePermission(0, 4), samplePermission(1, 1)};
  media.aQualityInfoList = {sampleQuality(0), sampleQuality(1)};
  media.nDefaultLevel = 1;
  media.nDryTime = 30;
  media.nVacuumPower = 3;
  media.eHeadHeight = 2;
  media.aflFeedCalibration = {-0.125f, 0.0f, 1.5f};
  media.nPreHeater = 38;
  media.nPrintHeater = 42;
  media.nDryHeater = 47;
  media.nCutCount = 2;
  media.nCutVelocity = 20;
  media.nCutForce = 120;
  media.flCutOffset = 0.375f;
  media.TimeStamp = {2013, 7, 14, 9, 30, 59, 250};
  media.bVisibleMedia = false;
  media.bCuttingMedia = false;
  media.bUpdateNeeded = true;
  media.nInputRoute = 3;
  media.bPreHeaterEnable = false;
  media.bPrinterHeaterEnable = false;
  media.bDrierEnable = false;
  media.nMediaAttribute = 1;
  media.bHideUnrecommendedMode = 0;
  media.flNormalCutForceRange = 0.75f;
  media.flDeepCutForceRange = 40.0f;
  media.nDeepCutForce = 180;
  media.nHalfCutForce = 35;
  media.nOverPrintCount = 2;
  media.bUseDensityCalibration = true;
  return media;
}

// The 17 positional children in document order, one entry per child.
struct Head {
  std::string children[17] = {
      "<strMediaName><English>Vinyl</English></strMediaName>",
      "<strBaseMediaName><English>Vinyl Template</English></strBaseMediaName>",
      "<aPermissionSetList/>",
      "<aQualityInfoList/>",
      "<nDefaultLevel>1</nDefaultLevel>",
      "<nDryTime>0</nDryTime>",
      "<nVacuumPower>4</nVacuumPower>",
      "<eHeadHeight>1</eHeadHeight>",
      "<aflFeedCalibration><value>0.250</value></aflFeedCalibration>",
      "<nPreHeater>36</nPreHeater>",
      "<nPrintHeater>44</nPrintHeater>",
      "<nDryHeater>48</nDryHeater>",
      "<nCutCount>1</nCutCount>",
      "<nCutVelocity>30</nCutVelocity>",
      "<nCutForce>90</nCutForce>",
      "<flCutOffset>0.250</flCutOffset>",
      "<TimeStamp><year>2012</year><month>5</month><day>4</day><hour>3</hour><minute>2</minute>"
      "<second>1</second><ms>0</ms></TimeStamp>",
  };
  std::string xml(int count = 17) const {
    std::string text;
    for (int i = 0; i < count; ++i) text += children[i];
    return text;
  }
};

constexpr int kPreHeater = 9, kPrintHeater = 10, kDryHeater = 11;

class MediaInfoTest : public RecordTest<&MediaInfoIO::Write, &MediaInfoIO::Read> {
protected:
  MediaInfo readWithTail(std::string_view tail, const Head& head = {}) {
    return read("<MediaInfo>" + head.xml() + std::string(tail) + "</MediaInfo>");
  }
  // Through the element in memory, without the text between.
  MediaInfo roundTrip(const MediaInfo& media) {
    MediaInfo result;
    io_.Read(io_.Write(*document_, document_->node(), media), result);
    return result;
  }
};

TEST_F(MediaInfoTest, EveryFieldRoundTrips) {
  EXPECT_EQ(elementRoundTrip(sampleMedia()), sampleMedia());
}

TEST_F(MediaInfoTest, WrittenElementHoldsAll32ChildrenInDocumentOrder) {
  MediaInfo media;
  media.strMediaName[0] = "Vinyl";
  media.nDefaultLevel = 1;
  media.nVacuumPower = -1;
  media.eHeadHeight = 1;
  media.aflFeedCalibration = {0.25f, -1.0f};
  media.nPreHeater = 35;
  media.nPrintHeater = 40;
  media.nDryHeater = 45;
  media.nCutCount = 1;
  media.nCutVelocity = 30;
  media.nCutForce = 100;
  media.flCutOffset = 0.25f;
  media.TimeStamp = {2012, 5, 4, 3, 2, 1, 999};
  media.nHalfCutForce = -7;
  EXPECT_EQ(
      written(media),
      "<MediaInfo>" + localizedXml("strMediaName", "Vinyl") + localizedXml("strBaseMediaName", "") +
          "<aPermissionSetList/><aQualityInfoList/><nDefaultLevel>1</nDefaultLevel><nDryTime>0</nDryTime>"
          "<nVacuumPower>-1</nVacuumPower><eHeadHeight>1</eHeadHeight><aflFeedCalibration>"
          "<value>0.250</value><value>-1.000</value></aflFeedCalibration><nPreHeater>35</nPreHeater>"
          "<nPrintHeater>40</nPrintHeater><nDryHeater>45</nDryHeater><nCutCount>1</nCutCount>"
          "<nCutVelocity>30</nCutVelocity><nCutForce>100</nCutForce><flCutOffset>0.250</flCutOffset>"
          "<TimeStamp><year>2012</year><month>5</month><day>4</day><hour>3</hour><minute>2</minute>"
          "<second>1</second><ms>999</ms></TimeStamp><bVisibleMedia>true</bVisibleMedia>"
          "<bCuttingMedia>true</bCuttingMedia><bUpdateNeeded>false</bUpdateNeeded>"
          "<nInputRoute>0</nInputRoute><bPreHeaterEnable>true</bPreHeaterEnable>"
          "<bPrinterHeaterEnable>true</bPrinterHeaterEnable><bDrierEnable>true</bDrierEnable>"
          "<nMediaAttribute>0</nMediaAttribute><bHideUnrecommendedMode>true</bHideUnrecommendedMode>"
          "<flNormalCutForceRange>0.500</flNormalCutForceRange>"
          "<flDeepCutForceRange>50.000</flDeepCutForceRange><nDeepCutForce>170.000</nDeepCutForce>"
          "<nHalfCutForce>-7.000</nHalfCutForce><nOverPrintCount>1</nOverPrintCount>"
          "<bUseDensityCalibration>false</bUseDensityCalibration></MediaInfo>");
  // Empty lists come back empty.
  const MediaInfo read = roundTrip(media);
  EXPECT_TRUE(read.aPermissionSetList.empty());
  EXPECT_TRUE(read.aQualityInfoList.empty());
  EXPECT_EQ(read.aflFeedCalibration, media.aflFeedCalibration);
}

TEST_F(MediaInfoTest, CutForcesAreStoredAsRealsAndReadAsIntegers) {
  // The media-setting files' older layout has no nHalfCutForce.
  const MediaInfo older = readWithTail("<nDeepCutForce>170.000</nDeepCutForce>");
  EXPECT_EQ(older.nHalfCutForce, 0);
  EXPECT_EQ(older.nDeepCutForce, 170);
  EXPECT_EQ(readWithTail("<nHalfCutForce>0.000</nHalfCutForce>").nHalfCutForce, 0);
  EXPECT_EQ(readWithTail("<nHalfCutForce>35.000</nHalfCutForce>").nHalfCutForce, 35);
  EXPECT_EQ(readWithTail("<nDeepCutForce>-12.900</nDeepCutForce>").nDeepCutForce, -12);
  // Hostile texts give a defined integer.
  EXPECT_EQ(readWithTail("<nDeepCutForce>1e9</nDeepCutForce>").nDeepCutForce, 1);
  EXPECT_EQ(readWithTail("<nDeepCutForce>99999999999.000</nDeepCutForce>").nDeepCutForce,
            std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(readWithTail("<nDeepCutForce>x</nDeepCutForce>").nDeepCutForce, 0);

  // The whole 32-bit range survives the real form.
  MediaInfo media = sampleMedia();
  media.nDeepCutForce = std::numeric_limits<std::int32_t>::min();
  media.nHalfCutForce = std::numeric_limits<std::int32_t>::max();
  const std::string text = written(media);
  EXPECT_NE(text.find("<nDeepCutForce>-2147483648.000</nDeepCutForce>"), std::string::npos);
  EXPECT_NE(text.find("<nHalfCutForce>2147483647.000</nHalfCutForce>"), std::string::npos);
  const MediaInfo read = roundTrip(media);
  EXPECT_EQ(read.nDeepCutForce, media.nDeepCutForce);
  EXPECT_EQ(read.nHalfCutForce, media.nHalfCutForce);

  // Appending to a list (a copy) keeps the value read.
  win::GrowableArray<MediaInfo> list;
  ASSERT_EQ(list.append(readWithTail("<nHalfCutForce>35.000</nHalfCutForce>")), 0);
  EXPECT_EQ(list[0].nHalfCutForce, 35);
}

TEST_F(MediaInfoTest, VacuumAndDryerRules) {
  Head head;
  head.children[6] = "<nVacuumPower>-1</nVacuumPower>";
  EXPECT_EQ(readWithTail("", head).nVacuumPower, 0);
  head.children[6] = "<nVacuumPower>-2</nVacuumPower>";
  EXPECT_EQ(readWithTail("", head).nVacuumPower, -2);

  EXPECT_TRUE(readWithTail("").bDrierEnable);
  head.children[kDryHeater] = "<nDryHeater>0</nDryHeater>";
  EXPECT_FALSE(readWithTail("", head).bDrierEnable);
  EXPECT_TRUE(readWithTail("<bDrierEnable>true</bDrierEnable>", head).bDrierEnable);
  // The rule is applied before the tail, whatever precedes bDrierEnable there.
  EXPECT_TRUE(readWithTail("<bDrierEnable>true</bDrierEnable><nDryHeater>0</nDryHeater>", head).bDrierEnable);
  // A warm dryer does not switch the dryer on when the file says it is off.
  EXPECT_FALSE(readWithTail("<bDrierEnable>false</bDrierEnable>").bDrierEnable);
}

TEST_F(MediaInfoTest, HeadIsPositionalAndTailIsByName) {
  const std::string inOrder =
      "<bVisibleMedia>false</bVisibleMedia><bCuttingMedia>false</bCuttingMedia>"
      "<bUpdateNeeded>true</bUpdateNeeded><nInputRoute>2</nInputRoute>"
      "<bPreHeaterEnable>false</bPreHeaterEnable><bPrinterHeaterEnable>false</bPrinterHeaterEnable>"
      "<bDrierEnable>false</bDrierEnable><nMediaAttribute>1</nMediaAttribute>"
      "<bHideUnrecommendedMode>false</bHideUnrecommendedMode><flNormalCutForceRange>1.250"
      "</flNormalCutForceRange><flDeepCutForceRange>60.000</flDeepCutForceRange>"
      "<nDeepCutForce>150.000</nDeepCutForce><nHalfCutForce>20.000</nHalfCutForce>"
      "<nOverPrintCount>3</nOverPrintCount><bUseDensityCalibration>true</bUseDensityCalibration>";
  const std::string reversed =
      "<bUseDensityCalibration>true</bUseDensityCalibration><nOverPrintCount>3</nOverPrintCount>"
      "<nHalfCutForce>20.000</nHalfCutForce><BVisibleMedia>true</BVisibleMedia>"
      "<nDeepCutForce>150.000</nDeepCutForce><flDeepCutForceRange>60.000</flDeepCutForceRange>"
      "<flNormalCutForceRange>1.250</flNormalCutForceRange><!-- note -->"
      "<bHideUnrecommendedMode>false</bHideUnrecommendedMode><nMediaAttribute>1</nMediaAttribute>"
      "<bDrierEnable>false</bDrierEnable><bPrinterHeaterEnable>false</bPrinterHeaterEnable>"
      "<nPreHeater>99</nPreHeater><bPreHeaterEnable>false</bPreHeaterEnable><nInputRoute>2</nInputRoute>"
      "<bUpdateNeeded>true</bUpdateNeeded><bCuttingMedia>false</bCuttingMedia>"
      "<bVisibleMedia>false</bVisibleMedia>";
  const MediaInfo forward = readWithTail(inOrder);
  EXPECT_EQ(readWithTail(reversed), forward);
  EXPECT_FALSE(forward.bVisibleMedia);
  EXPECT_EQ(forward.bHideUnrecommendedMode, 0);
  EXPECT_EQ(forward.flNormalCutForceRange, 1.25f);
  EXPECT_EQ(forward.nDeepCutForce, 150);
  EXPECT_EQ(forward.nHalfCutForce, 20);
  EXPECT_TRUE(forward.bUseDensityCalibration);
  // A positional member's name in the tail is skipped.
  EXPECT_EQ(forward.nPreHeater, 36);

  // Absent tail fields keep their defaults; a repeated one keeps the later value; the
  // 32-bit truth value holds exactly 0 or 1.
  const MediaInfo sparse = readWithTail(
      "<nOverPrintCount>5</nOverPrintCount><bHideUnrecommendedMode>yes</bHideUnrecommendedMode>"
      "<bHideUnrecommendedMode>true</bHideUnrecommendedMode><nOverPrintCount>6</nOverPrintCount>");
  EXPECT_EQ(sparse.nOverPrintCount, 6);
  EXPECT_EQ(sparse.bHideUnrecommendedMode, 1);
  EXPECT_TRUE(sparse.bVisibleMedia);
  EXPECT_TRUE(sparse.bCuttingMedia);
  EXPECT_EQ(sparse.flDeepCutForceRange, 50.0f);
  EXPECT_EQ(sparse.nDeepCutForce, 170);

  // Positional children are not recognised by name: swapping two swaps the values.
  Head head;
  std::swap(head.children[kPreHeater], head.children[kPrintHeater]);
  const MediaInfo swapped = readWithTail("", head);
  EXPECT_EQ(swapped.nPreHeater, 44);
  EXPECT_EQ(swapped.nPrintHeater, 36);
  // The head's own names are never looked at.
  EXPECT_EQ(read("<Other>" + Head{}.xml() + "</Other>").nDryHeater, 48);
}

TEST_F(MediaInfoTest, OlderMediaSettingLayoutReadsWithDefaults) {
  // As the carried media-setting files hold it: indented with tabs and CR LF, no
  // nHalfCutForce, permission sets without screenOption and bRecommended.
  Head head;
  head.children[2] =
      "<aPermissionSetList>\r\n\t\t<PermissionSet>\r\n\t\t\t<nPermissionIndex>0</nPermissionIndex>\r\n"
      "\t\t\t<anInkConfigIndexList><anInkConfigIndex>1</anInkConfigIndex></anInkConfigIndexList>\r\n"
      "\t\t\t<nResolutionIndex>2</nResolutionIndex><nModeIndex>3</nModeIndex>\r\n"
      "\t\t\t<nPassmaskIndex>0</nPassmaskIndex><eDirection>131075</eDirection><eScreen>65569</eScreen>\r\n"
      "\t\t\t<anVControlIndexList/><anFMPatternIndexList/><nSeparationIndex>1</nSeparationIndex>\r\n"
      "\t\t\t<aCalibrationInfoList/><nInkLimit>400</nInkLimit>\r\n"
      "\t\t\t<strPrinterProfile>DefaultCMYKPrinter.icc</strPrinterProfile>\r\n"
      "\t\t\t<nScanSpeed>700</nScanSpeed><nFeedSpeed>10</nFeedSpeed>\r\n"
      "\t\t\t<bVisiblePermission>false</bVisiblePermission><nRealPassCount>0</nRealPassCount>\r\n"
      "\t\t\t<strNextPermissionIndex></strNextPermissionIndex>\r\n\t\t</PermissionSet>\r\n"
      "\t</aPermissionSetList>";
  head.children[3] =
      "<aQualityInfoList>\r\n\t\t<QualityInfo><nQualityLevel>0</nQualityLevel>\r\n"
      "\t\t\t<strQualityName><English>High Quality</English></strQualityName>\r\n"
      "\t\t\t<anPermissionIndexList><anPermissionIndex>0</anPermissionIndex></anPermissionIndexList>\r\n"
      "\t\t\t<bVisibleQuality>true</bVisibleQuality></QualityInfo>\r\n\t</aQualityInfoList>";
  std::string text = "<MediaInfo>";
  for (const std::string& child : head.children) text += "\r\n\t" + child;
  text +=
      "\r\n\t<bVisibleMedia>true</bVisibleMedia>\r\n\t<nMediaAttribute>1</nMediaAttribute>\r\n"
      "\t<nDeepCutForce>170.000</nDeepCutForce>\r\n</MediaInfo>\r\n";
  const MediaInfo media = read(text);

  EXPECT_EQ(media.strMediaName[0], "Vinyl");
  EXPECT_EQ(media.strBaseMediaName[0], "Vinyl Template");
  ASSERT_EQ(media.aPermissionSetList.size(), 1);
  const PermissionSet& permission = media.aPermissionSetList[0];
  EXPECT_EQ(permission.nModeIndex, 3);
  EXPECT_EQ(permission.eScreen, 65569);
  EXPECT_EQ(permission.strPrinterProfile, "DefaultCMYKPrinter.icc");
  EXPECT_FALSE(permission.bRecommended);
  EXPECT_EQ(permission.screenOption, ScreenOption{});
  ASSERT_EQ(media.aQualityInfoList.size(), 1);
  EXPECT_EQ(media.aQualityInfoList[0].strQualityName[0], "High Quality");
  EXPECT_EQ(media.aflFeedCalibration, (win::GrowableArray<float>{0.25f}));
  EXPECT_EQ(media.flCutOffset, 0.25f);
  EXPECT_EQ(media.TimeStamp, (TimeStampValue{2012, 5, 4, 3, 2, 1, 0}));
  EXPECT_EQ(media.nMediaAttribute, 1);
  EXPECT_EQ(media.nHalfCutForce, 0);
  EXPECT_EQ(media.nDeepCutForce, 170);
}

TEST_F(MediaInfoTest, ShortRecordsRaiseEPointerAndKeepWhatWasRead) {
  MediaInfo media;
  EXPECT_EQ(
      comErrorOf([&] { io_.Read(parse("<MediaInfo>" + Head{}.xml(16) + "</MediaInfo>"), media); }),
      win::E_POINTER);
  EXPECT_EQ(media.flCutOffset, 0.25f);
  EXPECT_EQ(media.nCutForce, 90);

  // A time stamp short of a field is a missing node as well.
  Head head;
  head.children[16] = "<TimeStamp><year>2012</year></TimeStamp>";
  EXPECT_EQ(comErrorOf([&] { readWithTail("", head); }), win::E_POINTER);
  EXPECT_EQ(comErrorOf([&] { read("<MediaInfo/>"); }), win::E_POINTER);
  // A list entry that is no permission set fails in the permission-set reader.
  head = Head{};
  head.children[2] = "<aPermissionSetList><PermissionSet/></aPermissionSetList>";
  EXPECT_EQ(comErrorOf([&] { readWithTail("", head); }), win::E_POINTER);
}

TEST_F(MediaInfoTest, CopiesShareNothingWithTheirSource) {
  const MediaInfo original = sampleMedia();
  MediaInfo source = original;
  MediaInfo copy = source;
  ASSERT_EQ(copy, source);

  copy.aPermissionSetList[0].aCalibrationInfoList[3].lab[20].b = -1.0f;
  copy.aPermissionSetList[0].screenOption.flDegrees[0] = 1.0f;
  copy.aPermissionSetList[1].anInkConfigIndexList.append(9);
  copy.aQualityInfoList[1].strQualityName[0] = "Draft";
  copy.aflFeedCalibration[2] = 0.0f;
  copy.strMediaName[0].clear();
  copy.TimeStamp.ms = 0;
  EXPECT_EQ(source, original);

  // Assignment over a record with longer lists replaces them whole.
  MediaInfo target = sampleMedia();
  target.aPermissionSetList.append(samplePermission(7, 2));
  target = source;
  EXPECT_EQ(target, original);
  source.aQualityInfoList.clear();
  EXPECT_EQ(target.aQualityInfoList.size(), 2);
}

TEST_F(MediaInfoTest, LargeMediumRoundTripsThroughAFile) {
  MediaInfo media = sampleMedia();
  media.aPermissionSetList.clear();
  for (int i = 0; i < 50; ++i) ASSERT_EQ(media.aPermissionSetList.append(samplePermission(i, 4)), i);
  media.aQualityInfoList = {sampleQuality(0), sampleQuality(1), sampleQuality(2)};

  const std::string path = dir_.file("large.xml");
  ASSERT_TRUE(io_.WriteRecordFile(path, media));
  MediaInfo read;
  ASSERT_TRUE(io_.ReadRecordFile(path, read));
  ASSERT_EQ(read.aPermissionSetList.size(), 50);
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(read.aPermissionSetList[i].aCalibrationInfoList.size(), 4) << i;
  }
  EXPECT_EQ(read, media);
}

// A document whose root is not MediaInfo reads nothing.
struct MediaInfoFile {
  using Fixture = MediaInfoTest;
  static constexpr bool kStrictSave = true;
  static MediaInfo sample() { return sampleMedia(); }
  static std::string brokenRecord() { return "<MediaInfo><a>1</a></MediaInfo>"; }
  static std::string otherDocument() {
    return std::string(kDeclaration) + "<Other><MediaInfo>" + Head{}.xml() + "</MediaInfo></Other>";
  }
};
INSTANTIATE_TYPED_TEST_SUITE_P(MediaInfo, RecordFileTest, MediaInfoFile);

TEST_F(MediaInfoTest, ReadOverAMediumTheFileKeepsTheLanguagesItLacks) {
  writeFile(dir_.file("english.xml"),
            std::string(kDeclaration) + "<MediaInfo>" + Head{}.xml() + "</MediaInfo>");
  MediaInfo read = sampleMedia();
  ASSERT_TRUE(io_.ReadRecordFile(dir_.file("english.xml"), read));
  EXPECT_EQ(read.strMediaName[0], "Vinyl");
  EXPECT_EQ(read.strMediaName[3], "Vinyle");
  EXPECT_EQ(read.strBaseMediaName[12], "Generic Vinyl Template");
}

}  // namespace
}  // namespace pelagon::test
