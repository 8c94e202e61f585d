#include <pelagon/model/permission_set.h>

#include <array>
#include <cstddef>
#include <string_view>
#include <type_traits>

#include <pelagon/values/record_fields.h>

namespace pelagon {
namespace {

// The by-name tail of a permission set, with what the record alone cannot say: whether a
// bRecommended child was among it.
struct PermissionTail {
  PermissionSet& permission;
  bool recommendedRead = false;
};

constexpr std::array<std::string_view, 4> kPermissionHead{"nPermissionIndex", "anInkConfigIndexList",
                                                          "nResolutionIndex", "nModeIndex"};
constexpr std::array<std::string_view, 3> kQualityHead{"nQualityLevel", "strQualityName",
                                                       "anPermissionIndexList"};
constexpr std::array<std::string_view, 3> kCalibrationHead{"nOutputLimit", "density", "lab"};
constexpr std::array<std::string_view, 3> kLabComponents{"l", "a", "b"};
constexpr RecordEntries<CalibrationInfo> kCalibrationEntries{"CalibrationInfo"};

template <auto Member>
NamedFields<PermissionTail>::Field tailField(std::string_view name) {
  return {name, [](xml::Node element, PermissionTail& tail) {
            using Value = std::remove_cvref_t<decltype(tail.permission.*Member)>;
            tail.permission.*Member = readValue<Value>(element);
          }};
}

const NamedFields<PermissionTail>& permissionTail() {
  static const NamedFields<PermissionTail> fields{
      tailField<&PermissionSet::nPassmaskIndex>("nPassmaskIndex"),
      {"eDirection",
       +[](xml::Node element, PermissionTail& tail) {
         tail.permission.eDirection = normalizeDirection(readValue<std::int32_t>(element));
       }},
      tailField<&PermissionSet::eScreen>("eScreen"),
      {"screenOption",
       +[](xml::Node element, PermissionTail& tail) {
         readScreenOption(element, tail.permission.screenOption);
       }},
      {"anVControlIndexList",
       +[](xml::Node element, PermissionTail& tail) {
         readScalarList(element, tail.permission.anVControlIndexList);
       }},
      {"anFMPatternIndexList",
       +[](xml::Node element, PermissionTail& tail) {
         readScalarList(element, tail.permission.anFMPatternIndexList);
       }},
      tailField<&PermissionSet::nSeparationIndex>("nSeparationIndex"),
      {"aCalibrationInfoList",
       +[](xml::Node element, PermissionTail& tail) {
         readRecordList(element, tail.permission.aCalibrationInfoList, kCalibrationEntries,
                        readCalibrationInfo);
       }},
      tailField<&PermissionSet::nInkLimit>("nInkLimit"),
      tailField<&PermissionSet::strPrinterProfile>("strPrinterProfile"),
      tailField<&PermissionSet::nScanSpeed>("nScanSpeed"),
      tailField<&PermissionSet::nFeedSpeed>("nFeedSpeed"),
      tailField<&PermissionSet::bVisiblePermission>("bVisiblePermission"),
      {"bRecommended",
       +[](xml::Node element, PermissionTail& tail) {
         tail.permission.bRecommended = readValue<bool>(element);
         tail.recommendedRead = true;
       }},
      tailField<&PermissionSet::nRealPassCount>("nRealPassCount"),
      tailField<&PermissionSet::strNextPermissionIndex>("strNextPermissionIndex"),
  };
  return fields;
}

const NamedFields<QualityInfo>& qualityTail() {
  static const NamedFields<QualityInfo> fields{
      field<&QualityInfo::bVisibleQuality>("bVisibleQuality"),
  };
  return fields;
}

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

xml::Node writePermissionSet(xml::Document& document, xml::Node parent, const PermissionSet& permission) {
  xml::Node element = parent.appendChild(document.createElement("PermissionSet"));
  appendValue(element, "nPermissionIndex", permission.nPermissionIndex);
  element.appendChild(
      writeScalarList(document, "anInkConfigIndexList", "anInkConfigIndex", permission.anInkConfigIndexList));
  appendValue(element, "nResolutionIndex", permission.nResolutionIndex);
  appendValue(element, "nModeIndex", permission.nModeIndex);
  appendValue(element, "nPassmaskIndex", permission.nPassmaskIndex);
  appendValue(element, "eDirection", permission.eDirection);
  appendValue(element, "eScreen", permission.eScreen);
  if (permission.eScreen == kCustomScreen)
    element.appendChild(writeScreenOption(document, permission.screenOption));
  element.appendChild(
      writeScalarList(document, "anVControlIndexList", "anVControlIndex", permission.anVControlIndexList));
  element.appendChild(
      writeScalarList(document, "anFMPatternIndexList", "anFMPatternIndex", permission.anFMPatternIndexList));
  appendValue(element, "nSeparationIndex", permission.nSeparationIndex);
  xml::Node calibrations = element.appendElement("aCalibrationInfoList");
  for (const CalibrationInfo& calibration : permission.aCalibrationInfoList) {
    writeCalibrationInfo(document, calibrations, calibration);
  }
  appendValue(element, "nInkLimit", permission.nInkLimit);
  appendValue(element, "strPrinterProfile", permission.strPrinterProfile);
  appendValue(element, "nScanSpeed", permission.nScanSpeed);
  appendValue(element, "nFeedSpeed", permission.nFeedSpeed);
  appendValue(element, "bVisiblePermission", permission.bVisiblePermission);
  appendValue(element, "bRecommended", permission.bRecommended);
  appendValue(element, "nRealPassCount", permission.nRealPassCount);
  appendValue(element, "strNextPermissionIndex", permission.strNextPermissionIndex);
  return element;
}

void readPermissionSet(xml::Node element, PermissionSet& permission) {
  PositionalFields fields(element, kPermissionHead);
  fields.read(permission.nPermissionIndex);
  permission.anInkConfigIndexList.clear();
  fields.take([&permission](xml::Node list) { readScalarList(list, permission.anInkConfigIndexList); });
  fields.read(permission.nResolutionIndex);
  fields.read(permission.nModeIndex);

  // The older layout may carry no eScreen, and a V-control list met by name is appended to.
  permission.eScreen = 1;
  permission.anVControlIndexList.clear();
  PermissionTail tail{permission};
  permissionTail().read(fields.rest(), tail);
  if (!tail.recommendedRead) permission.bRecommended = permission.bVisiblePermission;
}

xml::Node writeQualityInfo(xml::Document& document, xml::Node parent, const QualityInfo& quality) {
  xml::Node element = parent.appendChild(document.createElement("QualityInfo"));
  appendValue(element, "nQualityLevel", quality.nQualityLevel);
  appendValue(element, "strQualityName", quality.strQualityName);
  element.appendChild(
      writeScalarList(document, "anPermissionIndexList", "anPermissionIndex", quality.anPermissionIndexList));
  appendValue(element, "bVisibleQuality", quality.bVisibleQuality);
  return element;
}

void readQualityInfo(xml::Node element, QualityInfo& quality) {
  PositionalFields fields(element, kQualityHead);
  fields.read(quality.nQualityLevel);
  fields.read(quality.strQualityName);
  fields.take([&quality](xml::Node list) { readScalarList(list, quality.anPermissionIndexList); });
  qualityTail().read(fields.rest(), quality);
}

xml::Node writeCalibrationInfo(xml::Document& document, xml::Node parent,
                               const CalibrationInfo& calibration) {
  xml::Node element = parent.appendChild(document.createElement("CalibrationInfo"));
  appendValue(element, "nOutputLimit", calibration.nOutputLimit);
  xml::Node density = element.appendElement("density");
  for (float value : calibration.density) appendValue(density, "value", value);
  xml::Node lab = element.appendElement("lab");
  for (const CalibrationLab& step : calibration.lab) {
    xml::Node value = lab.appendElement("value");
    appendValue(value, "l", step.L);
    appendValue(value, "a", step.a);
    appendValue(value, "b", step.b);
  }
  return element;
}

void readCalibrationInfo(xml::Node element, CalibrationInfo& calibration) {
  PositionalFields fields(element, kCalibrationHead);
  fields.read(calibration.nOutputLimit);
  // Only the first 21 children count; more are ignored rather than stored past the table.
  fields.take([&calibration](xml::Node density) { readFixedArray(density, calibration.density); });
  fields.take([&calibration](xml::Node lab) {
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
  });
}

}  // namespace pelagon
