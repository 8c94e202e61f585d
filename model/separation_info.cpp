#include <pelagon/model/separation_info.h>

#include <array>
#include <string_view>
#include <utility>

#include <pelagon/model/record_document.h>
#include <pelagon/values/element_text.h>
#include <pelagon/values/record_fields.h>

namespace pelagon {
namespace {

constexpr std::string_view kSeparationInfo = "SeparationInfo";
constexpr std::string_view kSeparationTable = "SeparationTable";
constexpr std::string_view kSeparationTableList = "aSeparationTableList";
constexpr std::string_view kInputChannelInkIndexList = "anInputChannelInkIndexList";
constexpr std::string_view kInkIndex = "nInkIndex";
constexpr RecordEntries<SeparationTable> kSeparationTableEntries{kSeparationTable, EntryMatch::ByName};
constexpr std::array<std::string_view, 6> kSeparationTableHead{
    "nInputChannelNum", "usOutputTable", "dStart", "dPeak", "dMax", "dEnd"};

const NamedFields<SeparationInfo>& separationFields() {
  static const NamedFields<SeparationInfo> fields{
      field<&SeparationInfo::nSeparationIndex>("nSeparationIndex"),
      // Languages without a child keep what the record held.
      {"strSeparationName",
       +[](xml::Node element, SeparationInfo& info) { readLocalizedText(element, info.strSeparationName); }},
      field<&SeparationInfo::nOutputChannel>("nOutputChannel"),
      {kSeparationTableList,
       +[](xml::Node element, SeparationInfo& info) {
         readRecordList(element, info.aSeparationTableList, kSeparationTableEntries,
                        [](xml::Node child, SeparationTable& table) {
                          SeparationInfoIO().ReadSeparationTable(child, table);
                        });
       }},
      field<&SeparationInfo::nPrintChartFileInfoIndex>("nPrintChartFileInfoIndex"),
      field<&SeparationInfo::strInkLimitTableFile>("strInkLimitTableFile"),
      {kInputChannelInkIndexList,
       +[](xml::Node element, SeparationInfo& info) {
         readScalarList(element, info.anInputChannelInkIndexList, kInkIndex);
       }},
  };
  return fields;
}

// The table's tail after its six positional children.
const NamedFields<SeparationTable>& tableFields() {
  static const NamedFields<SeparationTable> fields{
      field<&SeparationTable::dEndMax>("dEndMax"),
      field<&SeparationTable::eType>("eType"),
      field<&SeparationTable::strInputChannel>("strInputChannel"),
      field<&SeparationTable::nInkIndex>("nInkIndex"),
      field<&SeparationTable::nHeadCount>("nHeadCount"),
  };
  return fields;
}

std::string outputTableText(const SeparationTable& table) {
  if (table.eType != kOutputTableCurveType || !table.usOutputTable) return {};
  return encodeOutputTable(*table.usOutputTable);
}

}  // namespace

xml::Node SeparationInfoIO::WriteSeparationInfo(xml::Document& document, xml::Node parent,
                                                const SeparationInfo& info) const {
  xml::Node element = parent.appendChild(document.createElement(kSeparationInfo));
  appendValue(element, "nSeparationIndex", info.nSeparationIndex);
  appendValue(element, "strSeparationName", info.strSeparationName);
  appendValue(element, "nOutputChannel", info.nOutputChannel);
  xml::Node tables = element.appendElement(kSeparationTableList);
  for (const SeparationTable& table : info.aSeparationTableList)
    WriteSeparationTable(document, tables, table);
  appendValue(element, "nPrintChartFileInfoIndex", info.nPrintChartFileInfoIndex);
  appendValue(element, "strInkLimitTableFile", info.strInkLimitTableFile);
  element.appendChild(
      writeScalarList(document, kInputChannelInkIndexList, kInkIndex, info.anInputChannelInkIndexList));
  return element;
}

void SeparationInfoIO::ReadSeparationInfo(xml::Node element, SeparationInfo& info) const {
  separationFields().read(element, info);
}

xml::Node SeparationInfoIO::WriteSeparationTable(xml::Document& document, xml::Node parent,
                                                 const SeparationTable& table) const {
  xml::Node element = parent.appendChild(document.createElement(kSeparationTable));
  appendValue(element, "nInputChannelNum", table.nInputChannelNum);
  element.appendChild(writeStringElement(document, "usOutputTable", outputTableText(table)));
  appendValue(element, "dStart", table.dStart);
  appendValue(element, "dPeak", table.dPeak);
  appendValue(element, "dMax", table.dMax);
  appendValue(element, "dEnd", table.dEnd);
  appendValue(element, "dEndMax", table.dEndMax);
  appendValue(element, "eType", table.eType);
  appendValue(element, "strInputChannel", table.strInputChannel);
  appendValue(element, "nInkIndex", table.nInkIndex);
  appendValue(element, "nHeadCount", table.nHeadCount);
  return element;
}

void SeparationInfoIO::ReadSeparationTable(xml::Node element, SeparationTable& table) const {
  // The first six children by their place alone, whatever their names.
  PositionalFields head(element, kSeparationTableHead);
  head.read(table.nInputChannelNum);
  // eType comes later in the element, so the text waits until the whole table is read.
  const std::string storedTable = head.read<std::string>();
  head.read(table.dStart);
  head.read(table.dPeak);
  head.read(table.dMax);
  head.read(table.dEnd);
  tableFields().read(head.rest(), table);

  if (table.eType != kOutputTableCurveType || storedTable.empty()) return;
  // A text that is no valid stored table counts as no table at all.
  if (std::optional<OutputTable> decoded = decodeOutputTable(storedTable))
    table.usOutputTable = std::move(decoded);
}

bool SeparationInfoIO::WriteRecordFile(const std::string& path, const SeparationInfo& info) const {
  return pelagon::WriteSingleRecordFile(
      path, info, [this](xml::Document& document, xml::Node parent, const SeparationInfo& value) {
        return WriteSeparationInfo(document, parent, value);
      });
}

bool SeparationInfoIO::ReadRecordFile(const std::string& path, SeparationInfo& info) const {
  return pelagon::ReadSingleRecordFile(
      path, kSeparationInfo, info,
      [this](xml::Node element, SeparationInfo& value) { ReadSeparationInfo(element, value); });
}

}  // namespace pelagon
