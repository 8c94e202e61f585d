#include <pelagon/values/record_fields.h>

#include <algorithm>

namespace pelagon {

std::string PositionalFields::childText(int position) const {
  std::string text = "child " + std::to_string(position);
  if (position < static_cast<int>(names_.size())) {
    text += " (";
    text += names_[static_cast<std::size_t>(position)];
    text += ')';
  }
  return text;
}

std::string PositionalFields::firstMisplaced() const {
  const int named = std::min(position_ + 1, static_cast<int>(names_.size()));
  xml::NodeList children = element_.childNodes();
  for (int position = 0; position < named; ++position) {
    const xml::Node child = children.nextNode();
    if (!child) return childText(position) + " is missing";
    const bool element = child.type() == xml::NodeType::Element;
    const std::string_view name = element ? child.name() : std::string_view();
    const auto place = static_cast<std::size_t>(position);
    if (element && name == names_[place]) continue;
    // A child that belongs further on stands where an earlier one was left out.
    if (element) {
      for (std::size_t later = place + 1; later < names_.size(); ++later) {
        if (names_[later] == name) return childText(position) + " is missing";
      }
    }
    return "unexpected " + describeNode(child) + " at child " + std::to_string(position) + " (expected " +
           std::string(names_[place]) + ")";
  }
  return {};
}

void PositionalFields::throwMissing() const {
  std::string problem = firstMisplaced();
  if (problem.empty()) problem = childText(position_) + " is missing";
  throw ReadError(win::E_POINTER, nodeName(element_), std::move(problem));
}

void PositionalFields::rethrowAtChild(xml::Node child) const {
  if (position_ < static_cast<int>(names_.size())) {
    const std::string_view expected = names_[static_cast<std::size_t>(position_)];
    if (child.type() != xml::NodeType::Element || child.name() != expected)
      rethrowAs(element_, firstMisplaced());
  }
  rethrowWithin({}, child);
}

}  // namespace pelagon
