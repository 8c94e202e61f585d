#pragma once
// The control values of the variable-dot control for one set of conditions: five values
// for each of the small, medium and large dots. Permission sets refer to a point by its
// nVControlIndex.

#include <cstdint>
#include <string>

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

struct VControlPointIO {
  // Appends a "VControlPoint" element under `parent` and returns it; reals keep three decimals.
  xml::Node WriteVControlPoint(xml::Document& document, xml::Node parent, const VControlPoint& point) const;
  // Every field is read by name, in any order; the element's own name is not compared, and
  // fields without a child keep what `point` held.
  void ReadVControlPoint(xml::Node element, VControlPoint& point) const;

  // The lenient single-record file, with the record as the document element. Any failure to
  // build or save the file gives false.
  bool WriteRecordFile(const std::string& path, const VControlPoint& point) const;
  // Reads the first "VControlPoint" element anywhere in the document and gives true. A file
  // that cannot be loaded or parsed, or a document without such an element, raises
  // _com_error(E_POINTER) to the caller and leaves `point` as it was.
  bool ReadRecordFile(const std::string& path, VControlPoint& point) const;
};

}  // namespace pelagon
