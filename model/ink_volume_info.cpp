#include <pelagon/model/ink_volume_info.h>

#include <array>
#include <string_view>

#include <pelagon/values/record_fields.h>

namespace pelagon {
namespace {

// Both records: every field by name, in any order; their lists read entries by name only.
constexpr std::array kInkVolumeFields{
    field<&InkVolumeInfo::nInkVolumeIndex>("nInkVolumeIndex"),
    listField<&InkVolumeInfo::astrInkVolumeList>("astrInkVolumeList", "strInkVolume_pl", EntryMatch::ByName),
};
constexpr std::array kPrintChartFields{
    field<&PrintChartFileInfoSet::nIndex>("nIndex"),
    field<&PrintChartFileInfoSet::strCalibrationFileName>("strCalibrationFileName"),
    field<&PrintChartFileInfoSet::strInkLimitFileName>("strInkLimitFileName"),
    field<&PrintChartFileInfoSet::strTestPrintFileName>("strTestPrintFileName"),
};

constexpr auto inkVolumeLayout = layoutOf<"InkVolumeInfo", kInkVolumeFields, 0>;

constexpr auto printChartLayout = layoutOf<"PrintChartFileInfoSet", kPrintChartFields, 0>;

constexpr RecordEntries<InkVolumeInfo> kInkVolumeEntries{"InkVolumeInfo", EntryMatch::ByName, nullptr,
                                                         appendInkVolumeInfo, readInkVolumeInfo};
constexpr RecordEntries<PrintChartFileInfoSet> kPrintChartEntries{
    "PrintChartFileInfoSet", EntryMatch::ByName, nullptr, appendPrintChartFileInfoSet, readPrintChartFileInfoSet};

}  // namespace

xml::Node appendInkVolumeInfo(xml::Node parent, const InkVolumeInfo& info) {
  return inkVolumeLayout().append(parent, info);
}

xml::Node appendInkVolumeInfoList(xml::Node parent, const win::GrowableArray<InkVolumeInfo>& list) {
  return appendRecordList(parent, "aInkVolumeInfoList", list, kInkVolumeEntries);
}

void readInkVolumeInfo(xml::Node element, InkVolumeInfo& info) { inkVolumeLayout().read(element, info); }

void readInkVolumeInfoList(xml::Node container, win::GrowableArray<InkVolumeInfo>& list) {
  readRecordList(container, list, kInkVolumeEntries);
}

xml::Node appendPrintChartFileInfoSet(xml::Node parent, const PrintChartFileInfoSet& info) {
  return printChartLayout().append(parent, info);
}

xml::Node appendPrintChartFileInfoSetList(xml::Node parent, const win::GrowableArray<PrintChartFileInfoSet>& list) {
  return appendRecordList(parent, "aPrintChartFileInfoSetList", list, kPrintChartEntries);
}

void readPrintChartFileInfoSet(xml::Node element, PrintChartFileInfoSet& info) {
  printChartLayout().read(element, info);
}

void readPrintChartFileInfoSetList(xml::Node container, win::GrowableArray<PrintChartFileInfoSet>& list) {
  readRecordList(container, list, kPrintChartEntries);
}

}  // namespace pelagon
