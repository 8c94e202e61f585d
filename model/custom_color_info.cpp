#include <pelagon/model/custom_color_info.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <string_view>

#include <pelagon/values/color.h>
#include <pelagon/values/color_xml.h>
#include <pelagon/values/record_fields.h>

namespace pelagon {
namespace {

constexpr std::string_view kUVLampPower = "UVLampPower";
constexpr std::string_view kPosition = "position";
constexpr std::string_view kCustomColorInfo = "CustomColorInfo";
constexpr std::string_view kMatchLibName = "strMatchLibName";

constexpr std::array kUVLampPowerFields{
    field<&UVLampPower::nForwardPower>("nForwardPower"),
    field<&UVLampPower::nBackwardPower>("nBackwardPower"),
};

const NamedFields<UVLampPower>& uvLampPowerFields() {
  static const NamedFields<UVLampPower> fields(kUVLampPowerFields);
  return fields;
}

template <typename Color>
void appendRecipe(xml::Node element, const CustomColorInfo& color) {
  Color recipe;
  for (std::int32_t i = 0; i < Color::info().channelCount(); ++i) {
    recipe.setChannel(i, static_cast<float>(color.channels[static_cast<std::size_t>(i)]));
  }
  appendTypedColor(element, recipe);
}

// A byte channel reads back as a whole number from 0 to 255, so the rounding never leaves
// the byte's range.
template <typename Color>
void takeRecipe(const Color& recipe, CustomColorInfo& color) {
  color.nColorSpace = Color::kColorSpace;
  for (std::int32_t i = 0; i < Color::info().channelCount(); ++i) {
    color.channels[static_cast<std::size_t>(i)] =
        static_cast<std::uint8_t>(std::lround(recipe.getChannel(i)));
  }
}

}  // namespace

xml::Node appendUVLampPower(xml::Node parent, const UVLampPower& entry, std::int32_t position) {
  xml::Node element = parent.appendElement(kUVLampPower);
  setIntAttribute(element, kPosition, position);
  appendFields<UVLampPower>(element, kUVLampPowerFields, entry);
  return element;
}

bool readUVLampPower(xml::Node element, UVLampPower& entry, std::int32_t& position) {
  // Non-element children (text, comments) carry no attribute and are rejected here too.
  if (!element.attribute(kPosition)) return false;
  const std::int32_t read = readIntAttribute(element, kPosition);
  if (read != 0 && read != 1) return false;
  position = read;
  uvLampPowerFields().read(element, entry);
  return true;
}

xml::Node appendCustomColorInfo(xml::Node parent, const CustomColorInfo& color) {
  xml::Node element = parent.appendElement(kCustomColorInfo);
  appendValue(element, "strColorName", color.strColorName);
  if (color.nColorSpace == kCustomColorCMYK) {
    appendRecipe<CMYKColor>(element, color);
  } else if (color.nColorSpace == kCustomColorCMYKOG) {
    appendRecipe<CMYKOGColor>(element, color);
  }
  appendValue(element, kMatchLibName, color.strMatchLibName);
  return element;
}

void readCustomColorInfo(xml::Node element, CustomColorInfo& color) {
  PositionalFields fields(element);
  fields.read(color.strColorName);
  const xml::Node recipe = fields.next();
  const std::string_view recipeName = recipe.name();
  if (recipeName == CMYKColor::info().typedElementName) {
    takeRecipe(*readCMYKColor(recipe), color);
  } else if (recipeName == CMYKOGColor::info().typedElementName) {
    takeRecipe(*readCMYKOGColor(recipe), color);
  } else {
    // Without a recipe the writer puts the library name second; reading it there keeps a
    // written colour's library name instead of dropping it.
    if (recipe.type() == xml::NodeType::Element && recipeName == kMatchLibName) {
      color.strMatchLibName = readValue<std::string>(recipe);
    }
    return;
  }
  fields.read(color.strMatchLibName);
}

}  // namespace pelagon
