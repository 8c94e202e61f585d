#pragma once
// A written device file as JSON, so two files can be compared with ordinary tools. Every
// element becomes a value typed by its name's prefix (n and e integers, d and fl numbers,
// b truth values, everything else text); lists and fixed arrays become arrays, records and
// localized texts objects, attributes "@name" keys.

#include <nlohmann/json.hpp>

#include <pelagon/xmlio/dom.h>

namespace pelagon::dsr {

nlohmann::ordered_json ElementToJson(xml::Node element);

}  // namespace pelagon::dsr
