#include <pelagon/model/ink_info.h>

#include <array>
#include <string_view>

#include <pelagon/model/record_document.h>
#include <pelagon/values/record_fields.h>

namespace pelagon {

namespace {

constexpr std::string_view kInkInfoName = "InkInfo";
constexpr std::string_view kInkConfigInfoName = "InkConfigInfo";

constexpr std::array<std::string_view, 3> kInkColorNames{"R", "G", "B"};
constexpr std::array<std::string_view, 5> kInkInfoHead{"nInkIndex", "strLongInkName", "strShortInkName",
                                                       "lightColor", "darkColor"};
constexpr std::array<std::string_view, 4> kInkConfigInfoHead{"nInkConfigIndex", "strInkConfigName",
                                                             "strFolderName", "nInkIndexList"};

xml::Node writeInkColor(xml::Document& document, std::string_view name, const InkColor& color) {
  xml::Node element = document.createElement(name);
  element.appendChild(writeIntElement(document, "R", color.R));
  element.appendChild(writeIntElement(document, "G", color.G));
  element.appendChild(writeIntElement(document, "B", color.B));
  return element;
}

// A component keeps the low 8 bits of the stored integer: 300 reads as 44, -1 as 255.
std::uint8_t lowByte(std::int32_t value) { return static_cast<std::uint8_t>(value & 0xFF); }

// R, G and B are the first three children by position, whatever their names.
void readInkColor(xml::Node element, InkColor& color) {
  PositionalFields components(element, kInkColorNames);
  color.R = lowByte(components.read<std::int32_t>());
  color.G = lowByte(components.read<std::int32_t>());
  color.B = lowByte(components.read<std::int32_t>());
}

const NamedFields<InkInfo>& inkInfoTail() {
  static const NamedFields<InkInfo> fields{
      field<&InkInfo::flPrice>("flPrice"),
      field<&InkInfo::nCapacity>("nCapacity"),
  };
  return fields;
}

}  // namespace

xml::Node InkInfoIO::WriteInkInfo(xml::Document& document, xml::Node parent, const InkInfo& ink) const {
  xml::Node element = parent.appendChild(document.createElement(kInkInfoName));
  appendValue(element, "nInkIndex", ink.nInkIndex);
  appendValue(element, "strLongInkName", ink.strLongInkName);
  appendValue(element, "strShortInkName", ink.strShortInkName);
  element.appendChild(writeInkColor(document, "lightColor", ink.lightColor));
  element.appendChild(writeInkColor(document, "darkColor", ink.darkColor));
  appendValue(element, "flPrice", ink.flPrice);
  appendValue(element, "nCapacity", ink.nCapacity);
  return element;
}

void InkInfoIO::ReadInkInfo(xml::Node element, InkInfo& ink) const {
  PositionalFields fields(element, kInkInfoHead);
  fields.read(ink.nInkIndex);
  // Into the target itself, so that a language without a child keeps its text.
  fields.read(ink.strLongInkName);
  fields.read(ink.strShortInkName);
  fields.take([&ink](xml::Node color) { readInkColor(color, ink.lightColor); });
  fields.take([&ink](xml::Node color) { readInkColor(color, ink.darkColor); });
  inkInfoTail().read(fields.rest(), ink);
}

bool InkInfoIO::WriteRecordFile(const std::string& path, const InkInfo& ink) const {
  return pelagon::WriteSingleRecordFile(
      path, ink, [this](xml::Document& document, xml::Node parent, const InkInfo& value) {
        return WriteInkInfo(document, parent, value);
      });
}

bool InkInfoIO::ReadRecordFile(const std::string& path, InkInfo& ink) const {
  return pelagon::ReadSingleRecordFile(
      path, kInkInfoName, ink, [this](xml::Node element, InkInfo& value) { ReadInkInfo(element, value); });
}

xml::Node InkConfigInfoIO::WriteInkConfigInfo(xml::Document& document, xml::Node parent,
                                              const InkConfigInfo& config) const {
  xml::Node element = parent.appendChild(document.createElement(kInkConfigInfoName));
  appendValue(element, "nInkConfigIndex", config.nInkConfigIndex);
  appendValue(element, "strInkConfigName", config.strInkConfigName);
  appendValue(element, "strFolderName", config.strFolderName);
  // Not the "value<i>" names of the other fixed arrays: every slot is named "nInkIndex".
  xml::Node slots = element.appendElement("nInkIndexList");
  for (std::int32_t inkIndex : config.nInkIndexList) appendValue(slots, "nInkIndex", inkIndex);
  return element;
}

void InkConfigInfoIO::ReadInkConfigInfo(xml::Node element, InkConfigInfo& config) const {
  PositionalFields fields(element, kInkConfigInfoHead);
  fields.read(config.nInkConfigIndex);
  fields.read(config.strInkConfigName);
  fields.read(config.strFolderName);
  fields.take([&config](xml::Node slots) { readFixedArray(slots, config.nInkIndexList); });
}

bool InkConfigInfoIO::WriteRecordFile(const std::string& path, const InkConfigInfo& config) const {
  return pelagon::WriteSingleRecordFileLenient(
      path, config, [this](xml::Document& document, xml::Node parent, const InkConfigInfo& value) {
        return WriteInkConfigInfo(document, parent, value);
      });
}

bool InkConfigInfoIO::ReadRecordFile(const std::string& path, InkConfigInfo& config) const {
  return pelagon::ReadSingleRecordFileLenient(
      path, kInkConfigInfoName, config,
      [this](xml::Node element, InkConfigInfo& value) { ReadInkConfigInfo(element, value); });
}

}  // namespace pelagon
