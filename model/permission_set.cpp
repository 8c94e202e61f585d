#include <pelagon/model/permission_set.h>

#include <array>
#include <cstddef>
#include <string_view>

#include <pelagon/values/record_fields.h>

namespace pelagon {
namespace {

constexpr std::array<std::string_view, 3> kLabComponents{"l", "a", "b"};

void readDirection(xml::Node element, PermissionSet& permission) {
  permission.eDirection = normalizeDirection(readValue<std::int32_t>(element));
}

// Written only for the custom screen; read wherever it stands.
void writeScreen(xml::Node parent, std::string_view, const PermissionSet& permission) {
  if (permission.eScreen == kCustomScreen) appendScreenOption(parent, permission.screenOption);
}
void readScreen(xml::Node element, PermissionSet& permission) {
  readScreenOption(element, permission.screenOption);
}

void writeLab(xml::Node parent, std::string_view name, const CalibrationInfo& calibration) {
  xml::Node lab = parent.appendElement(name);
  for (const CalibrationLab& step : calibration.lab) {
    xml::Node value = lab.appendElement("value");
    appendValue(value, kLabComponents[0], step.L);
    appendValue(value, kLabComponents[1], step.a);
    appendValue(value, kLabComponents[2], step.b);
  }
}

// At most 21 entries, each its first three children as L, a, b; more are ignored.
void readLab(xml::Node lab, CalibrationInfo& calibration) {
  xml::NodeList steps = lab.childNodes();
  for (std::size_t i = 0; i < calibration.lab.size(); ++i) {
    const xml::Node value = steps.nextNode();
    if (!value) break;
    try {
      // Its children are the three components. A missing L or a raises before anything is
      // read; a missing b raises when it is read.
      PositionalFields components(value, kLabComponents);
      const xml::Node l = components.next();
      const xml::Node a = components.next();
      CalibrationLab& step = calibration.lab[i];
      step.L = readValue<float>(l);
      step.a = readValue<float>(a);
      components.read(step.b);
    } catch (...) {
      rethrowWithin(entryLabel(nodeName(lab), static_cast<int>(i)), value);
    }
  }
}

// All by position. Only the first 21 densities count; more are ignored rather than stored
// past the table.
constexpr std::array kCalibrationFields{
    field<&CalibrationInfo::nOutputLimit>("nOutputLimit"),
    fixedArrayField<&CalibrationInfo::density>("density", "value"),
    customField<CalibrationInfo, writeLab, readLab>("lab"),
};

constexpr auto calibrationLayout = layoutOf<"CalibrationInfo", kCalibrationFields, kCalibrationFields.size()>;

constexpr RecordEntries<CalibrationInfo> kCalibrationEntries{"CalibrationInfo", EntryMatch::AnyChild, nullptr,
                                                             appendCalibrationInfo, readCalibrationInfo};

// Four by position, the rest by exact name in any order.
constexpr std::size_t kPermissionHeadCount = 4;
constexpr std::array kPermissionFields{
    field<&PermissionSet::nPermissionIndex>("nPermissionIndex"),
    listField<&PermissionSet::anInkConfigIndexList>("anInkConfigIndexList", "anInkConfigIndex"),
    field<&PermissionSet::nResolutionIndex>("nResolutionIndex"),
    field<&PermissionSet::nModeIndex>("nModeIndex"),
    field<&PermissionSet::nPassmaskIndex>("nPassmaskIndex"),
    fieldReadBy<&PermissionSet::eDirection, readDirection>("eDirection"),
    field<&PermissionSet::eScreen>("eScreen"),
    customField<PermissionSet, writeScreen, readScreen>("screenOption"),
    listField<&PermissionSet::anVControlIndexList>("anVControlIndexList", "anVControlIndex"),
    listField<&PermissionSet::anFMPatternIndexList>("anFMPatternIndexList", "anFMPatternIndex"),
    field<&PermissionSet::nSeparationIndex>("nSeparationIndex"),
    recordListField<&PermissionSet::aCalibrationInfoList, kCalibrationEntries>("aCalibrationInfoList"),
    field<&PermissionSet::nInkLimit>("nInkLimit"),
    field<&PermissionSet::strPrinterProfile>("strPrinterProfile"),
    field<&PermissionSet::nScanSpeed>("nScanSpeed"),
    field<&PermissionSet::nFeedSpeed>("nFeedSpeed"),
    field<&PermissionSet::bVisiblePermission>("bVisiblePermission"),
    field<&PermissionSet::bRecommended>("bRecommended"),
    field<&PermissionSet::nRealPassCount>("nRealPassCount"),
    field<&PermissionSet::strNextPermissionIndex>("strNextPermissionIndex"),
};

constexpr auto permissionLayout = layoutOf<"PermissionSet", kPermissionFields, kPermissionHeadCount>;

// Three by position, then bVisibleQuality by name.
constexpr std::array kQualityFields{
    field<&QualityInfo::nQualityLevel>("nQualityLevel"),
    field<&QualityInfo::strQualityName>("strQualityName"),
    listField<&QualityInfo::anPermissionIndexList>("anPermissionIndexList", "anPermissionIndex"),
    field<&QualityInfo::bVisibleQuality>("bVisibleQuality"),
};

constexpr auto qualityLayout = layoutOf<"QualityInfo", kQualityFields, 3>;

}  // namespace

std::int32_t normalizeDirection(std::int32_t eDirection) {
  // Halves are taken on the unsigned pattern so that negative codes split without UB.
  const auto bits = static_cast<std::uint32_t>(eDirection);
  const std::uint32_t permitted = bits & 0xFFFFU;
  std::uint32_t selected = bits >> 16U;
  if (selected != 1U && selected != 2U) {
    if ((permitted & 2U) != 0U) {
      selected = 2U;
    } else if ((permitted & 1U) != 0U) {
      selected = 1U;
    }
  }
  return static_cast<std::int32_t>((selected << 16U) | permitted);
}

xml::Node appendPermissionSet(xml::Node parent, const PermissionSet& permission) {
  return permissionLayout().append(parent, permission);
}

void readPermissionSet(xml::Node element, PermissionSet& permission) {
  permission.anInkConfigIndexList.clear();
  PositionalFields head = permissionLayout().readHead(element, permission);
  // The older layout may carry no eScreen, and a V-control list met by name is appended to.
  permission.eScreen = 1;
  permission.anVControlIndexList.clear();
  const FieldsRead met = permissionLayout().readTail(head, permission);
  if (!met.test(permissionLayout().tail().find("bRecommended"))) {
    permission.bRecommended = permission.bVisiblePermission;
  }
}

xml::Node appendQualityInfo(xml::Node parent, const QualityInfo& quality) {
  return qualityLayout().append(parent, quality);
}

void readQualityInfo(xml::Node element, QualityInfo& quality) { qualityLayout().read(element, quality); }

xml::Node appendCalibrationInfo(xml::Node parent, const CalibrationInfo& calibration) {
  return calibrationLayout().append(parent, calibration);
}

void readCalibrationInfo(xml::Node element, CalibrationInfo& calibration) {
  calibrationLayout().read(element, calibration);
}

}  // namespace pelagon
