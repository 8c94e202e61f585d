#include <pelagon/model/resolution_info.h>

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <string_view>

#include <pelagon/platform/com.h>
#include <pelagon/platform/hresult.h>
#include "../support/record_file_tests.h"
#include <pelagon/xmlio/dom_creator.h>

namespace pelagon::test {
namespace {

std::string englishOnly(std::string_view name, std::string_view text) {
  return "<" + std::string(name) + "><English>" + std::string(text) + "</English></" + std::string(name) +
         ">";
}

ResolutionInfo resolution600x900() {
  ResolutionInfo resolution;
  resolution.nResolutionIndex = 104;
  for (std::size_t i = 0; i < resolution.strResolutionName.size(); ++i) {
    resolution.strResolutionName[i] = "600 x 900 dpi #" + std::to_string(i);
  }
  resolution.flScanResolution = 600.25f;
  resolution.flFeedResolution = 900.0f;
  return resolution;
}

PatternInfo cyanPattern() { return PatternInfo{5, 128, 64, "FM_C_2.dpf"}; }

class ResolutionRecordTest : public RecordFixture {
protected:
  ResolutionInfo readResolution(std::string_view body, ResolutionInfo resolution = {}) {
    return readBody(io_, &ResolutionInfoIO::Read, "ResolutionInfo", body, resolution);
  }
  PatternInfo readPattern(std::string_view body) {
    return readBody(patternIo_, &PatternInfoIO::Read, "PatternInfo", body);
  }

  ResolutionInfoIO io_;
  PatternInfoIO patternIo_;
};

TEST_F(ResolutionRecordTest, BothRecordsRoundTripEveryField) {
  xml::DocumentPtr document = xml::Document::Create();
  const ResolutionInfo resolution = resolution600x900();
  ResolutionInfo readBack;
  io_.Read(io_.Write(*document, document->node(), resolution), readBack);
  EXPECT_EQ(readBack, resolution);

  xml::DocumentPtr patternDocument = xml::Document::Create();
  const PatternInfo pattern = cyanPattern();
  PatternInfo patternBack;
  patternIo_.Read(patternIo_.Write(*patternDocument, patternDocument->node(), pattern),
                             patternBack);
  EXPECT_EQ(patternBack, pattern);
}

TEST_F(ResolutionRecordTest, TheSmallestIndexIsWrittenAndReadBackUnchanged) {
  ResolutionInfo last;
  last.nResolutionIndex = INT_MIN;
  last.strResolutionName.fill("600 x 600 dpi");
  last.flScanResolution = 90.0f;
  last.flFeedResolution = 1200.0f;
  xml::DocumentPtr document = xml::Document::Create();
  const xml::Node element = io_.Write(*document, document->node(), last);

  EXPECT_EQ(document->saveToString(), "<ResolutionInfo><nResolutionIndex>-2147483648</nResolutionIndex>" +
                                          localizedXml("strResolutionName", "600 x 600 dpi") +
                                          "<flScanResolution>90.000</flScanResolution>"
                                          "<flFeedResolution>1200.000</flFeedResolution></ResolutionInfo>");

  ResolutionInfo read;
  io_.Read(element, read);
  EXPECT_EQ(read, last);
}

TEST_F(ResolutionRecordTest, ResolutionChildrenAreReadByPositionOnly) {
  const std::string name = englishOnly("strResolutionName", "720 dpi");
  const ResolutionInfo fractions = readResolution("<nResolutionIndex>7</nResolutionIndex>" + name +
                                                  "<flScanResolution>599.9</flScanResolution>"
                                                  "<flFeedResolution>720.5dpi</flFeedResolution>");
  EXPECT_EQ(fractions.flScanResolution, 599.9f);
  EXPECT_EQ(fractions.flFeedResolution, 720.5f);

  // Names are not compared: the exchanged elements exchange the values, a fifth is ignored.
  const ResolutionInfo exchanged = readResolution(
      "<nResolutionIndex>7</nResolutionIndex>" + name +
      "<flFeedResolution>900.000</flFeedResolution><flScanResolution>600.000</flScanResolution>"
      "<nResolutionIndex>8</nResolutionIndex>");
  EXPECT_EQ(exchanged.nResolutionIndex, 7);
  EXPECT_EQ(exchanged.flScanResolution, 900.0f);
  EXPECT_EQ(exchanged.flFeedResolution, 600.0f);

  ResolutionInfo prefilled;
  prefilled.strResolutionName.fill("kept");
  const ResolutionInfo partialName = readResolution("<a>1</a>" + name + "<b>1</b><c>1</c>", prefilled);
  EXPECT_EQ(partialName.strResolutionName[0], "720 dpi");
  EXPECT_EQ(partialName.strResolutionName[12], "kept");

  EXPECT_EQ(comErrorOf([&] { readResolution("<a>1</a>" + name + "<b>1</b>"); }), win::E_POINTER);
}

TEST_F(ResolutionRecordTest, PatternChildrenAreReadByPositionOnly) {
  xml::DocumentPtr document = xml::Document::Create();
  patternIo_.Write(*document, document->node(), cyanPattern());
  EXPECT_EQ(document->saveToString(),
            "<PatternInfo><nFMPatternIndex>5</nFMPatternIndex><nScanPixelSize>128</nScanPixelSize>"
            "<nFeedPixelSize>64</nFeedPixelSize><strPatternFile>FM_C_2.dpf</strPatternFile></PatternInfo>");

  EXPECT_EQ(readPattern("<nFeedPixelSize>1</nFeedPixelSize><w>2</w><h>3</h><f>a.dpf</f>"
                        "<strPatternFile>b.dpf</strPatternFile>"),
            (PatternInfo{1, 2, 3, "a.dpf"}));
  EXPECT_EQ(comErrorOf([&] { readPattern("<a>1</a><b>2</b><c>3</c>"); }), win::E_POINTER);
}

using ResolutionTest =
    RecordTest<&ResolutionInfoIO::Write, &ResolutionInfoIO::Read>;
using PatternTest = RecordTest<&PatternInfoIO::Write, &PatternInfoIO::Read>;

// Both files are strict, and each reader looks for its own element only: the other record's
// file reads nothing.
template <typename Test, auto makeSample, typename OtherTest, auto makeOther>
struct StrictFile {
  using Fixture = Test;
  static constexpr bool kStrictSave = true;
  static auto sample() { return makeSample(); }
  static std::string otherDocument() { return std::string(kDeclaration) + OtherTest::written(makeOther()); }
};
using ResolutionFiles =
    ::testing::Types<StrictFile<ResolutionTest, &resolution600x900, PatternTest, &cyanPattern>,
                     StrictFile<PatternTest, &cyanPattern, ResolutionTest, &resolution600x900>>;
INSTANTIATE_TYPED_TEST_SUITE_P(Resolution, RecordFileTest, ResolutionFiles);

}  // namespace
}  // namespace pelagon::test
