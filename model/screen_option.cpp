#include <pelagon/model/screen_option.h>

#include <array>

#include <pelagon/values/record_fields.h>

namespace pelagon {

namespace {

constexpr std::array<float, 4> kFourChannelAngles{30.0F, 45.0F, 90.0F, 60.0F};
constexpr std::array<float, 6> kSixChannelAngles{15.0F, 45.0F, 90.0F, 75.0F, 45.0F, 45.0F};

// The angles list is emptied before it is read, and written with indexed names.
void writeDegrees(xml::Node parent, std::string_view name, const ScreenOption& option) {
  appendIndexedList(parent, name, "flDegree", option.flDegrees);
}
void readDegrees(xml::Node element, ScreenOption& option) {
  option.flDegrees.clear();
  readScalarList(element, option.flDegrees);
}

// Every field by name, in any order.
constexpr std::array kFields{
    field<&ScreenOption::bUseCustomSetting>("bUseCustomSetting"),
    field<&ScreenOption::nLineCount>("nLineCount"),
    field<&ScreenOption::eDotShape>("eDotShape"),
    customField<ScreenOption, writeDegrees, readDegrees>("flDegrees"),
};

constexpr auto layout = layoutOf<"screenOption", kFields, 0>;

}  // namespace

xml::Node appendScreenOption(xml::Node parent, const ScreenOption& option) {
  return layout().append(parent, option);
}

void readScreenOption(xml::Node element, ScreenOption& option) { layout().read(element, option); }

std::span<const float> defaultScreenAngles(int channelCount) {
  switch (channelCount) {
    case 4:
      return kFourChannelAngles;
    case 6:
      return kSixChannelAngles;
    default:
      return {};
  }
}

void fitScreenAngles(ScreenOption& option, int channelCount) {
  win::GrowableArray<float>& angles = option.flDegrees;
  if (channelCount < 0 || angles.size() == channelCount) return;
  const std::span<const float> defaults = defaultScreenAngles(channelCount);
  if (!defaults.empty()) {
    angles.clear();
    for (float angle : defaults) appendOrThrow(angles, angle);
    return;
  }
  if (!angles.resize(channelCount)) throw win::_com_error(win::E_OUTOFMEMORY);
}

}  // namespace pelagon
