#include <pelagon/values/localized_text.h>

#include <pelagon/platform/resources.h>
#include <pelagon/values/element_text.h>

namespace pelagon {

namespace {
// String ids of the language names, in language order.
constexpr unsigned kLanguageStringIds[kLanguageCount] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 14, 15, 16};
}  // namespace

const std::array<std::string, kLanguageCount>& languageNames() {
  static const std::array<std::string, kLanguageCount> names = [] {
    std::array<std::string, kLanguageCount> loaded;
    for (int i = 0; i < kLanguageCount; ++i) {
      loaded[static_cast<std::size_t>(i)] = win::LoadStringResource(kLanguageStringIds[i]).value_or("");
    }
    return loaded;
  }();
  return names;
}

namespace {

// A language without its own text repeats the English one.
void appendLanguages(xml::Node element, const LocalizedText& text) {
  const auto& names = languageNames();
  for (std::size_t i = 0; i < names.size(); ++i) {
    appendStringElement(element, names[i], text[i].empty() ? text[0] : text[i]);
  }
}

}  // namespace

xml::Node appendLocalizedText(xml::Node parent, std::string_view name, const LocalizedText& text) {
  xml::Node element = parent.appendElement(name);
  appendLanguages(element, text);
  return element;
}

bool readLocalizedText(xml::Node element, LocalizedText& text) {
  const auto& names = languageNames();
  for (xml::Node child : element.children()) {
    if (child.type() != xml::NodeType::Element) continue;
    const std::string_view childName = child.name();
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (!names[i].empty() && childName == names[i]) {
        text[i] = readStringElement(child);
        break;
      }
    }
  }
  return true;
}

}  // namespace pelagon
