#include <pelagon/model/v_control_point.h>

#include <array>
#include <string_view>
#include <utility>

#include <pelagon/model/record_document.h>
#include <pelagon/platform/hresult.h>
#include <pelagon/values/record_fields.h>
#include <pelagon/xmlio/record_file.h>

namespace pelagon {

namespace {

constexpr std::string_view kElementName = "VControlPoint";

// The fifteen reals in document order, after nVControlIndex.
constexpr std::array<std::pair<std::string_view, double VControlPoint::*>, 15> kReals{{
    {"dSmallStart", &VControlPoint::dSmallStart},
    {"dSmallPeak", &VControlPoint::dSmallPeak},
    {"dSmallMax", &VControlPoint::dSmallMax},
    {"dSmallEnd", &VControlPoint::dSmallEnd},
    {"dSmallEndMax", &VControlPoint::dSmallEndMax},
    {"dMediumStart", &VControlPoint::dMediumStart},
    {"dMediumPeak", &VControlPoint::dMediumPeak},
    {"dMediumMax", &VControlPoint::dMediumMax},
    {"dMediumEnd", &VControlPoint::dMediumEnd},
    {"dMediumEndMax", &VControlPoint::dMediumEndMax},
    {"dLargeStart", &VControlPoint::dLargeStart},
    {"dLargePeak", &VControlPoint::dLargePeak},
    {"dLargeMax", &VControlPoint::dLargeMax},
    {"dLargeEnd", &VControlPoint::dLargeEnd},
    {"dLargeEndMax", &VControlPoint::dLargeEndMax},
}};

const NamedFields<VControlPoint>& namedFields() {
  static const NamedFields<VControlPoint> fields{
      field<&VControlPoint::nVControlIndex>("nVControlIndex"),
      field<&VControlPoint::dSmallStart>("dSmallStart"),
      field<&VControlPoint::dSmallPeak>("dSmallPeak"),
      field<&VControlPoint::dSmallMax>("dSmallMax"),
      field<&VControlPoint::dSmallEnd>("dSmallEnd"),
      field<&VControlPoint::dSmallEndMax>("dSmallEndMax"),
      field<&VControlPoint::dMediumStart>("dMediumStart"),
      field<&VControlPoint::dMediumPeak>("dMediumPeak"),
      field<&VControlPoint::dMediumMax>("dMediumMax"),
      field<&VControlPoint::dMediumEnd>("dMediumEnd"),
      field<&VControlPoint::dMediumEndMax>("dMediumEndMax"),
      field<&VControlPoint::dLargeStart>("dLargeStart"),
      field<&VControlPoint::dLargePeak>("dLargePeak"),
      field<&VControlPoint::dLargeMax>("dLargeMax"),
      field<&VControlPoint::dLargeEnd>("dLargeEnd"),
      field<&VControlPoint::dLargeEndMax>("dLargeEndMax"),
  };
  return fields;
}

}  // namespace

xml::Node VControlPointIO::WriteVControlPoint(xml::Document& document, xml::Node parent,
                                              const VControlPoint& point) const {
  xml::Node element = parent.appendChild(document.createElement(kElementName));
  appendValue(element, "nVControlIndex", point.nVControlIndex);
  for (const auto& [name, member] : kReals) appendValue(element, name, point.*member);
  return element;
}

void VControlPointIO::ReadVControlPoint(xml::Node element, VControlPoint& point) const {
  namedFields().read(element, point);
}

bool VControlPointIO::WriteRecordFile(const std::string& path, const VControlPoint& point) const {
  return pelagon::WriteSingleRecordFileLenient(
      path, point, [this](xml::Document& document, xml::Node parent, const VControlPoint& value) {
        return WriteVControlPoint(document, parent, value);
      });
}

bool VControlPointIO::ReadRecordFile(const std::string& path, VControlPoint& point) const {
  return pelagon::ReadRecordFileLenient(
      path, point, [this](const xml::DocumentPtr& document, VControlPoint& value) {
        if (!document) throw win::_com_error(win::E_POINTER);
        // A missing element is a null node, which the reader turns into E_POINTER.
        ReadVControlPoint(document->node().firstElementByTagName(kElementName), value);
      });
}

}  // namespace pelagon
