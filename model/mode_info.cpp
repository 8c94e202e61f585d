#include <pelagon/model/mode_info.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

#include <pelagon/values/record_fields.h>

namespace pelagon {
namespace {


// A power equal to its reference but not to 100 would come back as 100 from an empty list,
// so both must hold for the list to be left out.
bool atDefault(const UVLampPower& entry) {
  const std::int32_t reference = entry.reference.value();
  return reference == kDefaultUVLampPower && entry.nForwardPower == reference &&
         entry.nBackwardPower == reference;
}

// The UV lamp table: empty while every entry is at its default, else both positions.
void writeUVLampPowerList(xml::Node parent, std::string_view name, const ModeInfo& mode) {
  xml::Node element = parent.appendElement(name);
  if (std::all_of(mode.aUVLampPowerList.begin(), mode.aUVLampPowerList.end(), atDefault)) return;
  for (std::size_t position = 0; position < mode.aUVLampPowerList.size(); ++position) {
    appendUVLampPower(element, mode.aUVLampPowerList[position], static_cast<std::int32_t>(position));
  }
}

// Entries go to the place their "position" names; others are skipped.
void readUVLampPowerList(xml::Node element, ModeInfo& mode) {
  for (xml::Node child : element.children()) {
    UVLampPower scratch;
    std::int32_t position = 0;
    // The reader accepts only positions 0 and 1, so the index stays inside the table.
    if (!readUVLampPower(child, scratch, position)) continue;
    UVLampPower& entry = mode.aUVLampPowerList[static_cast<std::size_t>(position)];
    entry.nForwardPower = scratch.nForwardPower;
    entry.nBackwardPower = scratch.nBackwardPower;
  }
}

// The first seven by position, the rest by name in any order.
constexpr std::size_t kHeadCount = 7;
constexpr std::array kFields{
    field<&ModeInfo::nModeIndex>("nModeIndex"),
    field<&ModeInfo::strModeName>("strModeName"),
    field<&ModeInfo::nInkNum>("nInkNum"),
    fixedArrayField<&ModeInfo::nInkIndexList>("nInkIndexList"),
    field<&ModeInfo::nBitsPerPixel>("nBitsPerPixel"),
    field<&ModeInfo::nDotType>("nDotType"),
    field<&ModeInfo::strDotSize>("strDotSize"),
    field<&ModeInfo::nInkVolumeIndex>("nInkVolumeIndex"),
    field<&ModeInfo::strNozzleMask>("strNozzleMask"),
    field<&ModeInfo::nPassesPerLine>("nPassesPerLine"),
    field<&ModeInfo::strPJLOption>("strPJLOption"),
    field<&ModeInfo::flFeedResolutionPerPass>("flFeedResolutionPerPass"),
    field<&ModeInfo::nNozzleMaskCount>("nNozzleMaskCount"),
    field<&ModeInfo::nEmptyPathLength>("nEmptyPathLength"),
    field<&ModeInfo::nAdditionalPrintingTime>("nAdditionalPrintingTime"),
    customField<ModeInfo, writeUVLampPowerList, readUVLampPowerList>("aUVLampPowerList"),
};

constexpr auto layout = layoutOf<ModeInfoIO::kName, kFields, kHeadCount>;

}  // namespace

xml::Node appendModeInfo(xml::Node parent, const ModeInfo& mode) { return layout().append(parent, mode); }

void readModeInfo(xml::Node element, ModeInfo& mode) {
  mode.nNozzleMaskCount = 0;
  layout().read(element, mode);
}

}  // namespace pelagon
