#include <pelagon/model/ink_info.h>

#include <array>
#include <string_view>

#include <pelagon/values/record_fields.h>

namespace pelagon {

namespace {


// A component is written as an integer and keeps the low 8 bits of the stored one: 300
// reads as 44, -1 as 255.
template <std::uint8_t InkColor::*Component>
void writeComponent(xml::Node parent, std::string_view name, const InkColor& color) {
  appendValue(parent, name, static_cast<std::int32_t>(color.*Component));
}
template <std::uint8_t InkColor::*Component>
void readComponent(xml::Node element, InkColor& color) {
  color.*Component = static_cast<std::uint8_t>(readValue<std::int32_t>(element) & 0xFF);
}
template <std::uint8_t InkColor::*Component>
constexpr RecordField<InkColor> component(std::string_view name) {
  return customField<InkColor, writeComponent<Component>, readComponent<Component>>(name);
}

// R, G and B are the first three children by position, whatever their names.
constexpr std::array kInkColorFields{component<&InkColor::R>("R"), component<&InkColor::G>("G"),
                                     component<&InkColor::B>("B")};

// The first five by position, the rest by name in any order.
constexpr std::size_t kInkInfoHeadCount = 5;
constexpr std::array kInkInfoFields{
    field<&InkInfo::nInkIndex>("nInkIndex"),
    field<&InkInfo::strLongInkName>("strLongInkName"),
    field<&InkInfo::strShortInkName>("strShortInkName"),
    positionalRecordField<&InkInfo::lightColor, kInkColorFields>("lightColor"),
    positionalRecordField<&InkInfo::darkColor, kInkColorFields>("darkColor"),
    field<&InkInfo::flPrice>("flPrice"),
    field<&InkInfo::nCapacity>("nCapacity"),
};
constexpr auto inkInfoLayout = layoutOf<InkInfoIO::kName, kInkInfoFields, kInkInfoHeadCount>;

// All four by position.
constexpr std::array kInkConfigInfoFields{
    field<&InkConfigInfo::nInkConfigIndex>("nInkConfigIndex"),
    field<&InkConfigInfo::strInkConfigName>("strInkConfigName"),
    field<&InkConfigInfo::strFolderName>("strFolderName"),
    // Not the "value<i>" names of the other fixed arrays: every slot is named "nInkIndex".
    fixedArrayField<&InkConfigInfo::nInkIndexList>("nInkIndexList", "nInkIndex"),
};
constexpr auto inkConfigInfoLayout =
    layoutOf<InkConfigInfoIO::kName, kInkConfigInfoFields, kInkConfigInfoFields.size()>;

}  // namespace

xml::Node appendInkInfo(xml::Node parent, const InkInfo& ink) { return inkInfoLayout().append(parent, ink); }

// Into the target itself, so that a language without a child keeps its text.
void readInkInfo(xml::Node element, InkInfo& ink) { inkInfoLayout().read(element, ink); }

xml::Node appendInkConfigInfo(xml::Node parent, const InkConfigInfo& config) {
  return inkConfigInfoLayout().append(parent, config);
}

void readInkConfigInfo(xml::Node element, InkConfigInfo& config) { inkConfigInfoLayout().read(element, config); }

}  // namespace pelagon
