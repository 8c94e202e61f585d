#include <pelagon/model/resolution_info.h>

#include <array>
#include <string_view>

#include <pelagon/values/record_fields.h>

namespace pelagon {

namespace {

// Both records are read by position alone, and nothing after their fields.
constexpr std::array kResolutionInfoFields{
    field<&ResolutionInfo::nResolutionIndex>("nResolutionIndex"),
    // Into the target itself, so that a language without a child keeps its text.
    field<&ResolutionInfo::strResolutionName>("strResolutionName"),
    field<&ResolutionInfo::flScanResolution>("flScanResolution"),
    field<&ResolutionInfo::flFeedResolution>("flFeedResolution"),
};
constexpr std::array kPatternInfoFields{
    field<&PatternInfo::nFMPatternIndex>("nFMPatternIndex"),
    field<&PatternInfo::nScanPixelSize>("nScanPixelSize"),
    field<&PatternInfo::nFeedPixelSize>("nFeedPixelSize"),
    field<&PatternInfo::strPatternFile>("strPatternFile"),
};

constexpr auto resolutionLayout =
    layoutOf<ResolutionInfoIO::kName, kResolutionInfoFields, kResolutionInfoFields.size()>;

constexpr auto patternLayout = layoutOf<PatternInfoIO::kName, kPatternInfoFields, kPatternInfoFields.size()>;

}  // namespace

xml::Node appendResolutionInfo(xml::Node parent, const ResolutionInfo& resolution) {
  return resolutionLayout().append(parent, resolution);
}

void readResolutionInfo(xml::Node element, ResolutionInfo& resolution) {
  resolutionLayout().read(element, resolution);
}

xml::Node appendPatternInfo(xml::Node parent, const PatternInfo& pattern) {
  return patternLayout().append(parent, pattern);
}

void readPatternInfo(xml::Node element, PatternInfo& pattern) { patternLayout().read(element, pattern); }

}  // namespace pelagon
