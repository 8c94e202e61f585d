#include <pelagon/model/ink_volume_info.h>

#include <gtest/gtest.h>

#include <string>

#include <pelagon/platform/com.h>
#include "../support/record_fixture.h"
#include <pelagon/xmlio/dom_creator.h>

namespace pelagon::test {
namespace {

class InkVolumeInfoTest : public RecordFixture {
protected:
  static std::string saved(xml::Node element, xml::DocumentPtr& document) {
    document->node().appendChild(element);
    return document->saveToString();
  }
};

InkVolumeInfo sampleInkVolume() {
  InkVolumeInfo info;
  info.nInkVolumeIndex = 1011;
  info.astrInkVolumeList = {"10.81,21.35,38.94", "7.50,14.00,28.10", "", "3.3"};
  return info;
}

PrintChartFileInfoSet samplePrintChart() {
  return {7, "CMYK Calibration 84.ps", "CMYK Ink Limit 1.0.ps", "Test \xC3\xA9 Print.ps"};
}

TEST_F(InkVolumeInfoTest, WritesTheFieldsInTheirFixedOrder) {
  auto document = xml::Document::Create();
  InkVolumeInfo volume;
  volume.nInkVolumeIndex = -3;
  volume.astrInkVolumeList = {"10.81,21.35,38.94", ""};
  EXPECT_EQ(saved(appendInkVolumeInfo(document->node(), volume), document),
            "<InkVolumeInfo><nInkVolumeIndex>-3</nInkVolumeIndex><astrInkVolumeList>"
            "<strInkVolume_pl>10.81,21.35,38.94</strInkVolume_pl><strInkVolume_pl></strInkVolume_pl>"
            "</astrInkVolumeList></InkVolumeInfo>");

  document = xml::Document::Create();
  EXPECT_EQ(saved(appendPrintChartFileInfoSet(document->node(), {2, "a.ps", "b.ps", ""}), document),
            "<PrintChartFileInfoSet><nIndex>2</nIndex><strCalibrationFileName>a.ps</strCalibrationFileName>"
            "<strInkLimitFileName>b.ps</strInkLimitFileName><strTestPrintFileName></strTestPrintFileName>"
            "</PrintChartFileInfoSet>");

  document = xml::Document::Create();
  EXPECT_EQ(saved(appendInkVolumeInfoList(document->node(), {}), document), "<aInkVolumeInfoList/>");
}

TEST_F(InkVolumeInfoTest, ListsRoundTripInOrder) {
  auto document = xml::Document::Create();
  InkVolumeInfo second;
  second.nInkVolumeIndex = 1;
  const win::GrowableArray<InkVolumeInfo> volumes{sampleInkVolume(), second, sampleInkVolume()};
  const win::GrowableArray<PrintChartFileInfoSet> charts{samplePrintChart(), {}, {-1, "x", "y", "z"}};
  xml::Node root = document->node().appendElement("DeviceSeries");
  EXPECT_EQ(appendInkVolumeInfoList(root, volumes).name(), "aInkVolumeInfoList");
  EXPECT_EQ(appendPrintChartFileInfoSetList(root, charts).name(), "aPrintChartFileInfoSetList");
  const xml::Node reloaded = parse(document->saveToString());

  win::GrowableArray<InkVolumeInfo> readVolumes;
  win::GrowableArray<PrintChartFileInfoSet> readCharts;
  readInkVolumeInfoList(reloaded.firstElementByTagName("aInkVolumeInfoList"), readVolumes);
  readPrintChartFileInfoSetList(reloaded.firstElementByTagName("aPrintChartFileInfoSetList"), readCharts);
  EXPECT_EQ(readVolumes, volumes);
  EXPECT_EQ(readCharts, charts);
}

TEST_F(InkVolumeInfoTest, FieldsAreFoundByNameInAnyOrderAndUnknownOnesSkipped) {
  InkVolumeInfo volume;
  readInkVolumeInfo(parse("<InkVolumeInfo><!-- note --><extra>5</extra>"
                          "<astrInkVolumeList><strInkVolume_pl>1,2,3</strInkVolume_pl></astrInkVolumeList>"
                          "<nInkVolumeIndex>22</nInkVolumeIndex></InkVolumeInfo>"),
                    volume);
  EXPECT_EQ(volume.nInkVolumeIndex, 22);
  EXPECT_EQ(volume.astrInkVolumeList, win::GrowableArray<std::string>{"1,2,3"});

  PrintChartFileInfoSet chart;
  readPrintChartFileInfoSet(parse("<PrintChartFileInfoSet><strTestPrintFileName>t</strTestPrintFileName>"
                                  "<Unknown/><strInkLimitFileName>l</strInkLimitFileName>"
                                  "<strcalibrationfilename>wrong case</strcalibrationfilename>"
                                  "<strCalibrationFileName>c</strCalibrationFileName><nIndex>9</nIndex>"
                                  "</PrintChartFileInfoSet>"),
                            chart);
  EXPECT_EQ(chart, (PrintChartFileInfoSet{9, "c", "l", "t"}));
}

TEST_F(InkVolumeInfoTest, MissingFieldsKeepTheirValuesAndBadNumbersReadAsZero) {
  PrintChartFileInfoSet chart = samplePrintChart();
  readPrintChartFileInfoSet(parse("<PrintChartFileInfoSet><nIndex>abc</nIndex></PrintChartFileInfoSet>"),
                            chart);
  EXPECT_EQ(chart.nIndex, 0);
  EXPECT_EQ(chart.strCalibrationFileName, "CMYK Calibration 84.ps");

  InkVolumeInfo volume = sampleInkVolume();
  readInkVolumeInfo(parse("<InkVolumeInfo/>"), volume);
  EXPECT_EQ(volume, sampleInkVolume());
}

TEST_F(InkVolumeInfoTest, VolumeTextsComeOnlyFromTheirOwnChildrenAndAreAppended) {
  InkVolumeInfo volume;
  readInkVolumeInfo(parse("<InkVolumeInfo><astrInkVolumeList>"
                          "<strInkVolume_pl>1</strInkVolume_pl><strInkVolume>x</strInkVolume>"
                          "<value>y</value><strInkVolume_pl>2</strInkVolume_pl>"
                          "</astrInkVolumeList><astrInkVolumeList>"
                          "<strInkVolume_pl>3</strInkVolume_pl></astrInkVolumeList></InkVolumeInfo>"),
                    volume);
  EXPECT_EQ(volume.astrInkVolumeList, (win::GrowableArray<std::string>{"1", "2", "3"}));

  InkVolumeInfo empty;
  readInkVolumeInfo(parse("<InkVolumeInfo><astrInkVolumeList/></InkVolumeInfo>"), empty);
  EXPECT_TRUE(empty.astrInkVolumeList.empty());
}

TEST_F(InkVolumeInfoTest, ListReadingAppendsOnlyRecordsOfItsOwnName) {
  win::GrowableArray<InkVolumeInfo> volumes;
  readInkVolumeInfoList(parse("<aInkVolumeInfoList/>"), volumes);
  EXPECT_TRUE(volumes.empty());

  const xml::Node container = parse(
      "<aInkVolumeInfoList><InkVolumeInfo><nInkVolumeIndex>4</nInkVolumeIndex></InkVolumeInfo>"
      "<PrintChartFileInfoSet><nIndex>8</nIndex></PrintChartFileInfoSet>"
      "<InkVolumeInfo><nInkVolumeIndex>4</nInkVolumeIndex></InkVolumeInfo></aInkVolumeInfoList>");
  readInkVolumeInfoList(container, volumes);
  ASSERT_EQ(volumes.size(), 2);
  // Duplicate numbers stand side by side.
  EXPECT_EQ(volumes[0].nInkVolumeIndex, 4);
  EXPECT_EQ(volumes[1].nInkVolumeIndex, 4);
  // The list is not emptied first: a second read doubles it.
  readInkVolumeInfoList(container, volumes);
  EXPECT_EQ(volumes.size(), 4);

  win::GrowableArray<PrintChartFileInfoSet> charts{samplePrintChart()};
  readPrintChartFileInfoSetList(container, charts);
  ASSERT_EQ(charts.size(), 2);
  EXPECT_EQ(charts[0], samplePrintChart());
  EXPECT_EQ(charts[1], (PrintChartFileInfoSet{8, "", "", ""}));
}

}  // namespace
}  // namespace pelagon::test
