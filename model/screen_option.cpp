#include <pelagon/model/screen_option.h>

#include <array>

#include <pelagon/values/record_fields.h>

namespace pelagon {

namespace {

constexpr std::array<float, 4> kFourChannelAngles{30.0F, 45.0F, 90.0F, 60.0F};
constexpr std::array<float, 6> kSixChannelAngles{15.0F, 45.0F, 90.0F, 75.0F, 45.0F, 45.0F};

const NamedFields<ScreenOption>& namedFields() {
  static const NamedFields<ScreenOption> fields{
      field<&ScreenOption::bUseCustomSetting>("bUseCustomSetting"),
      field<&ScreenOption::nLineCount>("nLineCount"),
      field<&ScreenOption::eDotShape>("eDotShape"),
      {"flDegrees",
       +[](xml::Node element, ScreenOption& option) {
         option.flDegrees.clear();
         readScalarList(element, option.flDegrees);
       }},
  };
  return fields;
}

}  // namespace

xml::Node writeScreenOption(xml::Document& document, const ScreenOption& option) {
  xml::Node element = document.createElement("screenOption");
  appendValue(element, "bUseCustomSetting", option.bUseCustomSetting);
  appendValue(element, "nLineCount", option.nLineCount);
  appendValue(element, "eDotShape", option.eDotShape);
  element.appendChild(writeIndexedList(document, "flDegrees", "flDegree", option.flDegrees));
  return element;
}

void readScreenOption(xml::Node element, ScreenOption& option) { namedFields().read(element, option); }

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
