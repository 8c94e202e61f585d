#pragma once
// The print resolutions and FM dither patterns a device series offers, with their element
// writers, readers and single-record files. Both records are read strictly by position:
// the first four children, whatever their names, and nothing after them.

#include <cstdint>
#include <string>

#include <pelagon/model/record_document.h>
#include <pelagon/values/localized_text.h>
#include <pelagon/xmlio/dom.h>

namespace pelagon {

struct ResolutionInfo {
  // Referred to by the media permission sets. Any value is an ordinary record, the
  // smallest 32-bit integer included (the carried files end their lists with one).
  std::int32_t nResolutionIndex = 0;
  LocalizedText strResolutionName;
  // Dots per inch.
  float flScanResolution = 0.0f;
  float flFeedResolution = 0.0f;

  friend bool operator==(const ResolutionInfo&, const ResolutionInfo&) = default;
};

// Appends a "ResolutionInfo" element under `parent` and returns it.
xml::Node appendResolutionInfo(xml::Node parent, const ResolutionInfo& resolution);
// A missing child raises _com_error(E_POINTER).
void readResolutionInfo(xml::Node element, ResolutionInfo& resolution);

// A file holding one "ResolutionInfo" element. A failed save raises its _com_error; a
// file that cannot be loaded raises E_POINTER from the reader; a file without the
// element reads nothing and gives true.
using ResolutionInfoIO = RecordIO<ResolutionInfo, appendResolutionInfo, readResolutionInfo, "ResolutionInfo",
                                  RecordFileRules::Strict>;

struct PatternInfo {
  // Referred to by the media permission sets' anFMPatternIndexList.
  std::int32_t nFMPatternIndex = 0;
  // Pattern size in pixels.
  std::int32_t nScanPixelSize = 0;
  std::int32_t nFeedPixelSize = 0;
  std::string strPatternFile;

  friend bool operator==(const PatternInfo&, const PatternInfo&) = default;
};

// Appends a "PatternInfo" element under `parent` and returns it.
xml::Node appendPatternInfo(xml::Node parent, const PatternInfo& pattern);
// A missing child raises _com_error(E_POINTER).
void readPatternInfo(xml::Node element, PatternInfo& pattern);

// As the resolution's file, for a file holding one "PatternInfo" element.
using PatternInfoIO =
    RecordIO<PatternInfo, appendPatternInfo, readPatternInfo, "PatternInfo", RecordFileRules::Strict>;

}  // namespace pelagon
