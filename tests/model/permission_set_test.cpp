#include <pelagon/model/permission_set.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include <pelagon/platform/com.h>
#include <pelagon/platform/hresult.h>
#include "../support/record_fixture.h"
#include <pelagon/xmlio/dom_creator.h>

namespace pelagon::test {
namespace {

template <typename T>
std::vector<T> items(const win::GrowableArray<T>& list) {
  return {list.begin(), list.end()};
}

// As in the carried files: densities 0.1 .. 2.1, L from 100 down to 0. Each density is
// the one its three-decimal text reads back as.
CalibrationInfo carriedCalibration() {
  CalibrationInfo calibration;
  calibration.nOutputLimit = 100;
  for (std::size_t i = 0; i < kCalibrationStepCount; ++i) {
    calibration.density[i] = static_cast<float>(static_cast<double>(i + 1) / 10.0);
    calibration.lab[i] = {100.0F - 5.0F * static_cast<float>(i), 0.0F, 0.0F};
  }
  return calibration;
}

std::string element(std::string_view name, const std::string& text) {
  return "<" + std::string(name) + ">" + text + "</" + std::string(name) + ">";
}

// A calibration element with `densities` density values (i + 1) and `labs` Lab entries
// (L = i, a = -i, b = 2i).
std::string calibrationXml(int densities, int labs, std::string_view name = "CalibrationInfo",
                           int limit = 100) {
  std::string density;
  for (int i = 0; i < densities; ++i) density += element("value", std::to_string(i + 1));
  std::string lab;
  for (int i = 0; i < labs; ++i) {
    lab += element("value", element("l", std::to_string(i)) + element("a", std::to_string(-i)) +
                                element("b", std::to_string(2 * i)));
  }
  return element(name, element("nOutputLimit", std::to_string(limit)) + element("density", density) +
                           element("lab", lab));
}

// The positional head of a permission set: index 7, ink configurations 1 and 2, resolution
// 3, mode 4.
const std::string kHead =
    "<nPermissionIndex>7</nPermissionIndex><anInkConfigIndexList><anInkConfigIndex>1</anInkConfigIndex>"
    "<anInkConfigIndex>2</anInkConfigIndex></anInkConfigIndexList><nResolutionIndex>3</nResolutionIndex>"
    "<nModeIndex>4</nModeIndex>";

PermissionSet samplePermission() {
  PermissionSet permission;
  permission.nPermissionIndex = 12;
  permission.anInkConfigIndexList = {0, 3, -1};
  permission.nResolutionIndex = 5;
  permission.nModeIndex = 9;
  permission.nPassmaskIndex = 2;
  permission.eDirection = 131075;
  permission.eScreen = kCustomScreen;
  permission.screenOption.bUseCustomSetting = true;
  permission.screenOption.nLineCount = 150;
  permission.screenOption.eDotShape = 3;
  permission.screenOption.flDegrees = {15.0F, 45.0F, 90.0F, 75.0F};
  permission.anVControlIndexList = {4, 5};
  permission.anFMPatternIndexList = {6};
  permission.nSeparationIndex = 11;
  CalibrationInfo second = carriedCalibration();
  second.nOutputLimit = 85;
  second.lab[20] = {1.5F, -2.25F, 3.125F};
  permission.aCalibrationInfoList = {carriedCalibration(), second};
  permission.nInkLimit = 320;
  permission.strPrinterProfile = "Vinyl Glossy.icc";
  permission.nScanSpeed = 800;
  permission.nFeedSpeed = 40;
  permission.bVisiblePermission = false;
  permission.bRecommended = true;
  permission.nRealPassCount = 6;
  permission.strNextPermissionIndex = "13";
  return permission;
}

class PermissionSetTest : public RecordFixture {
protected:
  template <typename Record, typename Writer>
  std::string written(const Record& record, Writer&& write) {
    xml::DocumentPtr document = xml::Document::Create();
    write(document->node(), record);
    return document->saveToString();
  }
  PermissionSet readPermission(const std::string& children) {
    PermissionSet permission;
    readPermissionSet(parse("<PermissionSet>" + children + "</PermissionSet>"), permission);
    return permission;
  }
};

TEST_F(PermissionSetTest, EveryRecordRoundTrips) {
  const PermissionSet permission = samplePermission();
  const xml::Node permissionElement = appendPermissionSet(document_->node(), permission);
  EXPECT_EQ(permissionElement, document_->documentElement());
  PermissionSet readBack;
  readPermissionSet(permissionElement, readBack);
  EXPECT_EQ(readBack, permission);

  QualityInfo quality;
  quality.nQualityLevel = 2;
  quality.strQualityName[0] = "High Speed";
  quality.strQualityName[4] = "Hohe Geschwindigkeit";
  quality.anPermissionIndexList = {3, 4, 12};
  quality.bVisibleQuality = false;
  xml::DocumentPtr qualityDocument = xml::Document::Create();
  QualityInfo qualityBack;
  readQualityInfo(appendQualityInfo(qualityDocument->node(), quality), qualityBack);
  // Empty languages are written with the English text.
  QualityInfo expected = quality;
  for (std::string& text : expected.strQualityName) {
    if (text.empty()) text = "High Speed";
  }
  EXPECT_EQ(qualityBack, expected);
}

TEST_F(PermissionSetTest, WrittenElementsAreInDocumentOrder) {
  PermissionSet permission;
  permission.nPermissionIndex = 1;
  permission.anInkConfigIndexList = {0};
  permission.nResolutionIndex = 2;
  permission.nModeIndex = 3;
  permission.eDirection = 131075;
  permission.eScreen = 65569;
  permission.screenOption.nLineCount = 85;  // not written: eScreen is not the custom code
  permission.nSeparationIndex = 4;
  permission.aCalibrationInfoList = {carriedCalibration()};
  permission.nInkLimit = 400;
  permission.strPrinterProfile = "DefaultCMYKPrinter.icc";
  permission.nScanSpeed = 600;
  permission.nFeedSpeed = 20;

  std::string density;
  std::string lab;
  for (int i = 1; i <= 21; ++i) {
    density += "<value>" + std::to_string(i / 10) + "." + std::to_string(i % 10) + "00</value>";
    lab += "<value><l>" + std::to_string(105 - 5 * i) + ".000</l><a>0.000</a><b>0.000</b></value>";
  }
  EXPECT_EQ(written(permission, appendPermissionSet),
            "<PermissionSet><nPermissionIndex>1</nPermissionIndex><anInkConfigIndexList>"
            "<anInkConfigIndex>0</anInkConfigIndex></anInkConfigIndexList><nResolutionIndex>2"
            "</nResolutionIndex><nModeIndex>3</nModeIndex><nPassmaskIndex>0</nPassmaskIndex>"
            "<eDirection>131075</eDirection><eScreen>65569</eScreen><anVControlIndexList/>"
            "<anFMPatternIndexList/><nSeparationIndex>4</nSeparationIndex><aCalibrationInfoList>"
            "<CalibrationInfo><nOutputLimit>100</nOutputLimit><density>" +
                density + "</density><lab>" + lab +
                "</lab></CalibrationInfo></aCalibrationInfoList><nInkLimit>400</nInkLimit>"
                "<strPrinterProfile>DefaultCMYKPrinter.icc</strPrinterProfile><nScanSpeed>600</nScanSpeed>"
                "<nFeedSpeed>20</nFeedSpeed><bVisiblePermission>true</bVisiblePermission>"
                "<bRecommended>false</bRecommended><nRealPassCount>0</nRealPassCount>"
                "<strNextPermissionIndex></strNextPermissionIndex></PermissionSet>");

  QualityInfo quality;
  quality.strQualityName[0] = "Standard";
  quality.anPermissionIndexList = {1, 2};
  std::string name;
  for (const std::string& language : languageNames()) name += element(language, "Standard");
  EXPECT_EQ(written(quality, appendQualityInfo),
            "<QualityInfo><nQualityLevel>0</nQualityLevel><strQualityName>" + name +
                "</strQualityName><anPermissionIndexList><anPermissionIndex>1</anPermissionIndex>"
                "<anPermissionIndex>2</anPermissionIndex></anPermissionIndexList>"
                "<bVisibleQuality>true</bVisibleQuality></QualityInfo>");
}

TEST_F(PermissionSetTest, ScreenOptionIsWrittenOnlyForTheCustomScreen) {
  PermissionSet permission;
  permission.eScreen = kCustomScreen;
  const std::string custom = written(permission, appendPermissionSet);
  EXPECT_NE(custom.find("<eScreen>8</eScreen><screenOption><bUseCustomSetting>false</bUseCustomSetting>"
                        "<nLineCount>30</nLineCount><eDotShape>1</eDotShape><flDegrees/></screenOption>"
                        "<anVControlIndexList/>"),
            std::string::npos)
      << custom;

  for (std::int32_t code : {1, 7, 9, 65569, 8 + 65536}) {
    permission.eScreen = code;
    permission.screenOption.bUseCustomSetting = true;
    permission.screenOption.nLineCount = 120;
    const std::string other = written(permission, appendPermissionSet);
    EXPECT_EQ(other.find("screenOption"), std::string::npos) << code;
    // What is not written does not come back.
    PermissionSet readBack;
    readPermissionSet(parse(other), readBack);
    EXPECT_EQ(readBack.screenOption, ScreenOption{}) << code;
    EXPECT_EQ(readBack.eScreen, code);
  }
}

TEST_F(PermissionSetTest, OlderLayoutTakesRecommendedFromVisibility) {
  // A permission set as the carried media-setting files hold it.
  const std::string older = kHead +
                            "<nPassmaskIndex>1</nPassmaskIndex><eDirection>131075</eDirection>"
                            "<eScreen>65569</eScreen><anVControlIndexList/><anFMPatternIndexList/>"
                            "<nSeparationIndex>0</nSeparationIndex><aCalibrationInfoList/><nInkLimit>400"
                            "</nInkLimit><strPrinterProfile>DefaultCMYKPrinter.icc</strPrinterProfile>"
                            "<nScanSpeed>600</nScanSpeed><nFeedSpeed>20</nFeedSpeed>";
  PermissionSet hidden = readPermission(older + "<bVisiblePermission>false</bVisiblePermission>");
  EXPECT_FALSE(hidden.bVisiblePermission);
  EXPECT_FALSE(hidden.bRecommended);
  EXPECT_EQ(hidden.eScreen, 65569);
  EXPECT_EQ(hidden.eDirection, 131075);
  EXPECT_EQ(hidden.screenOption, ScreenOption{});
  EXPECT_EQ(hidden.nInkLimit, 400);
  EXPECT_EQ(hidden.strPrinterProfile, "DefaultCMYKPrinter.icc");

  // Without visibility either, the default visibility (true) is the recommendation.
  EXPECT_TRUE(readPermission(older).bRecommended);

  // An explicit bRecommended wins, wherever it stands relative to the visibility.
  EXPECT_TRUE(readPermission(older + "<bRecommended>true</bRecommended><bVisiblePermission>false"
                                     "</bVisiblePermission>")
                  .bRecommended);
  EXPECT_FALSE(readPermission(older + "<bVisiblePermission>true</bVisiblePermission><bRecommended>false"
                                      "</bRecommended>")
                   .bRecommended);
}

TEST_F(PermissionSetTest, DirectionGetsASelectedHalfEachTimeItIsRead) {
  struct Case {
    std::int32_t stored;
    std::int32_t read;
  };
  for (const Case& c : {Case{3, 131075}, Case{1, 65537}, Case{2, 131074}, Case{0, 0}, Case{131073, 131073},
                        Case{65539, 65539}, Case{196609, 65537}, Case{196608, 196608}, Case{4, 4},
                        // A negative code splits on its bit pattern: high half 0xFFFF, low 0xFFFF.
                        Case{-1, 0x0002FFFF}, Case{-65535, 0x00010001}}) {
    EXPECT_EQ(normalizeDirection(c.stored), c.read) << c.stored;
    EXPECT_EQ(readPermission(kHead + element("eDirection", std::to_string(c.stored))).eDirection, c.read)
        << c.stored;
  }
  // A second element is normalised too, and wins.
  EXPECT_EQ(readPermission(kHead + "<eDirection>2</eDirection><eDirection>1</eDirection>").eDirection, 65537);
}

TEST_F(PermissionSetTest, ReadResetsBeforeTheTailAndAppendsRepeatedLists) {
  PermissionSet permission;
  permission.anInkConfigIndexList = {90, 91};
  permission.eScreen = kCustomScreen;
  permission.anVControlIndexList = {92};
  permission.anFMPatternIndexList = {93};
  permission.nSeparationIndex = 94;
  readPermissionSet(parse("<PermissionSet>" + kHead +
                          "<anVControlIndexList><anVControlIndex>1</anVControlIndex><x>2</x>"
                          "</anVControlIndexList><anFMPatternIndexList><anFMPatternIndex>5"
                          "</anFMPatternIndex></anFMPatternIndexList><anVControlIndexList>"
                          "<anVControlIndex>3</anVControlIndex></anVControlIndexList></PermissionSet>"),
                    permission);
  EXPECT_EQ(items(permission.anInkConfigIndexList), (std::vector<std::int32_t>{1, 2}));
  // No eScreen element: the reader's 1, not what the target held.
  EXPECT_EQ(permission.eScreen, 1);
  // Emptied once, then both lists appended, entries whatever their names.
  EXPECT_EQ(items(permission.anVControlIndexList), (std::vector<std::int32_t>{1, 2, 3}));
  // Not emptied by the reader: a fresh target is the caller's part.
  EXPECT_EQ(items(permission.anFMPatternIndexList), (std::vector<std::int32_t>{93, 5}));
  // Absent by-name fields keep their values.
  EXPECT_EQ(permission.nSeparationIndex, 94);
}

TEST_F(PermissionSetTest, HeadIsPositionalAndTailIsByName) {
  const std::vector<std::string> tail{
      "<nPassmaskIndex>1</nPassmaskIndex>",
      "<eDirection>131075</eDirection>",
      "<eScreen>8</eScreen>",
      "<screenOption><nLineCount>60</nLineCount></screenOption>",
      "<anVControlIndexList><anVControlIndex>2</anVControlIndex></anVControlIndexList>",
      "<anFMPatternIndexList><anFMPatternIndex>3</anFMPatternIndex></anFMPatternIndexList>",
      "<nSeparationIndex>4</nSeparationIndex>",
      "<aCalibrationInfoList>" + calibrationXml(21, 21) + "</aCalibrationInfoList>",
      "<nInkLimit>5</nInkLimit>",
      "<strPrinterProfile>P.icc</strPrinterProfile>",
      "<nScanSpeed>6</nScanSpeed>",
      "<nFeedSpeed>7</nFeedSpeed>",
      "<bVisiblePermission>false</bVisiblePermission>",
      "<bRecommended>true</bRecommended>",
      "<nRealPassCount>8</nRealPassCount>",
      "<strNextPermissionIndex>9</strNextPermissionIndex>",
  };
  std::string forwardText = kHead;
  std::string reversedText = kHead + "<unknown>1</unknown><NINKLIMIT>99</NINKLIMIT><!-- note -->";
  for (const std::string& child : tail) forwardText += child;
  for (auto it = tail.rbegin(); it != tail.rend(); ++it) reversedText += *it;
  const PermissionSet forward = readPermission(forwardText);
  EXPECT_EQ(readPermission(reversedText), forward);
  EXPECT_EQ(forward.nInkLimit, 5);
  EXPECT_EQ(forward.screenOption.nLineCount, 60);
  EXPECT_EQ(forward.strNextPermissionIndex, "9");
  EXPECT_TRUE(forward.bRecommended);
  ASSERT_EQ(forward.aCalibrationInfoList.size(), 1);
  EXPECT_EQ(forward.aCalibrationInfoList[0].lab[20].b, 40.0F);

  // Positional children are not recognised by name: swapping two swaps the values, and
  // the head's element name is not compared.
  const PermissionSet swapped =
      readPermission("<a>7</a><b/><nModeIndex>4</nModeIndex><nResolutionIndex>3</nResolutionIndex>");
  EXPECT_EQ(swapped.nResolutionIndex, 4);
  EXPECT_EQ(swapped.nModeIndex, 3);
  EXPECT_EQ(swapped.nPermissionIndex, 7);
  EXPECT_TRUE(swapped.anInkConfigIndexList.empty());
}

TEST_F(PermissionSetTest, CalibrationRecordsKeepTheirOrderWhateverTheirNames) {
  const PermissionSet permission =
      readPermission(kHead + "<aCalibrationInfoList>" + calibrationXml(21, 0, "CalibrationInfo", 100) +
                     calibrationXml(21, 3, "other", 70) + calibrationXml(21, 0, "CalibrationInfo", 40) +
                     "</aCalibrationInfoList>");
  ASSERT_EQ(permission.aCalibrationInfoList.size(), 3);
  EXPECT_EQ(permission.aCalibrationInfoList[0].nOutputLimit, 100);
  EXPECT_EQ(permission.aCalibrationInfoList[1].nOutputLimit, 70);
  EXPECT_EQ(permission.aCalibrationInfoList[1].lab[2], (CalibrationLab{2.0F, -2.0F, 4.0F}));
  EXPECT_EQ(permission.aCalibrationInfoList[2].nOutputLimit, 40);
}

TEST_F(PermissionSetTest, QualityLevelHeadIsPositionalAndItsListIsAppendedTo) {
  QualityInfo quality;
  quality.anPermissionIndexList = {9};
  quality.bVisibleQuality = false;
  quality.strQualityName[6] = "kept";
  readQualityInfo(parse("<Q><level>2</level><name><English>High Quality</English></name>"
                        "<list><anPermissionIndex>4</anPermissionIndex><x>5</x></list>"
                        "<nQualityLevel>7</nQualityLevel><bvisiblequality>true</bvisiblequality></Q>"),
                  quality);
  EXPECT_EQ(quality.nQualityLevel, 2);
  EXPECT_EQ(quality.strQualityName[0], "High Quality");
  EXPECT_EQ(quality.strQualityName[6], "kept");  // a language the file lacks
  EXPECT_EQ(items(quality.anPermissionIndexList), (std::vector<std::int32_t>{9, 4, 5}));
  // Neither a head name later in the tail nor a differently cased name is read.
  EXPECT_FALSE(quality.bVisibleQuality);

  readQualityInfo(parse("<Q><a>1</a><b/><c/><bVisibleQuality>true</bVisibleQuality></Q>"), quality);
  EXPECT_TRUE(quality.bVisibleQuality);
}

TEST_F(PermissionSetTest, CalibrationReadsAtMostTwentyOneStepsOfEach) {
  CalibrationInfo calibration;
  readCalibrationInfo(parse(calibrationXml(23, 22)), calibration);
  EXPECT_EQ(calibration.nOutputLimit, 100);
  EXPECT_EQ(calibration.density[20], 21.0F);
  // The 22nd entry would be L 21; it is ignored rather than stored past the table.
  EXPECT_EQ(calibration.lab[20], (CalibrationLab{20.0F, -20.0F, 40.0F}));

  // Fewer Lab entries fill the leading steps and leave the others as they were.
  CalibrationInfo partial = carriedCalibration();
  readCalibrationInfo(parse(calibrationXml(21, 2)), partial);
  EXPECT_EQ(partial.lab[1], (CalibrationLab{1.0F, -1.0F, 2.0F}));
  EXPECT_EQ(partial.lab[2], carriedCalibration().lab[2]);
  EXPECT_EQ(partial.density[0], 1.0F);

  // By position: the element names inside a calibration record are not compared.
  std::string densities = "<v>0.5</v>";
  for (int i = 0; i < 20; ++i) densities += "<w>1.25</w>";
  CalibrationInfo renamed;
  readCalibrationInfo(parse("<c><x>5</x><y>" + densities + "</y><z><s><b>1</b><a>2</a><l>3</l></s></z></c>"),
                      renamed);
  EXPECT_EQ(renamed.nOutputLimit, 5);
  EXPECT_EQ(renamed.density[0], 0.5F);
  EXPECT_EQ(renamed.density[20], 1.25F);
  EXPECT_EQ(renamed.lab[0], (CalibrationLab{1.0F, 2.0F, 3.0F}));
}

TEST_F(PermissionSetTest, MissingPositionalNodesRaiseEPointer) {
  CalibrationInfo calibration;
  EXPECT_EQ(comErrorOf([&] { readCalibrationInfo(parse(calibrationXml(20, 21)), calibration); }),
            win::E_POINTER);
  std::string twoComponents = calibrationXml(21, 1);
  twoComponents.replace(twoComponents.find("<b>0</b>"), 8, "");
  EXPECT_EQ(comErrorOf([&] { readCalibrationInfo(parse(twoComponents), calibration); }), win::E_POINTER);
  std::string noLab = calibrationXml(21, 0);
  const std::string emptyLab = "<lab></lab>";
  noLab.replace(noLab.find(emptyLab), emptyLab.size(), "");
  EXPECT_EQ(comErrorOf([&] { readCalibrationInfo(parse(noLab), calibration); }), win::E_POINTER);

  PermissionSet permission;
  const std::string threeChildren = kHead.substr(0, kHead.find("<nModeIndex>"));
  EXPECT_EQ(comErrorOf([&] { readPermissionSet(parse("<P>" + threeChildren + "</P>"), permission); }),
            win::E_POINTER);
  // A broken calibration record inside the tail reaches the caller too.
  EXPECT_EQ(
      comErrorOf([&] {
        readPermission(kHead + "<aCalibrationInfoList>" + calibrationXml(20, 0) + "</aCalibrationInfoList>");
      }),
      win::E_POINTER);

  QualityInfo quality;
  EXPECT_EQ(comErrorOf([&] { readQualityInfo(parse("<Q><a>1</a><b/></Q>"), quality); }), win::E_POINTER);
  EXPECT_EQ(comErrorOf([&] { readQualityInfo(xml::Node(), quality); }), win::E_POINTER);
}

}  // namespace
}  // namespace pelagon::test
