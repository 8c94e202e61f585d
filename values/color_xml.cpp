#include <pelagon/values/color_xml.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include <pelagon/values/read_error.h>
#include <pelagon/xmlio/dom_creator.h>
#include <pelagon/xmlio/number_text.h>

namespace pelagon {

namespace {

constexpr std::string_view kValueAttribute = "VALUE";
constexpr int kLabDecimals = 2;

constexpr std::size_t maxChannelCount() {
  std::size_t most = 0;
  for (const ColorSpaceInfo& space : kColorSpaces) most = std::max(most, space.channelElements.size());
  return most;
}

// One slot per channel of the widest class; a class uses the leading slots.
using ChannelValues = std::array<float, maxChannelCount()>;

// The classes readTypedColor knows. "LabColor" is missing on purpose: the typed reader of the
// stored format never recognised it, and documents rely on such an element reading as none.
constexpr std::array<const ColorSpaceInfo*, 3> kTypedReadable{&RGBColor::info(), &CMYKColor::info(),
                                                              &CMYKOGColor::info()};

std::string channelText(ChannelType type, float value) {
  return type == ChannelType::Byte ? formatInt(truncateToInt32(value)) : formatReal(value, kLabDecimals);
}

float channelFromText(ChannelType type, std::string_view text) {
  return type == ChannelType::Byte ? static_cast<float>(parseCInt(text)) : narrowToFloat(parseCReal(text));
}

xml::Node appendChannels(xml::Node parent, std::string_view elementName, const ColorSpaceInfo& space,
                         const AbstractColor& color) {
  xml::Node element = parent.appendElement(elementName);
  for (std::int32_t i = 0; i < space.channelCount(); ++i) {
    element.appendElement(space.channelElements[static_cast<std::size_t>(i)])
        .setAttribute(kValueAttribute, channelText(space.channelType, color.getChannel(i)));
  }
  return element;
}

ChannelValues readChannelValues(const ColorSpaceInfo& space, xml::Node element) {
  ChannelValues values{};
  for (xml::Node child : element.children()) {
    // A processing instruction reports its target as its name, but is no channel element.
    if (child.type() != xml::NodeType::Element) continue;
    const auto match = std::ranges::find(space.channelElements, child.name());
    if (match == space.channelElements.end()) continue;
    const std::string text = ReadNodeText(requiredAttribute(child, kValueAttribute));
    values[static_cast<std::size_t>(match - space.channelElements.begin())] =
        channelFromText(space.channelType, text);
  }
  return values;
}

void setChannels(AbstractColor& color, const ColorSpaceInfo& space, const ChannelValues& values) {
  for (std::int32_t i = 0; i < space.channelCount(); ++i) {
    color.setChannel(i, values[static_cast<std::size_t>(i)]);
  }
}

// The whole element is read before the colour exists, so a failing child leaves nothing behind.
template <class MakeColor>
auto readColor(const ColorSpaceInfo& space, xml::Node element, MakeColor makeColor) {
  const ChannelValues values = readChannelValues(space, element);
  auto color = makeColor();
  setChannels(*color, space, values);
  return color;
}

template <class Color>
std::unique_ptr<Color> readClass(xml::Node element) {
  return readColor(Color::info(), element, [] { return std::make_unique<Color>(); });
}

}  // namespace

xml::Node appendColorContent(xml::Node parent, std::string_view elementName, const AbstractColor& color) {
  const ColorSpaceInfo* space = findColorSpace(color.colorSpace());
  if (space == nullptr) return xml::Node();
  return appendChannels(parent, elementName, *space, color);
}

xml::Node appendTypedColor(xml::Node parent, const AbstractColor& color) {
  const ColorSpaceInfo* space = findColorSpace(color.colorSpace());
  if (space == nullptr) return xml::Node();
  return appendChannels(parent, space->typedElementName, *space, color);
}

std::unique_ptr<RGBColor> readRGBColor(xml::Node element) { return readClass<RGBColor>(element); }
std::unique_ptr<CMYKColor> readCMYKColor(xml::Node element) { return readClass<CMYKColor>(element); }
std::unique_ptr<CMYKOGColor> readCMYKOGColor(xml::Node element) { return readClass<CMYKOGColor>(element); }
std::unique_ptr<LabColor> readLabColor(xml::Node element) { return readClass<LabColor>(element); }

std::unique_ptr<AbstractColor> readTypedColor(xml::Node element) {
  const std::string_view name = element.name();
  for (const ColorSpaceInfo* space : kTypedReadable) {
    if (name == space->typedElementName) return readColor(*space, element, space->create);
  }
  return nullptr;
}

}  // namespace pelagon
