#include <pelagon/model/screen_option.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string_view>
#include <vector>

#include <pelagon/platform/com.h>
#include "../support/record_fixture.h"
#include <pelagon/xmlio/dom_creator.h>

namespace pelagon::test {
namespace {

std::vector<float> angles(const ScreenOption& option) {
  return {option.flDegrees.begin(), option.flDegrees.end()};
}

ScreenOption withAngles(std::initializer_list<float> values) {
  ScreenOption option;
  option.flDegrees = win::GrowableArray<float>(values);
  return option;
}

using ScreenOptionTest = RecordFixture;

TEST_F(ScreenOptionTest, WritesTheFieldsAndIndexNamedAngles) {
  ScreenOption option = withAngles({15.0F, 45.5F, 90.125F});
  option.bUseCustomSetting = true;
  option.nLineCount = 150;
  option.eDotShape = -3;
  xml::DocumentPtr document = xml::Document::Create();
  xml::Node parent = document->node().appendChild(document->createElement("PermissionSet"));
  appendScreenOption(parent, option);
  EXPECT_EQ(document->saveToString(),
            "<PermissionSet><screenOption><bUseCustomSetting>true</bUseCustomSetting>"
            "<nLineCount>150</nLineCount><eDotShape>-3</eDotShape><flDegrees>"
            "<flDegree0>15.000</flDegree0><flDegree1>45.500</flDegree1><flDegree2>90.125</flDegree2>"
            "</flDegrees></screenOption></PermissionSet>");

  ScreenOption read;
  readScreenOption(parse(document->saveToString()).firstChild(), read);
  EXPECT_EQ(read, option);
}

TEST_F(ScreenOptionTest, ANewRecordIsWrittenWithItsDefaults) {
  xml::DocumentPtr document = xml::Document::Create();
  appendScreenOption(document->node(), ScreenOption{});
  EXPECT_EQ(document->saveToString(),
            "<screenOption><bUseCustomSetting>false</bUseCustomSetting><nLineCount>30</nLineCount>"
            "<eDotShape>1</eDotShape><flDegrees/></screenOption>");
}

TEST_F(ScreenOptionTest, ReadsFieldsByNameAndAnglesWhateverTheirNames) {
  ScreenOption option = withAngles({1.0F, 2.0F, 3.0F, 4.0F, 5.0F});
  readScreenOption(parse("<screenOption><flDegrees><flDegree0>75</flDegree0><flDegree0>15.5</flDegree0>"
                         "<angle>bad</angle><x>1e300</x></flDegrees><extra>1</extra>"
                         "<eDotShape>4</eDotShape><nLineCount>85</nLineCount>"
                         "<bUseCustomSetting>true</bUseCustomSetting></screenOption>"),
                   option);
  EXPECT_TRUE(option.bUseCustomSetting);
  EXPECT_EQ(option.nLineCount, 85);
  EXPECT_EQ(option.eDotShape, 4);
  // The earlier five angles are replaced; a non-number reads as 0 and an out-of-range real
  // saturates instead of overflowing the float.
  ASSERT_EQ(option.flDegrees.size(), 4);
  EXPECT_EQ(option.flDegrees[0], 75.0F);
  EXPECT_EQ(option.flDegrees[1], 15.5F);
  EXPECT_EQ(option.flDegrees[2], 0.0F);
  EXPECT_TRUE(std::isinf(option.flDegrees[3]));
}

TEST_F(ScreenOptionTest, AnEmptyAngleListEmptiesAndAMissingOneKeeps) {
  ScreenOption option = withAngles({30.0F, 45.0F});
  readScreenOption(parse("<screenOption><nLineCount>60</nLineCount></screenOption>"), option);
  EXPECT_EQ(angles(option), (std::vector<float>{30.0F, 45.0F}));
  EXPECT_EQ(option.nLineCount, 60);
  EXPECT_FALSE(option.bUseCustomSetting);
  EXPECT_EQ(option.eDotShape, 1);

  readScreenOption(parse("<screenOption><flDegrees/></screenOption>"), option);
  EXPECT_TRUE(option.flDegrees.empty());
}

TEST_F(ScreenOptionTest, ANullElementRaisesEPointer) {
  ScreenOption option;
  try {
    readScreenOption(xml::Node(), option);
    FAIL() << "a null element was read";
  } catch (const win::_com_error& error) {
    EXPECT_EQ(error.Error(), win::E_POINTER);
  }
}

TEST(ScreenAngles, DefaultSetsExistForFourAndSixChannelsOnly) {
  const auto four = defaultScreenAngles(4);
  EXPECT_EQ(std::vector<float>(four.begin(), four.end()), (std::vector<float>{30, 45, 90, 60}));
  const auto six = defaultScreenAngles(6);
  EXPECT_EQ(std::vector<float>(six.begin(), six.end()), (std::vector<float>{15, 45, 90, 75, 45, 45}));
  for (int count : {-4, 0, 1, 3, 5, 7}) EXPECT_TRUE(defaultScreenAngles(count).empty()) << count;
}

TEST(ScreenAngles, FittingReplacesAMisfitWithTheDefaultSet) {
  ScreenOption two = withAngles({10.0F, 20.0F});
  fitScreenAngles(two, 4);
  EXPECT_EQ(angles(two), (std::vector<float>{30, 45, 90, 60}));

  ScreenOption eight = withAngles({1, 2, 3, 4, 5, 6, 7, 8});
  fitScreenAngles(eight, 6);
  EXPECT_EQ(angles(eight), (std::vector<float>{15, 45, 90, 75, 45, 45}));

  ScreenOption fitting = withAngles({1.0F, 2.0F, 3.0F, 4.0F});
  fitScreenAngles(fitting, 4);
  EXPECT_EQ(angles(fitting), (std::vector<float>{1, 2, 3, 4}));
}

TEST(ScreenAngles, FittingOtherCountsCutsOrPadsWithZero) {
  ScreenOption longer = withAngles({1.0F, 2.0F, 3.0F, 4.0F, 5.0F});
  fitScreenAngles(longer, 3);
  EXPECT_EQ(angles(longer), (std::vector<float>{1, 2, 3}));

  ScreenOption shorter = withAngles({7.5F});
  fitScreenAngles(shorter, 3);
  EXPECT_EQ(angles(shorter), (std::vector<float>{7.5F, 0, 0}));

  fitScreenAngles(shorter, 0);
  EXPECT_TRUE(shorter.flDegrees.empty());

  ScreenOption untouched = withAngles({7.5F});
  fitScreenAngles(untouched, -1);
  EXPECT_EQ(angles(untouched), (std::vector<float>{7.5F}));
}

}  // namespace
}  // namespace pelagon::test
