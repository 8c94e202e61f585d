#pragma once
// The custom halftone screen settings a permission set may carry ("screenOption"), and the
// default screen angles put in when its angle list does not fit the separation.

#include <cstdint>
#include <span>

#include <pelagon/platform/growable_array.h>
#include <pelagon/xmlio/dom.h>

namespace pelagon {

struct ScreenOption {
  bool bUseCustomSetting = false;
  // Screen ruling in lines.
  std::int32_t nLineCount = 30;
  // The host RIP's dot shape code, carried unchanged.
  std::int32_t eDotShape = 1;
  // One angle in degrees per input channel, in channel order.
  win::GrowableArray<float> flDegrees;

  friend bool operator==(const ScreenOption&, const ScreenOption&) = default;
};

// Appends a "screenOption" element under `parent`; the angles are written as
// "flDegree0", "flDegree1", ... with three decimals.
xml::Node appendScreenOption(xml::Node parent, const ScreenOption& option);

// Fields by name, in any order; unknown children are skipped and absent ones keep their
// values. A "flDegrees" child replaces the angles with all of its children, whatever their
// names.
void readScreenOption(xml::Node element, ScreenOption& option);

// The default angles for a separation with `channelCount` input channels: a set for 4 and
// for 6 channels, empty for any other count.
std::span<const float> defaultScreenAngles(int channelCount);

// Fits the angle list to a separation with `channelCount` input channels, after a
// document is read. A list of the right length is left alone. Otherwise, for 4 or 6
// channels it becomes the default set; for other counts it is cut or padded with 0.0 to
// the count. A negative count, which no channel list has, leaves the list alone.
// Raises _com_error(E_OUTOFMEMORY) when the list cannot grow.
void fitScreenAngles(ScreenOption& option, int channelCount);

}  // namespace pelagon
