#pragma once
// The control values of the variable-dot control for one set of conditions: five values
// for each of the small, medium and large dots. Permission sets refer to a point by its
// nVControlIndex.

#include <cstdint>
#include <string>

#include <pelagon/model/record_document.h>
#include <pelagon/xmlio/dom.h>

namespace pelagon {

struct VControlPoint {
  std::int32_t nVControlIndex = 0;
  double dSmallStart = 0.0;
  double dSmallPeak = 0.0;
  double dSmallMax = 0.0;
  double dSmallEnd = 0.0;
  double dSmallEndMax = 0.0;
  double dMediumStart = 0.0;
  double dMediumPeak = 0.0;
  double dMediumMax = 0.0;
  double dMediumEnd = 0.0;
  double dMediumEndMax = 0.0;
  double dLargeStart = 0.0;
  double dLargePeak = 0.0;
  double dLargeMax = 0.0;
  double dLargeEnd = 0.0;
  double dLargeEndMax = 0.0;

  friend bool operator==(const VControlPoint&, const VControlPoint&) = default;
};

// Appends a "VControlPoint" element under `parent` and returns it; reals keep three decimals.
xml::Node appendVControlPoint(xml::Node parent, const VControlPoint& point);
// Every field is read by name, in any order; the element's own name is not compared, and
// fields without a child keep what `point` held.
void readVControlPoint(xml::Node element, VControlPoint& point);

// The lenient single-record file, with the record as the document element. Any failure to
// build or save the file gives false. The reader reads the first "VControlPoint" element
// anywhere in the document and gives true. A file that cannot be loaded or parsed, or a
// document without such an element, raises _com_error(E_POINTER) to the caller and leaves
// `point` as it was.
using VControlPointIO = RecordIO<VControlPoint, appendVControlPoint, readVControlPoint, "VControlPoint",
                                 RecordFileRules::LenientAnywhere>;

}  // namespace pelagon
