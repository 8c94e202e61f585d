#include <pelagon/model/resolution_info.h>

#include <array>
#include <string_view>

#include <pelagon/model/record_document.h>
#include <pelagon/values/record_fields.h>

namespace pelagon {

namespace {
constexpr std::string_view kResolutionInfoName = "ResolutionInfo";
constexpr std::string_view kPatternInfoName = "PatternInfo";
constexpr std::array<std::string_view, 4> kResolutionInfoHead{"nResolutionIndex", "strResolutionName",
                                                              "flScanResolution", "flFeedResolution"};
constexpr std::array<std::string_view, 4> kPatternInfoHead{"nFMPatternIndex", "nScanPixelSize",
                                                           "nFeedPixelSize", "strPatternFile"};
}  // namespace

xml::Node ResolutionInfoIO::WriteResolutionInfo(xml::Document& document, xml::Node parent,
                                                const ResolutionInfo& resolution) const {
  xml::Node element = parent.appendChild(document.createElement(kResolutionInfoName));
  appendValue(element, "nResolutionIndex", resolution.nResolutionIndex);
  appendValue(element, "strResolutionName", resolution.strResolutionName);
  appendValue(element, "flScanResolution", resolution.flScanResolution);
  appendValue(element, "flFeedResolution", resolution.flFeedResolution);
  return element;
}

void ResolutionInfoIO::ReadResolutionInfo(xml::Node element, ResolutionInfo& resolution) const {
  PositionalFields fields(element, kResolutionInfoHead);
  fields.read(resolution.nResolutionIndex);
  // Into the target itself, so that a language without a child keeps its text.
  fields.read(resolution.strResolutionName);
  fields.read(resolution.flScanResolution);
  fields.read(resolution.flFeedResolution);
}

bool ResolutionInfoIO::WriteRecordFile(const std::string& path, const ResolutionInfo& resolution) const {
  return pelagon::WriteSingleRecordFile(
      path, resolution, [this](xml::Document& document, xml::Node parent, const ResolutionInfo& value) {
        return WriteResolutionInfo(document, parent, value);
      });
}

bool ResolutionInfoIO::ReadRecordFile(const std::string& path, ResolutionInfo& resolution) const {
  return pelagon::ReadSingleRecordFile(
      path, kResolutionInfoName, resolution,
      [this](xml::Node element, ResolutionInfo& value) { ReadResolutionInfo(element, value); });
}

xml::Node PatternInfoIO::WritePatternInfo(xml::Document& document, xml::Node parent,
                                          const PatternInfo& pattern) const {
  xml::Node element = parent.appendChild(document.createElement(kPatternInfoName));
  appendValue(element, "nFMPatternIndex", pattern.nFMPatternIndex);
  appendValue(element, "nScanPixelSize", pattern.nScanPixelSize);
  appendValue(element, "nFeedPixelSize", pattern.nFeedPixelSize);
  appendValue(element, "strPatternFile", pattern.strPatternFile);
  return element;
}

void PatternInfoIO::ReadPatternInfo(xml::Node element, PatternInfo& pattern) const {
  PositionalFields fields(element, kPatternInfoHead);
  fields.read(pattern.nFMPatternIndex);
  fields.read(pattern.nScanPixelSize);
  fields.read(pattern.nFeedPixelSize);
  fields.read(pattern.strPatternFile);
}

bool PatternInfoIO::WriteRecordFile(const std::string& path, const PatternInfo& pattern) const {
  return pelagon::WriteSingleRecordFile(
      path, pattern, [this](xml::Document& document, xml::Node parent, const PatternInfo& value) {
        return WritePatternInfo(document, parent, value);
      });
}

bool PatternInfoIO::ReadRecordFile(const std::string& path, PatternInfo& pattern) const {
  return pelagon::ReadSingleRecordFile(
      path, kPatternInfoName, pattern,
      [this](xml::Node element, PatternInfo& value) { ReadPatternInfo(element, value); });
}

}  // namespace pelagon
