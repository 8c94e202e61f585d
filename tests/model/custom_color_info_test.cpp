#include <pelagon/model/custom_color_info.h>

#include <gtest/gtest.h>

#include <string_view>

#include <pelagon/platform/com.h>
#include <pelagon/platform/hresult.h>
#include "../support/record_fixture.h"
#include <pelagon/xmlio/dom_creator.h>

namespace pelagon::test {
namespace {

using CustomColorInfoTest = RecordFixture;

// ---- UV lamp power ----

TEST_F(CustomColorInfoTest, UVLampPowerIsWrittenUnderItsParentAndReadsBack) {
  UVLampPower written;
  written.nForwardPower = 90;
  written.nBackwardPower = -5;
  const xml::Node element = appendUVLampPower(document_->node(), written, 1);
  EXPECT_EQ(element, document_->documentElement());
  EXPECT_EQ(document_->saveToString(),
            "<UVLampPower position=\"1\"><nForwardPower>90</nForwardPower>"
            "<nBackwardPower>-5</nBackwardPower></UVLampPower>");

  UVLampPower read;
  std::int32_t position = -7;
  ASSERT_TRUE(readUVLampPower(element, read, position));
  EXPECT_EQ(position, 1);
  EXPECT_EQ(read, written);
}

TEST_F(CustomColorInfoTest, UVLampPowerOutsideTheTwoPositionsIsRejectedUntouched) {
  for (std::string_view text :
       {"<UVLampPower position=\"2\"><nForwardPower>1</nForwardPower></UVLampPower>",
        "<UVLampPower position=\"-1\"><nForwardPower>1</nForwardPower></UVLampPower>",
        "<UVLampPower position=\"4294967296\"><nForwardPower>1</nForwardPower></UVLampPower>",
        "<UVLampPower><nForwardPower>1</nForwardPower></UVLampPower>",
        "<UVLampPower Position=\"0\"><nForwardPower>1</nForwardPower></UVLampPower>"}) {
    SCOPED_TRACE(text);
    UVLampPower entry;
    entry.nForwardPower = 55;
    std::int32_t position = 9;
    EXPECT_FALSE(readUVLampPower(parse(text), entry, position));
    EXPECT_EQ(entry.nForwardPower, 55);
    EXPECT_EQ(entry.nBackwardPower, 100);
    EXPECT_EQ(position, 9);
  }
}

TEST_F(CustomColorInfoTest, UVLampPowersAreTakenByNameAndAbsentOnesKeepTheirValue) {
  UVLampPower entry;
  entry.nForwardPower = 33;
  std::int32_t position = 0;
  ASSERT_TRUE(readUVLampPower(parse("<UVLampPower position=\"1\"><nBackwardPower>80</nBackwardPower>"
                                    "</UVLampPower>"),
                              entry, position));
  EXPECT_EQ(position, 1);
  EXPECT_EQ(entry.nForwardPower, 33);
  EXPECT_EQ(entry.nBackwardPower, 80);

  // Any order, unknown and wrongly cased names skipped, the later of two winning.
  ASSERT_TRUE(readUVLampPower(parse("<UVLampPower position=\"0\"><nBackwardPower>1</nBackwardPower>"
                                    "<nforwardpower>2</nforwardpower><x>3</x><nForwardPower>4</nForwardPower>"
                                    "<nBackwardPower>5</nBackwardPower></UVLampPower>"),
                              entry, position));
  EXPECT_EQ(position, 0);
  EXPECT_EQ(entry.nForwardPower, 4);
  EXPECT_EQ(entry.nBackwardPower, 5);
}

// ---- Custom colour ----

TEST_F(CustomColorInfoTest, CMYKRecipeIsWrittenAsTypedColourAndReadsBack) {
  CustomColorInfo written;
  written.strColorName = "Spot Blue";
  written.nColorSpace = 2;
  written.channels = {0, 100, 255, 30, 0, 0};
  written.strMatchLibName = "Library A";
  const xml::Node element = appendCustomColorInfo(document_->node(), written);
  EXPECT_EQ(element, document_->documentElement());
  EXPECT_EQ(document_->saveToString(),
            "<CustomColorInfo><strColorName>Spot Blue</strColorName><CMYKColor><C VALUE=\"0\"/>"
            "<M VALUE=\"100\"/><Y VALUE=\"255\"/><K VALUE=\"30\"/></CMYKColor>"
            "<strMatchLibName>Library A</strMatchLibName></CustomColorInfo>");

  CustomColorInfo read;
  read.channels[4] = 9;  // a CMYK recipe leaves orange and green alone
  readCustomColorInfo(element, read);
  written.channels[4] = 9;
  EXPECT_EQ(read, written);
}

TEST_F(CustomColorInfoTest, CMYKOGRecipeRoundTripsAllSixChannels) {
  CustomColorInfo written;
  written.strColorName = "Orange 021";
  written.nColorSpace = 4;
  written.channels = {1, 2, 3, 4, 254, 255};
  written.strMatchLibName = "Lib";
  const xml::Node element = appendCustomColorInfo(document_->node(), written);
  EXPECT_TRUE(element.firstElementByTagName("CMYKOGColor"));

  CustomColorInfo read;
  readCustomColorInfo(element, read);
  EXPECT_EQ(read, written);
}

TEST_F(CustomColorInfoTest, NoRecipeWritesNoColourAndKeepsTheLibraryName) {
  for (std::int32_t code : {0, 1, 3, 5, -2}) {
    SCOPED_TRACE(code);
    CustomColorInfo written;
    written.strColorName = "Plain";
    written.nColorSpace = code;
    written.channels = {5, 6, 7, 8, 9, 10};
    written.strMatchLibName = "Lib";
    xml::DocumentPtr document = xml::Document::Create();
    appendCustomColorInfo(document->node(), written);
    EXPECT_EQ(document->saveToString(),
              "<CustomColorInfo><strColorName>Plain</strColorName>"
              "<strMatchLibName>Lib</strMatchLibName></CustomColorInfo>");

    // The code and channels have no element to come from, so they keep the target's values.
    CustomColorInfo read;
    readCustomColorInfo(document->documentElement(), read);
    EXPECT_EQ(read.strColorName, "Plain");
    EXPECT_EQ(read.strMatchLibName, "Lib");
    EXPECT_EQ(read.nColorSpace, 0);
    EXPECT_EQ(read.channels, (std::array<std::uint8_t, 6>{}));
  }
}

TEST_F(CustomColorInfoTest, ReadingIsPositionalAroundTheRecipe) {
  CustomColorInfo read;
  read.nColorSpace = 4;
  read.strMatchLibName = "kept";
  // Names of the first and third children are not compared.
  readCustomColorInfo(parse("<X><a>Name</a><CMYKColor><K VALUE=\"7\"/><C VALUE=\"300\"/></CMYKColor>"
                            "<b>Lib</b><c>ignored</c></X>"),
                      read);
  EXPECT_EQ(read.strColorName, "Name");
  EXPECT_EQ(read.nColorSpace, 2);
  EXPECT_EQ(read.channels[0], 44);
  EXPECT_EQ(read.channels[3], 7);
  EXPECT_EQ(read.strMatchLibName, "Lib");

  // A second child that is neither a recipe nor the library name ends the read; names are
  // compared exactly.
  read = CustomColorInfo{};
  read.strMatchLibName = "kept";
  for (std::string_view text : {"<X><a>N</a><LabColor><L VALUE=\"5\"/></LabColor><b>Lib</b></X>",
                                "<X><a>N</a><cmykcolor><C VALUE=\"5\"/></cmykcolor><b>Lib</b></X>",
                                "<X><a>N</a><strmatchlibname>Lib</strmatchlibname></X>"}) {
    SCOPED_TRACE(text);
    readCustomColorInfo(parse(text), read);
    EXPECT_EQ(read.strColorName, "N");
    EXPECT_EQ(read.nColorSpace, 0);
    EXPECT_EQ(read.strMatchLibName, "kept");
  }
}

TEST_F(CustomColorInfoTest, MissingPositionalChildrenRaiseEPointer) {
  CustomColorInfo read;
  EXPECT_EQ(comErrorOf([&] { readCustomColorInfo(parse("<X/>"), read); }), win::E_POINTER);
  EXPECT_EQ(comErrorOf([&] { readCustomColorInfo(parse("<X><a>N</a></X>"), read); }), win::E_POINTER);
  EXPECT_EQ(comErrorOf([&] {
              readCustomColorInfo(parse("<X><a>N</a><CMYKOGColor><O VALUE=\"1\"/></CMYKOGColor></X>"), read);
            }),
            win::E_POINTER);
  // A channel without its value is the colour reader's failure, passed on.
  EXPECT_EQ(comErrorOf([&] {
              readCustomColorInfo(parse("<X><a>N</a><CMYKColor><C/></CMYKColor><b>L</b></X>"), read);
            }),
            win::E_POINTER);
}

}  // namespace
}  // namespace pelagon::test
