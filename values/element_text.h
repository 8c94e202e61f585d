#pragma once
// The text form of every value element of the device files. Writers append the element,
// holding the value's text, under the record's element, so the file's order is the order
// of the writer calls. Readers take the element
// and give the value; a missing (null) element raises _com_error(E_POINTER). Malformed
// numbers never fail: they read as 0 or as the number they start with.

#include <cstdint>
#include <string>
#include <string_view>

#include <pelagon/xmlio/dom.h>

namespace pelagon {

// Every real in the device files is written with this many decimals.
inline constexpr int kRealPrecision = 3;

// Each writer makes its value element as the last child of `parent`. Single reals are
// widened before the call: "%.*f", so 1600.0 with precision 3 is "1600.000". The narrow
// string is taken to be in the ANSI code page. Ints are also for enumeration codes.
xml::Node appendBoolElement(xml::Node parent, std::string_view name, bool value);
xml::Node appendIntElement(xml::Node parent, std::string_view name, std::int32_t value);
xml::Node appendRealElement(xml::Node parent, std::string_view name, double value, int precision);
xml::Node appendStringElement(xml::Node parent, std::string_view name, std::string_view value);

// Sets the attribute to the integer's text.
void setIntAttribute(xml::Node element, std::string_view name, std::int32_t value);

// Only the exact text "true" is true.
bool readBoolElement(xml::Node element);
std::int32_t readIntElement(xml::Node element);
double readRealElement(xml::Node element);
// A real narrowed to 32 bits, for the fields the files keep as single reals.
float readFloatElement(xml::Node element);
std::string readStringElement(xml::Node element);
// The attribute's text read as an integer; a missing attribute raises E_POINTER.
std::int32_t readIntAttribute(xml::Node element, std::string_view name);

}  // namespace pelagon
