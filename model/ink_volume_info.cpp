#include <pelagon/model/ink_volume_info.h>

#include <string_view>
#include <utility>

#include <pelagon/values/record_fields.h>

namespace pelagon {
namespace {

constexpr std::string_view kInkVolumeInfo = "InkVolumeInfo";
constexpr std::string_view kInkVolumeInfoList = "aInkVolumeInfoList";
constexpr std::string_view kInkVolumeList = "astrInkVolumeList";
constexpr std::string_view kInkVolumeEntry = "strInkVolume_pl";
constexpr std::string_view kPrintChartFileInfoSet = "PrintChartFileInfoSet";
constexpr std::string_view kPrintChartFileInfoSetList = "aPrintChartFileInfoSetList";

const NamedFields<InkVolumeInfo>& inkVolumeFields() {
  static const NamedFields<InkVolumeInfo> fields{
      field<&InkVolumeInfo::nInkVolumeIndex>("nInkVolumeIndex"),
      {kInkVolumeList,
       +[](xml::Node element, InkVolumeInfo& info) {
         readScalarList(element, info.astrInkVolumeList, kInkVolumeEntry);
       }},
  };
  return fields;
}

const NamedFields<PrintChartFileInfoSet>& printChartFields() {
  static const NamedFields<PrintChartFileInfoSet> fields{
      field<&PrintChartFileInfoSet::nIndex>("nIndex"),
      field<&PrintChartFileInfoSet::strCalibrationFileName>("strCalibrationFileName"),
      field<&PrintChartFileInfoSet::strInkLimitFileName>("strInkLimitFileName"),
      field<&PrintChartFileInfoSet::strTestPrintFileName>("strTestPrintFileName"),
  };
  return fields;
}

}  // namespace

xml::Node writeInkVolumeInfo(xml::Document& document, const InkVolumeInfo& info) {
  xml::Node element = document.createElement(kInkVolumeInfo);
  appendValue(element, "nInkVolumeIndex", info.nInkVolumeIndex);
  element.appendChild(writeScalarList(document, kInkVolumeList, kInkVolumeEntry, info.astrInkVolumeList));
  return element;
}

xml::Node writeInkVolumeInfoList(xml::Document& document, const win::GrowableArray<InkVolumeInfo>& list) {
  return writeRecordList(document, kInkVolumeInfoList, list, writeInkVolumeInfo);
}

void readInkVolumeInfo(xml::Node element, InkVolumeInfo& info) { inkVolumeFields().read(element, info); }

void readInkVolumeInfoList(xml::Node container, win::GrowableArray<InkVolumeInfo>& list) {
  readRecordList(container, list, RecordEntries<InkVolumeInfo>{kInkVolumeInfo, EntryMatch::ByName},
                 readInkVolumeInfo);
}

xml::Node writePrintChartFileInfoSet(xml::Document& document, const PrintChartFileInfoSet& info) {
  xml::Node element = document.createElement(kPrintChartFileInfoSet);
  appendValue(element, "nIndex", info.nIndex);
  appendValue(element, "strCalibrationFileName", info.strCalibrationFileName);
  appendValue(element, "strInkLimitFileName", info.strInkLimitFileName);
  appendValue(element, "strTestPrintFileName", info.strTestPrintFileName);
  return element;
}

xml::Node writePrintChartFileInfoSetList(xml::Document& document,
                                         const win::GrowableArray<PrintChartFileInfoSet>& list) {
  return writeRecordList(document, kPrintChartFileInfoSetList, list, writePrintChartFileInfoSet);
}

void readPrintChartFileInfoSet(xml::Node element, PrintChartFileInfoSet& info) {
  printChartFields().read(element, info);
}

void readPrintChartFileInfoSetList(xml::Node container, win::GrowableArray<PrintChartFileInfoSet>& list) {
  readRecordList(container, list,
                 RecordEntries<PrintChartFileInfoSet>{kPrintChartFileInfoSet, EntryMatch::ByName},
                 readPrintChartFileInfoSet);
}

}  // namespace pelagon
