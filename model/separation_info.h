#pragma once
// A separation: how the input colour channels of an image become the printer's output ink
// channels. It names the ink of each input channel, holds one separation table per output
// channel, and names its ink-limit table file and print-chart file set. A device-series
// document holds one "SeparationInfo" element per separation in "aSeparationInfoList".

#include <cstdint>
#include <optional>
#include <string>

#include <pelagon/model/record_document.h>
#include <pelagon/platform/growable_array.h>
#include <pelagon/values/localized_text.h>
#include <pelagon/values/output_table.h>
#include <pelagon/xmlio/dom.h>

namespace pelagon {

// The eType code whose output curve is the stored output table; for every other code the
// table is neither written nor read.
inline constexpr std::int32_t kOutputTableCurveType = 1;

struct SeparationTable {
  // The input channel that feeds this output channel.
  std::int32_t nInputChannelNum = 0;
  std::int32_t eType = 0;
  // Absent until a document with eType 1 and a valid stored table is read, or the caller
  // sets it. An absent table is written as empty text even when eType is 1, which reads
  // back as absent again; nothing is made up in its place.
  std::optional<OutputTable> usOutputTable;
  // Curve control values; carried, never interpreted.
  double dStart = 0.0;
  double dPeak = 0.0;
  double dMax = 0.0;
  double dEnd = 0.0;
  double dEndMax = 0.0;
  std::string strInputChannel;
  // The output ink, as an ink's nInkIndex.
  std::int32_t nInkIndex = -1;
  std::int32_t nHeadCount = 1;

  friend bool operator==(const SeparationTable&, const SeparationTable&) = default;
};

struct SeparationInfo {
  // Permission sets choose a separation by this number.
  std::int32_t nSeparationIndex = 0;
  LocalizedText strSeparationName;
  std::int32_t nOutputChannel = 0;
  // One table per output channel.
  win::GrowableArray<SeparationTable> aSeparationTableList;
  // A print-chart file set's nIndex.
  std::int32_t nPrintChartFileInfoIndex = 0;
  std::string strInkLimitTableFile;
  // Per input channel, in channel order, the nInkIndex of its ink; its size is the
  // separation's input-channel count.
  win::GrowableArray<std::int32_t> anInputChannelInkIndexList;

  friend bool operator==(const SeparationInfo&, const SeparationInfo&) = default;
};

// Appends "SeparationInfo" under `parent`, fills it and returns it.
xml::Node appendSeparationInfo(xml::Node parent, const SeparationInfo& info);
// Every child by name, in any order; the element's own name is not compared. Lists are
// appended to, also when their element repeats, so `info` should be a fresh record.
void readSeparationInfo(xml::Node element, SeparationInfo& info);
// Appends "SeparationTable" under `parent`, fills it and returns it.
xml::Node appendSeparationTable(xml::Node parent, const SeparationTable& table);
// The first six children by position (fewer raise E_POINTER), the rest by name. The output
// table is set only when the final eType is 1 and the stored text is a valid table; an
// empty or invalid text leaves it as it was.
void readSeparationTable(xml::Node element, SeparationTable& table);

// A file holding one separation as its document element. A failed save raises
// _com_error; other write failures give false. The reader reads the first top-level
// "SeparationInfo" element, if any; DOM failures and a missing file raise _com_error.
using SeparationInfoIO = RecordIO<SeparationInfo, appendSeparationInfo, readSeparationInfo, "SeparationInfo",
                                  RecordFileRules::Strict>;
using SeparationTableIO = RecordIO<SeparationTable, appendSeparationTable, readSeparationTable,
                                   "SeparationTable", RecordFileRules::Strict>;

}  // namespace pelagon
