#pragma once
// The print mode record: the inks a mode drives, its dot size and bit depth, the ink volume
// table, nozzle mask, passes, job language option, feed resolution, timing values and the
// UV lamp power of the two lamp positions. Media permission sets refer to a mode by
// nModeIndex.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include <pelagon/model/custom_color_info.h>
#include <pelagon/model/record_document.h>
#include <pelagon/xmlio/dom.h>

namespace pelagon {

inline constexpr std::size_t kModeInkSlotCount = 24;
inline constexpr std::size_t kUVLampPositionCount = 2;

// Members in memory order, which differs from the document order for nInkVolumeIndex.
struct ModeInfo {
  std::int32_t nModeIndex = 0;
  std::string strModeName;
  std::int32_t nInkNum = 0;
  // One ink code per slot; an empty slot holds -1.
  std::array<std::int32_t, kModeInkSlotCount> nInkIndexList{};
  std::int32_t nBitsPerPixel = 0;
  std::int32_t nDotType = 0;
  std::string strDotSize;
  // Head and nozzle ranges between slashes, sometimes followed by a line feed and a
  // printer job language line; kept byte for byte.
  std::string strNozzleMask;
  std::int32_t nPassesPerLine = 0;
  std::string strPJLOption;
  float flFeedResolutionPerPass = 180.0f;
  std::int32_t nInkVolumeIndex = -1;
  std::int32_t nNozzleMaskCount = 0;
  std::int32_t nEmptyPathLength = 0;
  std::int32_t nAdditionalPrintingTime = 0;
  // Indexed by lamp position. Copying the record leaves each entry's reference behind.
  std::array<UVLampPower, kUVLampPositionCount> aUVLampPowerList{};

  friend bool operator==(const ModeInfo&, const ModeInfo&) = default;
};

// Appends a "ModeInfo" element under `parent` and returns it. The UV lamp list is left
// empty while every power equals its entry's reference and 100, the value a reader
// starts from; otherwise both positions are written.
xml::Node appendModeInfo(xml::Node parent, const ModeInfo& mode);
// The first seven children by position (names are not compared; the ink slots are the
// first 24 children of the fourth), then the rest by name in any order, the later of two
// winning; absent ones keep their values, except nNozzleMaskCount, which starts at 0. A
// missing positional child or slot raises _com_error(E_POINTER). UV lamp entries whose
// position is not 0 or 1 are skipped.
void readModeInfo(xml::Node element, ModeInfo& mode);

// A file holding one "ModeInfo" element. A failed save raises its _com_error; a file
// that cannot be loaded raises E_POINTER from the reader; a file without the element
// reads nothing and gives true.
using ModeInfoIO = RecordIO<ModeInfo, appendModeInfo, readModeInfo, "ModeInfo", RecordFileRules::Strict>;

}  // namespace pelagon
