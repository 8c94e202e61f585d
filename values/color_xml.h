#pragma once
// The XML form of colour values: an element whose children are the colour's channel elements,
// each empty and carrying its value in a "VALUE" attribute.
//
//   <CMYKColor><C VALUE="255"/><M VALUE="0"/><Y VALUE="10"/><K VALUE="3"/></CMYKColor>
//
// Byte channels are written as decimal integers, Lab channels with exactly two decimals.

#include <memory>
#include <string_view>

#include <pelagon/values/color.h>
#include <pelagon/xmlio/dom.h>

namespace pelagon {

// Appends an element named `elementName` under `parent` holding the colour's channel
// elements in channel order; a null node, and nothing made, for a colour-space code without
// a class.
xml::Node appendColorContent(xml::Node parent, std::string_view elementName, const AbstractColor& color);

// The same, with the element named after the class: "RGBColor", "CMYKColor", "CMYKOGColor"
// or "LabColor".
xml::Node appendTypedColor(xml::Node parent, const AbstractColor& color);

// Each reader takes the channel elements among the element's children by exact name, in any
// order, the later of two with the same name winning; other children are skipped and a
// missing channel reads as 0. Values follow the C atoi (byte channels) and atof (Lab) rules.
// A channel element without "VALUE", or a null element, raises _com_error(E_POINTER).
std::unique_ptr<RGBColor> readRGBColor(xml::Node element);
std::unique_ptr<CMYKColor> readCMYKColor(xml::Node element);
std::unique_ptr<CMYKOGColor> readCMYKOGColor(xml::Node element);
std::unique_ptr<LabColor> readLabColor(xml::Node element);

// Reads an element named "RGBColor", "CMYKColor" or "CMYKOGColor" (case-sensitive) with its
// class reader. Any other name gives nullptr, "LabColor" included: stored documents have
// always read that way, so a typed Lab colour must be read with readLabColor.
std::unique_ptr<AbstractColor> readTypedColor(xml::Node element);

}  // namespace pelagon
