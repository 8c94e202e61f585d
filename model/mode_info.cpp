#include <pelagon/model/mode_info.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

#include <pelagon/model/record_document.h>
#include <pelagon/values/record_fields.h>

namespace pelagon {
namespace {

constexpr std::string_view kModeInfo = "ModeInfo";
constexpr std::string_view kUVLampPowerList = "aUVLampPowerList";

constexpr std::array<std::string_view, 7> kModeInfoHead{
    "nModeIndex", "strModeName", "nInkNum", "nInkIndexList", "nBitsPerPixel", "nDotType", "strDotSize"};

// A power equal to its reference but not to 100 would come back as 100 from an empty list,
// so both must hold for the list to be left out.
bool atDefault(const UVLampPower& entry) {
  const std::int32_t reference = entry.reference.value();
  return reference == kDefaultUVLampPower && entry.nForwardPower == reference &&
         entry.nBackwardPower == reference;
}

xml::Node writeUVLampPowerList(xml::Document& document, const ModeInfo& mode) {
  xml::Node element = document.createElement(kUVLampPowerList);
  if (!std::all_of(mode.aUVLampPowerList.begin(), mode.aUVLampPowerList.end(), atDefault)) {
    for (std::size_t position = 0; position < mode.aUVLampPowerList.size(); ++position) {
      element.appendChild(
          writeUVLampPower(document, mode.aUVLampPowerList[position], static_cast<std::int32_t>(position)));
    }
  }
  return element;
}

void readUVLampPowerList(xml::Node element, ModeInfo& mode) {
  xml::NodeList children = element.childNodes();
  for (xml::Node child = children.nextNode(); child; child = children.nextNode()) {
    UVLampPower scratch;
    std::int32_t position = 0;
    // The reader accepts only positions 0 and 1, so the index stays inside the table.
    if (!readUVLampPower(child, scratch, position)) continue;
    UVLampPower& entry = mode.aUVLampPowerList[static_cast<std::size_t>(position)];
    entry.nForwardPower = scratch.nForwardPower;
    entry.nBackwardPower = scratch.nBackwardPower;
  }
}

const NamedFields<ModeInfo>& modeInfoTail() {
  static const NamedFields<ModeInfo> fields{
      field<&ModeInfo::nInkVolumeIndex>("nInkVolumeIndex"),
      field<&ModeInfo::strNozzleMask>("strNozzleMask"),
      field<&ModeInfo::nPassesPerLine>("nPassesPerLine"),
      field<&ModeInfo::strPJLOption>("strPJLOption"),
      field<&ModeInfo::flFeedResolutionPerPass>("flFeedResolutionPerPass"),
      field<&ModeInfo::nNozzleMaskCount>("nNozzleMaskCount"),
      field<&ModeInfo::nEmptyPathLength>("nEmptyPathLength"),
      field<&ModeInfo::nAdditionalPrintingTime>("nAdditionalPrintingTime"),
      {kUVLampPowerList, +[](xml::Node element, ModeInfo& mode) { readUVLampPowerList(element, mode); }},
  };
  return fields;
}

}  // namespace

xml::Node ModeInfoIO::WriteModeInfo(xml::Document& document, xml::Node parent, const ModeInfo& mode) const {
  xml::Node element = parent.appendChild(document.createElement(kModeInfo));
  appendValue(element, "nModeIndex", mode.nModeIndex);
  appendValue(element, "strModeName", mode.strModeName);
  appendValue(element, "nInkNum", mode.nInkNum);
  element.appendChild(writeFixedArray(document, "nInkIndexList", mode.nInkIndexList));
  appendValue(element, "nBitsPerPixel", mode.nBitsPerPixel);
  appendValue(element, "nDotType", mode.nDotType);
  appendValue(element, "strDotSize", mode.strDotSize);
  appendValue(element, "nInkVolumeIndex", mode.nInkVolumeIndex);
  appendValue(element, "strNozzleMask", mode.strNozzleMask);
  appendValue(element, "nPassesPerLine", mode.nPassesPerLine);
  appendValue(element, "strPJLOption", mode.strPJLOption);
  appendValue(element, "flFeedResolutionPerPass", mode.flFeedResolutionPerPass);
  appendValue(element, "nNozzleMaskCount", mode.nNozzleMaskCount);
  appendValue(element, "nEmptyPathLength", mode.nEmptyPathLength);
  appendValue(element, "nAdditionalPrintingTime", mode.nAdditionalPrintingTime);
  element.appendChild(writeUVLampPowerList(document, mode));
  return element;
}

void ModeInfoIO::ReadModeInfo(xml::Node element, ModeInfo& mode) const {
  mode.nNozzleMaskCount = 0;
  PositionalFields fields(element, kModeInfoHead);
  fields.read(mode.nModeIndex);
  fields.read(mode.strModeName);
  fields.read(mode.nInkNum);
  fields.take([&mode](xml::Node slots) { readFixedArray(slots, mode.nInkIndexList); });
  fields.read(mode.nBitsPerPixel);
  fields.read(mode.nDotType);
  fields.read(mode.strDotSize);
  modeInfoTail().read(fields.rest(), mode);
}

bool ModeInfoIO::WriteRecordFile(const std::string& path, const ModeInfo& mode) const {
  return pelagon::WriteSingleRecordFile(
      path, mode, [this](xml::Document& document, xml::Node parent, const ModeInfo& value) {
        return WriteModeInfo(document, parent, value);
      });
}

bool ModeInfoIO::ReadRecordFile(const std::string& path, ModeInfo& mode) const {
  return pelagon::ReadSingleRecordFile(
      path, kModeInfo, mode, [this](xml::Node element, ModeInfo& value) { ReadModeInfo(element, value); });
}

}  // namespace pelagon
