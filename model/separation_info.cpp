#include <pelagon/model/separation_info.h>

#include <array>
#include <span>
#include <string_view>
#include <utility>

#include <pelagon/values/record_fields.h>

namespace pelagon {
namespace {


// The stored curve is text only for eType 1; otherwise the element is empty. eType comes
// later in the element, so the reader keeps the text until the whole table is read.
void writeOutputTable(xml::Node parent, std::string_view name, const SeparationTable& table) {
  const bool stored = table.eType == kOutputTableCurveType && table.usOutputTable;
  appendValue(parent, name, stored ? encodeOutputTable(*table.usOutputTable) : std::string());
}
void readNothing(xml::Node, SeparationTable&) {}

// The first six by position, whatever their names, the rest by name.
constexpr std::array kTableFields{
    field<&SeparationTable::nInputChannelNum>("nInputChannelNum"),
    customField<SeparationTable, writeOutputTable, readNothing>("usOutputTable"),
    field<&SeparationTable::dStart>("dStart"),
    field<&SeparationTable::dPeak>("dPeak"),
    field<&SeparationTable::dMax>("dMax"),
    field<&SeparationTable::dEnd>("dEnd"),
    field<&SeparationTable::dEndMax>("dEndMax"),
    field<&SeparationTable::eType>("eType"),
    field<&SeparationTable::strInputChannel>("strInputChannel"),
    field<&SeparationTable::nInkIndex>("nInkIndex"),
    field<&SeparationTable::nHeadCount>("nHeadCount"),
};
constexpr auto kTableHead = std::span(kTableFields).first<6>();

constexpr auto tableLayout = layoutOf<SeparationTableIO::kName, kTableFields, kTableHead.size()>;

constexpr RecordEntries<SeparationTable> kSeparationTableEntries{
    SeparationTableIO::kElementName, EntryMatch::ByName, nullptr, appendSeparationTable, readSeparationTable};

// Every field by name, in any order.
constexpr std::array kFields{
    field<&SeparationInfo::nSeparationIndex>("nSeparationIndex"),
    // Languages without a child keep what the record held.
    field<&SeparationInfo::strSeparationName>("strSeparationName"),
    field<&SeparationInfo::nOutputChannel>("nOutputChannel"),
    recordListField<&SeparationInfo::aSeparationTableList, kSeparationTableEntries>("aSeparationTableList"),
    field<&SeparationInfo::nPrintChartFileInfoIndex>("nPrintChartFileInfoIndex"),
    field<&SeparationInfo::strInkLimitTableFile>("strInkLimitTableFile"),
    listField<&SeparationInfo::anInputChannelInkIndexList>("anInputChannelInkIndexList", "nInkIndex",
                                                           EntryMatch::ByName),
};

constexpr auto layout = layoutOf<SeparationInfoIO::kName, kFields, 0>;

}  // namespace

xml::Node appendSeparationInfo(xml::Node parent, const SeparationInfo& info) {
  return layout().append(parent, info);
}

void readSeparationInfo(xml::Node element, SeparationInfo& info) { layout().read(element, info); }

xml::Node appendSeparationTable(xml::Node parent, const SeparationTable& table) {
  return tableLayout().append(parent, table);
}

void readSeparationTable(xml::Node element, SeparationTable& table) {
  PositionalFields head(element, FieldTable<SeparationTable>(kTableHead));
  head.readFields<SeparationTable>(kTableHead.first<1>(), table);
  const std::string storedTable = head.read<std::string>();
  head.readFields<SeparationTable>(kTableHead.subspan<2>(), table);
  tableLayout().readTail(head, table);

  if (table.eType != kOutputTableCurveType || storedTable.empty()) return;
  // A text that is no valid stored table counts as no table at all.
  if (std::optional<OutputTable> decoded = decodeOutputTable(storedTable))
    table.usOutputTable = std::move(decoded);
}

}  // namespace pelagon
