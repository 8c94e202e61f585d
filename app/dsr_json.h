#pragma once
// A written device file as JSON, so two files can be compared with ordinary tools. Every
// element becomes a value typed by its name's prefix (n and e integers, d and fl numbers,
// b truth values, everything else text); lists and fixed arrays become arrays, records and
// localized texts objects, attributes "@name" keys.

#include <nlohmann/json.hpp>
#include <string_view>

#include <pelagon/xmlio/dom.h>

namespace pelagon::dsr {

nlohmann::ordered_json ElementToJson(xml::Node element);

// A value element: no element children and none of the attributes a record carries.
bool IsLeaf(xml::Node element);
// Whether the element's children are the entries of one array (a list, or the slots of a
// fixed array) rather than the fields of one record.
bool ChildrenAreEntries(xml::Node element);
// `text`, a value of the leaf element `leaf` (its text or one of its attributes), typed as
// the element's name says.
nlohmann::ordered_json LeafToJson(xml::Node leaf, std::string_view text);

}  // namespace pelagon::dsr
