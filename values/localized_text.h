#pragma once
// Text in the thirteen languages of the device files, one child element per language.

#include <array>
#include <string>
#include <string_view>

#include <pelagon/xmlio/dom.h>

namespace pelagon {

inline constexpr int kLanguageCount = 13;

// Indexed in the fixed language order: English, Chinese_Simplified, Chinese_Traditional,
// French, German, Italian, Japanese, Korean, Portuguese, Spanish, Russian, Turkish, Arabic.
using LocalizedText = std::array<std::string, kLanguageCount>;

// The languages' element names, taken once from the program's string table.
const std::array<std::string, kLanguageCount>& languageNames();

// The element as the last child of `parent`, with all thirteen children, always: a language
// without its own text repeats the English one.
xml::Node appendLocalizedText(xml::Node parent, std::string_view name, const LocalizedText& text);

// Children are matched to languages by exact name, in any order; unknown names are skipped
// and a language without a child keeps what `text` held. Gives true whenever it returns.
bool readLocalizedText(xml::Node element, LocalizedText& text);

}  // namespace pelagon
