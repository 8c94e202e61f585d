#pragma once
// The records that tie a medium to the print modes of its device series: a permission set
// (one permitted combination of ink configuration, resolution, mode, passmask, direction,
// screening, V-control points, FM patterns and separation, with its calibration), a
// quality level (what the user picks, standing for a list of permission sets) and the
// calibration record of one input channel. They exist only inside a medium's element.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include <pelagon/model/screen_option.h>
#include <pelagon/platform/growable_array.h>
#include <pelagon/values/localized_text.h>
#include <pelagon/xmlio/dom.h>

namespace pelagon {

inline constexpr std::size_t kCalibrationStepCount = 21;

// The screening code whose settings are the permission set's own screenOption.
inline constexpr std::int32_t kCustomScreen = 8;

// One CIELAB measurement of a calibration step.
struct CalibrationLab {
  float L = 0.0F;
  float a = 0.0F;
  float b = 0.0F;

  friend bool operator==(const CalibrationLab&, const CalibrationLab&) = default;
};

struct CalibrationInfo {
  std::int32_t nOutputLimit = 0;
  std::array<float, kCalibrationStepCount> density{};
  // A file may hold fewer entries; a read leaves the steps it does not reach as they were.
  std::array<CalibrationLab, kCalibrationStepCount> lab{};

  friend bool operator==(const CalibrationInfo&, const CalibrationInfo&) = default;
};

// The index members name records of the device series by their own index fields; nothing
// here resolves or checks them.
struct PermissionSet {
  std::int32_t nPermissionIndex = 0;
  win::GrowableArray<std::int32_t> anInkConfigIndexList;
  std::int32_t nResolutionIndex = 0;
  std::int32_t nModeIndex = 0;
  std::int32_t nPassmaskIndex = 0;
  // Low 16 bits: the permitted directions (bit values 1 and 2); high 16 bits: the selected
  // one (1 or 2). A read fills in a missing selection from the permitted set.
  std::int32_t eDirection = 0;
  // kCustomScreen selects screenOption; other codes belong to the host.
  std::int32_t eScreen = 1;
  // Written only while eScreen is kCustomScreen.
  ScreenOption screenOption;
  win::GrowableArray<std::int32_t> anVControlIndexList;
  win::GrowableArray<std::int32_t> anFMPatternIndexList;
  std::int32_t nSeparationIndex = 0;
  // One entry per input channel of the separation, in channel order.
  win::GrowableArray<CalibrationInfo> aCalibrationInfoList;
  std::int32_t nInkLimit = 0;
  std::string strPrinterProfile;
  std::int32_t nScanSpeed = 0;
  std::int32_t nFeedSpeed = 0;
  bool bVisiblePermission = true;
  // A file without it (the older layout) reads it as bVisiblePermission.
  bool bRecommended = false;
  std::int32_t nRealPassCount = 0;
  std::string strNextPermissionIndex;

  friend bool operator==(const PermissionSet&, const PermissionSet&) = default;
};

struct QualityInfo {
  std::int32_t nQualityLevel = 0;
  LocalizedText strQualityName;
  // nPermissionIndex values of the medium's permission sets.
  win::GrowableArray<std::int32_t> anPermissionIndexList;
  bool bVisibleQuality = true;

  friend bool operator==(const QualityInfo&, const QualityInfo&) = default;
};

// Each writer appends its record's element under `parent`, fills it in document order and
// returns it. Readers do not compare the element's own name.

xml::Node appendPermissionSet(xml::Node parent, const PermissionSet& permission);
// Four children by position (the ink configuration list is emptied first), then eScreen set
// to 1 and the V-control list emptied, then the rest by exact name in any order: unknown
// names are skipped, a scalar met twice keeps the later value, a list met twice is appended
// to twice. A missing positional child, calibration step or Lab component raises
// _com_error(E_POINTER).
void readPermissionSet(xml::Node element, PermissionSet& permission);

xml::Node appendQualityInfo(xml::Node parent, const QualityInfo& quality);
// Three children by position (the permission list is appended to, not emptied), then
// bVisibleQuality by name.
void readQualityInfo(xml::Node element, QualityInfo& quality);

xml::Node appendCalibrationInfo(xml::Node parent, const CalibrationInfo& calibration);
// All by position: the limit, the first 21 densities (fewer raise E_POINTER), then at most
// 21 Lab entries, each its first three children as L, a, b; entries beyond the 21st are
// ignored.
void readCalibrationInfo(xml::Node element, CalibrationInfo& calibration);

// The selected direction (high half) filled in from the permitted set (low half) when it
// is neither 1 nor 2: direction 2 if permitted, else 1 if permitted, else left alone.
std::int32_t normalizeDirection(std::int32_t eDirection);

}  // namespace pelagon
