#pragma once
// Two small records kept as lists directly under the device-series root: ink volume sets,
// which print modes refer to by nInkVolumeIndex, and print-chart file sets, which
// separations refer to by nIndex. The numbers are keys chosen by the data, not positions,
// and nothing checks that they are unique.

#include <cstdint>
#include <string>

#include <pelagon/platform/growable_array.h>
#include <pelagon/xmlio/dom.h>

namespace pelagon {

struct InkVolumeInfo {
  std::int32_t nInkVolumeIndex = 0;
  // One text per entry, drop volumes in picolitres separated by commas
  // ("10.81,21.35,38.94"); kept as text and never parsed.
  win::GrowableArray<std::string> astrInkVolumeList;

  friend bool operator==(const InkVolumeInfo&, const InkVolumeInfo&) = default;
};

struct PrintChartFileInfoSet {
  std::int32_t nIndex = 0;
  std::string strCalibrationFileName;
  std::string strInkLimitFileName;
  std::string strTestPrintFileName;

  friend bool operator==(const PrintChartFileInfoSet&, const PrintChartFileInfoSet&) = default;
};

// The writers append their element under `parent` and return it.
xml::Node appendInkVolumeInfo(xml::Node parent, const InkVolumeInfo& info);
// "aInkVolumeInfoList" with one "InkVolumeInfo" per record, in list order.
xml::Node appendInkVolumeInfoList(xml::Node parent, const win::GrowableArray<InkVolumeInfo>& list);

// Every field by name, in any order; unknown children are skipped and a field without a
// child keeps its value. Volume texts are appended, from "strInkVolume_pl" children only.
void readInkVolumeInfo(xml::Node element, InkVolumeInfo& info);
// Appends a fresh record per "InkVolumeInfo" child to what the list already holds; other
// children are skipped.
void readInkVolumeInfoList(xml::Node container, win::GrowableArray<InkVolumeInfo>& list);

xml::Node appendPrintChartFileInfoSet(xml::Node parent, const PrintChartFileInfoSet& info);
// "aPrintChartFileInfoSetList" with one "PrintChartFileInfoSet" per record, in list order.
xml::Node appendPrintChartFileInfoSetList(xml::Node parent, const win::GrowableArray<PrintChartFileInfoSet>& list);

void readPrintChartFileInfoSet(xml::Node element, PrintChartFileInfoSet& info);
// Appends a fresh record per "PrintChartFileInfoSet" child; other children are skipped.
void readPrintChartFileInfoSetList(xml::Node container, win::GrowableArray<PrintChartFileInfoSet>& list);

}  // namespace pelagon
