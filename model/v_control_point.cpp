#include <pelagon/model/v_control_point.h>

#include <array>
#include <string_view>

#include <pelagon/values/record_fields.h>

namespace pelagon {

namespace {


// Every field by name, in any order.
constexpr std::array kFields{
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

constexpr auto layout = layoutOf<VControlPointIO::kName, kFields, 0>;

}  // namespace

xml::Node appendVControlPoint(xml::Node parent, const VControlPoint& point) {
  return layout().append(parent, point);
}

void readVControlPoint(xml::Node element, VControlPoint& point) { layout().read(element, point); }

}  // namespace pelagon
