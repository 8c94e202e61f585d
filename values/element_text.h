#pragma once
// The text form of every value element of the device files. Writers make a new element,
// not yet attached, holding the value's text; the caller appends it to the record's
// element, so the file's order is the order of the writer calls. Readers take the element
// and give the value; a missing (null) element raises _com_error(E_POINTER). Malformed
// numbers never fail: they read as 0 or as the number they start with.

#include <cstdint>
#include <string>
#include <string_view>

#include <pelagon/xmlio/dom.h>

namespace pelagon {

// Every real in the device files is written with this many decimals.
inline constexpr int kRealPrecision = 3;

xml::Node writeBoolElement(xml::Document& document, std::string_view name, bool value);
// Also for enumeration codes.
xml::Node writeIntElement(xml::Document& document, std::string_view name, std::int32_t value);
// "%.*f": 1600.0 with precision 3 is "1600.000". Single reals are widened before the call.
xml::Node writeRealElement(xml::Document& document, std::string_view name, double value, int precision);
// The narrow string is taken to be in the ANSI code page.
xml::Node writeStringElement(xml::Document& document, std::string_view name, std::string_view value);

// The same value elements made directly as the last child of `parent`, for writers that
// fill a record's element in order; the saved text is the same.
xml::Node appendBoolElement(xml::Node parent, std::string_view name, bool value);
xml::Node appendIntElement(xml::Node parent, std::string_view name, std::int32_t value);
xml::Node appendRealElement(xml::Node parent, std::string_view name, double value, int precision);
xml::Node appendStringElement(xml::Node parent, std::string_view name, std::string_view value);

// An attribute to be added to an element by the caller.
struct IntAttribute {
  std::string name;
  std::string text;
  void addTo(xml::Node element) const { element.setAttribute(name, text); }
};
IntAttribute writeIntAttribute(xml::Document& document, std::string_view name, std::int32_t value);

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
