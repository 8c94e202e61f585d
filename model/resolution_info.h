#pragma once
// The print resolutions and FM dither patterns a device series offers, with their element
// writers, readers and single-record files. Both records are read strictly by position:
// the first four children, whatever their names, and nothing after them.

#include <cstdint>
#include <string>

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

struct ResolutionInfoIO {
  // Appends a "ResolutionInfo" element under `parent` and returns it.
  xml::Node WriteResolutionInfo(xml::Document& document, xml::Node parent,
                                const ResolutionInfo& resolution) const;
  // A missing child raises _com_error(E_POINTER).
  void ReadResolutionInfo(xml::Node element, ResolutionInfo& resolution) const;

  // A file holding one "ResolutionInfo" element. A failed save raises its _com_error; a
  // file that cannot be loaded raises E_POINTER from the reader; a file without the
  // element reads nothing and gives true.
  bool WriteRecordFile(const std::string& path, const ResolutionInfo& resolution) const;
  bool ReadRecordFile(const std::string& path, ResolutionInfo& resolution) const;
};

struct PatternInfo {
  // Referred to by the media permission sets' anFMPatternIndexList.
  std::int32_t nFMPatternIndex = 0;
  // Pattern size in pixels.
  std::int32_t nScanPixelSize = 0;
  std::int32_t nFeedPixelSize = 0;
  std::string strPatternFile;

  friend bool operator==(const PatternInfo&, const PatternInfo&) = default;
};

struct PatternInfoIO {
  // Appends a "PatternInfo" element under `parent` and returns it.
  xml::Node WritePatternInfo(xml::Document& document, xml::Node parent, const PatternInfo& pattern) const;
  // A missing child raises _com_error(E_POINTER).
  void ReadPatternInfo(xml::Node element, PatternInfo& pattern) const;

  // As ResolutionInfoIO's pair, for a file holding one "PatternInfo" element.
  bool WriteRecordFile(const std::string& path, const PatternInfo& pattern) const;
  bool ReadRecordFile(const std::string& path, PatternInfo& pattern) const;
};

}  // namespace pelagon
