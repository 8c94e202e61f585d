#include <pelagon/model/mode_info.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include <pelagon/platform/com.h>
#include <pelagon/platform/hresult.h>
#include "../support/record_file_tests.h"
#include <pelagon/xmlio/dom_creator.h>

namespace pelagon::test {
namespace {

ModeInfo sampleMode() {
  ModeInfo mode;
  mode.nModeIndex = 12;
  mode.strModeName = "DT2S";
  mode.nInkNum = 8;
  for (std::size_t i = 0; i < mode.nInkIndexList.size(); ++i) {
    mode.nInkIndexList[i] = i < 8 ? static_cast<std::int32_t>(i * 3) : -1;
  }
  mode.nBitsPerPixel = 2;
  mode.nDotType = 1;
  mode.strDotSize = "SML";
  mode.strNozzleMask = "/H1A:1-128/H1B:1-128/\n@PJL SET PLANEALLOCATION=KCMY";
  mode.nPassesPerLine = 4;
  mode.strPJLOption = "SET JOBTYPE = CMYKW";
  mode.flFeedResolutionPerPass = 150.0f;
  mode.nInkVolumeIndex = 3;
  mode.nNozzleMaskCount = 5;
  mode.nEmptyPathLength = 6;
  mode.nAdditionalPrintingTime = 7;
  mode.aUVLampPowerList[0].nForwardPower = 90;
  mode.aUVLampPowerList[0].nBackwardPower = 91;
  mode.aUVLampPowerList[1].nForwardPower = 0;
  mode.aUVLampPowerList[1].nBackwardPower = 255;
  return mode;
}

// The seven positional children of a mode with ink slots 0 .. count-1.
std::string positionalHead(int slots) {
  std::string text =
      "<nModeIndex>1</nModeIndex><strModeName>M</strModeName><nInkNum>8</nInkNum><nInkIndexList>";
  for (int i = 0; i < slots; ++i) {
    text += "<value" + std::to_string(i) + ">" + std::to_string(i) + "</value" + std::to_string(i) + ">";
  }
  return text +
         "</nInkIndexList><nBitsPerPixel>2</nBitsPerPixel><nDotType>1</nDotType><strDotSize>S</strDotSize>";
}

class ModeInfoTest : public RecordTest<&ModeInfoIO::Write, &ModeInfoIO::Read> {
protected:
  std::string uvList(const ModeInfo& mode) {
    const std::string text = written(mode);
    return text.substr(text.find("<aUVLampPowerList"));
  }
};

TEST_F(ModeInfoTest, EveryFieldRoundTrips) {
  EXPECT_EQ(elementRoundTrip(sampleMode()), sampleMode());
}

TEST_F(ModeInfoTest, WrittenElementIsInDocumentOrder) {
  ModeInfo mode;
  mode.nModeIndex = 3;
  mode.strModeName = "DT1S";
  mode.nInkNum = 8;
  mode.nInkIndexList.fill(-1);
  mode.nInkIndexList[0] = 4;
  mode.nBitsPerPixel = 1;
  mode.nDotType = 2;
  mode.strDotSize = "M";
  mode.nInkVolumeIndex = 2;
  mode.strNozzleMask = "/ALL:/";
  mode.nPassesPerLine = 8;
  mode.strPJLOption = "SET JOBTYPE = W";
  mode.flFeedResolutionPerPass = 300.0f;
  std::string slots = "<value0>4</value0>";
  for (int i = 1; i < 24; ++i) slots += "<value" + std::to_string(i) + ">-1</value" + std::to_string(i) + ">";
  EXPECT_EQ(written(mode),
            "<ModeInfo><nModeIndex>3</nModeIndex><strModeName>DT1S</strModeName><nInkNum>8</nInkNum>"
            "<nInkIndexList>" +
                slots +
                "</nInkIndexList><nBitsPerPixel>1</nBitsPerPixel><nDotType>2</nDotType>"
                "<strDotSize>M</strDotSize><nInkVolumeIndex>2</nInkVolumeIndex><strNozzleMask>/ALL:/"
                "</strNozzleMask><nPassesPerLine>8</nPassesPerLine><strPJLOption>SET JOBTYPE = W"
                "</strPJLOption><flFeedResolutionPerPass>300.000</flFeedResolutionPerPass>"
                "<nNozzleMaskCount>0</nNozzleMaskCount><nEmptyPathLength>0</nEmptyPathLength>"
                "<nAdditionalPrintingTime>0</nAdditionalPrintingTime><aUVLampPowerList/></ModeInfo>");
}

TEST_F(ModeInfoTest, UVLampListIsWrittenWholeOnceAnyPowerLeavesItsDefault) {
  ModeInfo mode;
  EXPECT_EQ(uvList(mode), "<aUVLampPowerList/></ModeInfo>");

  mode.aUVLampPowerList[1].nBackwardPower = 80;
  EXPECT_EQ(uvList(mode),
            "<aUVLampPowerList><UVLampPower position=\"0\"><nForwardPower>100</nForwardPower>"
            "<nBackwardPower>100</nBackwardPower></UVLampPower><UVLampPower position=\"1\">"
            "<nForwardPower>100</nForwardPower><nBackwardPower>80</nBackwardPower></UVLampPower>"
            "</aUVLampPowerList></ModeInfo>");

  // A reference moved off 100 must not let powers equal to it vanish: an empty list reads
  // back as 100.
  mode = ModeInfo{};
  mode.aUVLampPowerList[0].reference.set(80);
  mode.aUVLampPowerList[0].nForwardPower = 80;
  mode.aUVLampPowerList[0].nBackwardPower = 80;
  ModeInfo read;
  io_.Read(io_.Write(*document_, document_->node(), mode), read);
  EXPECT_EQ(read.aUVLampPowerList[0].nForwardPower, 80);
  EXPECT_EQ(read.aUVLampPowerList[0].nBackwardPower, 80);
}

TEST_F(ModeInfoTest, CopyingLeavesTheLampReferencesBehind) {
  ModeInfo source = sampleMode();
  source.aUVLampPowerList[0].reference.set(1);
  source.aUVLampPowerList[1].reference.set(2);

  const ModeInfo copy = source;
  EXPECT_EQ(copy, source);
  EXPECT_EQ(copy.aUVLampPowerList[0].reference.value(), 100);
  EXPECT_EQ(copy.aUVLampPowerList[1].reference.value(), 100);
  EXPECT_EQ(copy.aUVLampPowerList[1].nBackwardPower, 255);

  ModeInfo target;
  target.aUVLampPowerList[1].reference.set(60);
  target = source;
  EXPECT_EQ(target.aUVLampPowerList[0].reference.value(), 100);
  EXPECT_EQ(target.aUVLampPowerList[1].reference.value(), 60);
  EXPECT_EQ(target.strNozzleMask, source.strNozzleMask);

  ModeInfo moved = std::move(source);
  EXPECT_EQ(moved.aUVLampPowerList[0].reference.value(), 100);
}

TEST_F(ModeInfoTest, HeadIsPositionalAndTailIsByName) {
  ModeInfo forward, reversed;
  io_.Read(parse("<ModeInfo>" + positionalHead(24) +
                         "<nInkVolumeIndex>4</nInkVolumeIndex><strNozzleMask>/A/</strNozzleMask>"
                         "<nPassesPerLine>6</nPassesPerLine><strPJLOption>P</strPJLOption>"
                         "<flFeedResolutionPerPass>150.000</flFeedResolutionPerPass>"
                         "<nNozzleMaskCount>2</nNozzleMaskCount><nEmptyPathLength>3</nEmptyPathLength>"
                         "<nAdditionalPrintingTime>9</nAdditionalPrintingTime></ModeInfo>"),
                   forward);
  io_.Read(parse("<Other>" + positionalHead(24) +
                         "<nAdditionalPrintingTime>9</nAdditionalPrintingTime><unknown>1</unknown>"
                         "<nEmptyPathLength>3</nEmptyPathLength><nNozzleMaskCount>2</nNozzleMaskCount>"
                         "<flFeedResolutionPerPass>150.000</flFeedResolutionPerPass><nninkvolumeindex>8"
                         "</nninkvolumeindex><strPJLOption>P</strPJLOption><nPassesPerLine>6</nPassesPerLine>"
                         "<strNozzleMask>/A/</strNozzleMask><nInkVolumeIndex>4</nInkVolumeIndex></Other>"),
                   reversed);
  EXPECT_EQ(forward, reversed);
  EXPECT_EQ(forward.nInkVolumeIndex, 4);
  EXPECT_EQ(forward.flFeedResolutionPerPass, 150.0f);
  EXPECT_EQ(forward.nAdditionalPrintingTime, 9);

  // Positional children are not recognised by name: swapping two swaps the values.
  std::string head = positionalHead(24);
  const std::string first = "<nModeIndex>1</nModeIndex>";
  const std::string second = "<strModeName>M</strModeName>";
  ASSERT_EQ(head.find(first + second), 0u);
  head.replace(0, first.size() + second.size(), second + first);
  ModeInfo swapped;
  io_.Read(parse("<ModeInfo>" + head + "</ModeInfo>"), swapped);
  EXPECT_EQ(swapped.nModeIndex, 0);  // "M" as an integer
  EXPECT_EQ(swapped.strModeName, "1");
}

TEST_F(ModeInfoTest, AbsentTailFieldsKeepTheirValuesExceptTheNozzleMaskCount) {
  ModeInfo read;
  read.nNozzleMaskCount = 77;
  read.nPassesPerLine = 5;
  read.nEmptyPathLength = 8;
  io_.Read(parse("<ModeInfo>" + positionalHead(25) + "</ModeInfo>"), read);
  EXPECT_EQ(read.nNozzleMaskCount, 0);
  EXPECT_EQ(read.nPassesPerLine, 5);
  EXPECT_EQ(read.nEmptyPathLength, 8);
  EXPECT_EQ(read.nInkVolumeIndex, -1);
  EXPECT_EQ(read.flFeedResolutionPerPass, 180.0f);
  // The 25th slot child is ignored.
  EXPECT_EQ(read.nInkIndexList[23], 23);
  EXPECT_EQ(read.nBitsPerPixel, 2);
  EXPECT_EQ(read.aUVLampPowerList, ModeInfo{}.aUVLampPowerList);
}

TEST_F(ModeInfoTest, UVLampEntriesGoToTheirPositionAndBadOnesAreSkipped) {
  ModeInfo read;
  read.aUVLampPowerList[1].nForwardPower = 40;
  io_.Read(parse("<ModeInfo>" + positionalHead(24) +
                         "<aUVLampPowerList>"
                         "<UVLampPower position=\"2\"><nForwardPower>1</nForwardPower></UVLampPower>"
                         "<UVLampPower position=\"-1\"><nForwardPower>1</nForwardPower></UVLampPower>"
                         "<UVLampPower><nForwardPower>1</nForwardPower></UVLampPower>"
                         "<!-- note -->"
                         "<UVLampPower position=\"0\"><nForwardPower>10</nForwardPower>"
                         "<nBackwardPower>11</nBackwardPower></UVLampPower>"
                         "<UVLampPower position=\"0\"><nForwardPower>20</nForwardPower></UVLampPower>"
                         "<UVLampPower position=\"1\"><nBackwardPower>80</nBackwardPower></UVLampPower>"
                         "</aUVLampPowerList></ModeInfo>"),
                   read);
  // The later position-0 entry wins whole: its missing backward power starts from 100.
  EXPECT_EQ(read.aUVLampPowerList[0].nForwardPower, 20);
  EXPECT_EQ(read.aUVLampPowerList[0].nBackwardPower, 100);
  // An entry's missing power comes from the scratch entry (100), not from the target.
  EXPECT_EQ(read.aUVLampPowerList[1].nForwardPower, 100);
  EXPECT_EQ(read.aUVLampPowerList[1].nBackwardPower, 80);
}

TEST_F(ModeInfoTest, MissingPositionalChildrenRaiseEPointer) {
  ModeInfo read;
  EXPECT_EQ(
      comErrorOf([&] { io_.Read(parse("<ModeInfo>" + positionalHead(23) + "</ModeInfo>"), read); }),
      win::E_POINTER);
  const std::string head = positionalHead(24);
  const std::string sixChildren = head.substr(0, head.find("<strDotSize>"));
  EXPECT_EQ(comErrorOf([&] { io_.Read(parse("<ModeInfo>" + sixChildren + "</ModeInfo>"), read); }),
            win::E_POINTER);
  EXPECT_EQ(comErrorOf([&] { io_.Read(parse("<ModeInfo/>"), read); }), win::E_POINTER);
}

struct ModeInfoFile {
  using Fixture = ModeInfoTest;
  static constexpr bool kStrictSave = true;
  static ModeInfo sample() { return sampleMode(); }
  static std::string brokenRecord() { return "<ModeInfo><a>1</a></ModeInfo>"; }
  static std::string otherDocument() { return std::string(kDeclaration) + "<Other><ModeInfo/></Other>"; }
};
INSTANTIATE_TYPED_TEST_SUITE_P(ModeInfo, RecordFileTest, ModeInfoFile);

}  // namespace
}  // namespace pelagon::test
