#include <pelagon/model/v_control_point.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include <pelagon/platform/com.h>
#include <pelagon/platform/hresult.h>
#include "../support/record_file_tests.h"
#include <pelagon/xmlio/dom_creator.h>

namespace pelagon::test {
namespace {

VControlPoint samplePoint() {
  VControlPoint point;
  point.nVControlIndex = 102180;
  point.dSmallStart = 0.011;
  point.dSmallPeak = 0.125;
  point.dSmallMax = 0.25;
  point.dSmallEnd = 0.5;
  point.dSmallEndMax = 0.715;
  point.dMediumStart = 0.102;
  point.dMediumPeak = 0.333;
  point.dMediumMax = 0.45;
  point.dMediumEnd = 0.6;
  point.dMediumEndMax = 0.75;
  point.dLargeStart = 0.2;
  point.dLargePeak = 0.8;
  point.dLargeMax = 0.9;
  point.dLargeEnd = 0.999;
  point.dLargeEndMax = 1.0;
  return point;
}

using VControlPointTest =
    RecordTest<&VControlPointIO::Write, &VControlPointIO::Read>;

TEST_F(VControlPointTest, WritesTheIndexAndFifteenRealsInTableOrder) {
  xml::DocumentPtr document = xml::Document::Create();
  xml::Node parent = document->node().appendChild(document->createElement("aVControlPointList"));
  xml::Node element = io_.Write(*document, parent, samplePoint());
  EXPECT_EQ(element.parent(), parent);
  EXPECT_EQ(document->saveToString(),
            "<aVControlPointList><VControlPoint><nVControlIndex>102180</nVControlIndex>"
            "<dSmallStart>0.011</dSmallStart><dSmallPeak>0.125</dSmallPeak><dSmallMax>0.250</dSmallMax>"
            "<dSmallEnd>0.500</dSmallEnd><dSmallEndMax>0.715</dSmallEndMax>"
            "<dMediumStart>0.102</dMediumStart><dMediumPeak>0.333</dMediumPeak><dMediumMax>0.450</dMediumMax>"
            "<dMediumEnd>0.600</dMediumEnd><dMediumEndMax>0.750</dMediumEndMax>"
            "<dLargeStart>0.200</dLargeStart><dLargePeak>0.800</dLargePeak><dLargeMax>0.900</dLargeMax>"
            "<dLargeEnd>0.999</dLargeEnd><dLargeEndMax>1.000</dLargeEndMax></VControlPoint>"
            "</aVControlPointList>");
}

TEST_F(VControlPointTest, RoundTripKeepsThreeDecimals) {
  EXPECT_EQ(roundTrip(samplePoint()), samplePoint());

  VControlPoint fine;
  fine.dMediumPeak = 0.71549;
  fine.dLargeEndMax = -2.0006;
  const VControlPoint read = roundTrip(fine);
  EXPECT_EQ(read.dMediumPeak, 0.715);
  EXPECT_EQ(read.dLargeEndMax, -2.001);
}

TEST_F(VControlPointTest, ReadsEveryFieldByNameInAnyOrder) {
  // Reverse order, an unknown child, and the element's own name differs.
  VControlPoint point;
  io_.Read(parse("<Other><dLargeEndMax>1.000</dLargeEndMax><dLargeEnd>0.999</dLargeEnd>"
                              "<dLargeMax>0.900</dLargeMax><dLargePeak>0.800</dLargePeak>"
                              "<dLargeStart>0.200</dLargeStart><dMediumEndMax>0.750</dMediumEndMax>"
                              "<dMediumEnd>0.600</dMediumEnd><dMediumMax>0.450</dMediumMax>"
                              "<dMediumPeak>0.333</dMediumPeak><dMediumStart>0.102</dMediumStart>"
                              "<unknown>5</unknown><dSmallEndMax>0.715</dSmallEndMax>"
                              "<dSmallEnd>0.500</dSmallEnd><dSmallMax>0.250</dSmallMax>"
                              "<dSmallPeak>0.125</dSmallPeak><dSmallStart>0.011</dSmallStart>"
                              "<nVControlIndex>102180</nVControlIndex></Other>"),
                        point);
  EXPECT_EQ(point, samplePoint());
}

TEST_F(VControlPointTest, AbsentFieldsKeepTheirValuesAndRepeatedOnesTakeTheLast) {
  VControlPoint fresh;
  io_.Read(parse("<VControlPoint><nVControlIndex>1010</nVControlIndex></VControlPoint>"), fresh);
  VControlPoint expected;
  expected.nVControlIndex = 1010;
  EXPECT_EQ(fresh, expected);

  VControlPoint filled = samplePoint();
  io_.Read(parse("<VControlPoint><dSmallPeak>0.1</dSmallPeak><dsmallpeak>0.9</dsmallpeak>"
                              "<dSmallPeak>0.2</dSmallPeak><nVControlIndex>x</nVControlIndex>"
                              "<dLargeMax>0.3abc</dLargeMax></VControlPoint>"),
                        filled);
  expected = samplePoint();
  expected.dSmallPeak = 0.2;  // names match case-sensitively
  expected.nVControlIndex = 0;
  expected.dLargeMax = 0.3;
  EXPECT_EQ(filled, expected);
}

TEST_F(VControlPointTest, ANullElementRaisesEPointer) {
  VControlPoint point;
  EXPECT_EQ(comErrorOf([&] { io_.Read(xml::Node(), point); }), win::E_POINTER);
}

// The lenient pair; the reader looks for a point anywhere and raises without one.
struct VControlPointFile {
  using Fixture = VControlPointTest;
  static constexpr bool kStrictSave = false;
  static constexpr bool kNoRecordRaises = true;
  static VControlPoint sample() { return samplePoint(); }
  static std::string otherDocument() { return "<root><vcontrolpoint/></root>"; }
};
INSTANTIATE_TYPED_TEST_SUITE_P(VControlPoint, RecordFileTest, VControlPointFile);

using VControlPointFileTest = VControlPointTest;

TEST_F(VControlPointFileTest, ReadsTheFirstPointAnywhereInTheDocument) {
  const std::string path = dir_.file("nested.xml");
  writeFile(path,
            "<root><list><VControlPoint><nVControlIndex>7</nVControlIndex></VControlPoint></list>"
            "<VControlPoint><nVControlIndex>8</nVControlIndex></VControlPoint></root>");
  VControlPoint read;
  EXPECT_TRUE(io_.ReadRecordFile(path, read));
  EXPECT_EQ(read.nVControlIndex, 7);
}

}  // namespace
}  // namespace pelagon::test
