#include <pelagon/app/dsr_json.h>

#include <cctype>
#include <set>
#include <string>
#include <string_view>

#include <pelagon/xmlio/number_text.h>

namespace pelagon::dsr {

namespace {

using Json = nlohmann::ordered_json;

bool hasPrefix(std::string_view name, std::string_view prefix) {
  return name.size() > prefix.size() && name.substr(0, prefix.size()) == prefix &&
         std::isupper(static_cast<unsigned char>(name[prefix.size()]));
}

// "aModelInfoList", "anInkConfigIndexList", "aflFeedCalibration", "astrInkVolumeList".
bool isListName(std::string_view name) {
  return hasPrefix(name, "a") || hasPrefix(name, "an") || hasPrefix(name, "afl") || hasPrefix(name, "astr");
}

// The numbers whose element names carry no type prefix: colour components, the parts of a
// time stamp, densities and Lab values.
bool isUnprefixedInteger(std::string_view name) {
  for (const std::string_view integer :
       {"R", "G", "B", "year", "month", "day", "hour", "minute", "second", "ms"})
    if (name == integer) return true;
  return false;
}

bool isUnprefixedReal(std::string_view name) {
  return name == "density" || name == "l" || name == "a" || name == "b";
}

Json leafValue(std::string_view name, const std::string& text) {
  if (hasPrefix(name, "astr")) return text;
  if (hasPrefix(name, "an") || hasPrefix(name, "n") || hasPrefix(name, "e") || isUnprefixedInteger(name))
    return parseCInt(text);
  if (hasPrefix(name, "afl") || hasPrefix(name, "d") || hasPrefix(name, "fl") || isUnprefixedReal(name))
    return parseCReal(text);
  if (hasPrefix(name, "b")) return text == "true";
  return text;
}

// "value0", "value1", ... or "flDegree0", ...: the stem without its index.
std::string_view stemOf(std::string_view name) {
  while (!name.empty() && std::isdigit(static_cast<unsigned char>(name.back()))) name.remove_suffix(1);
  return name;
}

// Children that are entries of one array rather than fields of one record.
bool childrenAreEntries(xml::Node element, std::string_view name) {
  if (isListName(name)) return true;
  int count = 0;
  std::string firstStem;
  for (xml::Node child : element.children()) {
    if (child.type() != xml::NodeType::Element) continue;
    const std::string_view stem = stemOf(child.name());
    if (count++ == 0) {
      firstStem = stem;
    } else if (stem != firstStem) {
      return false;
    }
  }
  return count >= 2;
}

bool hasElementChildren(xml::Node element) {
  for (xml::Node child = element.firstChild(); child; child = child.nextSibling()) {
    if (child.type() == xml::NodeType::Element) return true;
  }
  return false;
}

// The slots of a fixed array and the entries of a list of values ("value0", "value") take
// their kind from the array's name.
Json typedLeaf(std::string_view name, std::string_view parentName, const std::string& text) {
  return leafValue(stemOf(name) == "value" ? parentName : name, text);
}

Json elementToJson(xml::Node element, std::string_view parentName) {
  const std::string name(element.name());
  if (IsLeaf(element)) return typedLeaf(name, parentName, element.text());
  const bool entries = childrenAreEntries(element, name);
  Json value = entries ? Json::array() : Json::object();
  for (const char* attribute : {"strVersion", "position", "VALUE"}) {
    if (const xml::Attribute found = element.attribute(attribute)) {
      if (value.is_array()) value = Json::object({{"entries", Json::array()}});
      value[std::string("@") + attribute] = std::string(found.value());
    }
  }
  // A field that repeats (the commands of a passmask) gathers its values in an array.
  std::set<std::string> repeated;
  for (xml::Node child : element.children()) {
    if (child.type() != xml::NodeType::Element) continue;
    Json childValue = elementToJson(child, name);
    if (entries) {
      (value.is_array() ? value : value["entries"]).push_back(std::move(childValue));
      continue;
    }
    const std::string key(child.name());
    if (!value.contains(key)) {
      value[key] = std::move(childValue);
    } else if (repeated.insert(key).second) {
      value[key] = Json::array({std::move(value[key]), std::move(childValue)});
    } else {
      value[key].push_back(std::move(childValue));
    }
  }
  return value;
}

}  // namespace

Json ElementToJson(xml::Node element) { return elementToJson(element, {}); }

bool IsLeaf(xml::Node element) {
  if (hasElementChildren(element) || element.attribute("VALUE") || element.attribute("position") ||
      element.attribute("strVersion")) {
    return false;
  }
  // An empty list is not a value, but the entries of a list of numbers carry list names
  // too ("anInkConfigIndex" in "anInkConfigIndexList").
  const xml::Node parent = element.parent();
  const bool entryOfList = parent && parent.type() == xml::NodeType::Element && isListName(parent.name());
  return entryOfList || !isListName(element.name());
}

bool ChildrenAreEntries(xml::Node element) { return childrenAreEntries(element, element.name()); }

Json LeafToJson(xml::Node leaf, std::string_view text) {
  const xml::Node parent = leaf.parent();
  return typedLeaf(leaf.name(), parent ? parent.name() : std::string_view(), std::string(text));
}

}  // namespace pelagon::dsr
