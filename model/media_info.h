#pragma once
// One medium preset of a printer series: its names, the print-mode permissions and quality
// levels offered on it, heater, vacuum, feed-calibration and cutting settings, a time stamp
// and a block of later-added switches. Device-series documents hold one "MediaInfo" element
// per medium in aMediaInfoList, media-setting files in "data".

#include <cstdint>
#include <string>

#include <pelagon/model/record_document.h>
#include <pelagon/model/permission_set.h>
#include <pelagon/platform/growable_array.h>
#include <pelagon/values/localized_text.h>
#include <pelagon/xmlio/dom.h>
#include <pelagon/xmlio/time_stamp.h>

namespace pelagon {

// Members in document order. The first 17 are found by position and every read fills them;
// the rest are found by name, and those without an element keep their values.
struct MediaInfo {
  LocalizedText strMediaName;
  // Repeats strMediaName in the media-setting files; empty in the device-series files.
  LocalizedText strBaseMediaName;
  win::GrowableArray<PermissionSet> aPermissionSetList;
  win::GrowableArray<QualityInfo> aQualityInfoList;
  // An nQualityLevel of aQualityInfoList.
  std::int32_t nDefaultLevel = 0;
  std::int32_t nDryTime = 0;
  // A stored -1 reads as 0.
  std::int32_t nVacuumPower = 0;
  std::int32_t eHeadHeight = 0;
  // One entry per model of the series, in the order of the series' model list.
  win::GrowableArray<float> aflFeedCalibration;
  std::int32_t nPreHeater = 0;
  std::int32_t nPrintHeater = 0;
  // A stored 0 switches the dryer off unless a bDrierEnable element says otherwise.
  std::int32_t nDryHeater = 0;
  std::int32_t nCutCount = 0;
  std::int32_t nCutVelocity = 0;
  std::int32_t nCutForce = 0;
  float flCutOffset = 0.0f;
  TimeStampValue TimeStamp;
  bool bVisibleMedia = true;
  bool bCuttingMedia = true;
  bool bUpdateNeeded = false;
  std::int32_t nInputRoute = 0;
  bool bPreHeaterEnable = true;
  bool bPrinterHeaterEnable = true;
  bool bDrierEnable = true;
  std::int32_t nMediaAttribute = 0;
  // A truth value kept as 0 or 1.
  std::int32_t bHideUnrecommendedMode = 1;
  float flNormalCutForceRange = 0.5f;
  float flDeepCutForceRange = 50.0f;
  // Both cut forces are stored in the real form ("170.000") and read back as integers.
  std::int32_t nDeepCutForce = 170;
  // Absent from the media-setting files' older layout.
  std::int32_t nHalfCutForce = 0;
  std::int32_t nOverPrintCount = 1;
  bool bUseDensityCalibration = false;

  friend bool operator==(const MediaInfo&, const MediaInfo&) = default;
};

// Appends a "MediaInfo" element under `parent`, fills it with all 32 children (empty lists
// as empty elements) and returns it.
xml::Node appendMediaInfo(xml::Node parent, const MediaInfo& media);
// Reads the element's children into `media`; the element's own name is not compared. The
// first 17 go by position (fewer raise _com_error(E_POINTER), keeping what was read so
// far), the rest by name in any order, unknown names skipped, the later of two winning.
// The three lists are appended to, so the target should be a fresh record.
void readMediaInfo(xml::Node element, MediaInfo& media);

// A file holding one "MediaInfo" element as its document element. A failed save raises
// its _com_error; a file that cannot be loaded raises E_POINTER from the reader, as does
// a broken record; a file without a top-level "MediaInfo" reads nothing and gives true.
using MediaInfoIO = RecordIO<MediaInfo, appendMediaInfo, readMediaInfo, "MediaInfo", RecordFileRules::Strict>;
// A medium as a list entry, labelled by its English name.
inline constexpr auto kMediaInfoEntries =
    MediaInfoIO::Entries([](const MediaInfo& media) -> std::string_view { return media.strMediaName[0]; });

}  // namespace pelagon
