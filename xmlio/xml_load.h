#pragma once
// The parts of loading a document that pugixml leaves to us: finding the document's
// encoding and turning it into UTF-8, and refusing what is not well-formed XML 1.0 with
// namespaces. Internal to the DOM layer.

#include <cstddef>
#include <string>
#include <string_view>

namespace pelagon::xml::detail {

// Why a document is refused, and where: a byte offset into its UTF-8 text.
struct LoadProblem {
  std::string message;
  std::size_t offset = std::string_view::npos;
  explicit operator bool() const { return !message.empty(); }
};

// The document's text as UTF-8: the input itself when it is UTF-8 already (`utf8` stays
// empty), else the input transcoded from its byte-order mark or declared encoding, without
// the mark.
struct Utf8Text {
  std::string utf8;
  bool transcoded = false;
};

// Decides the encoding and transcodes; checks the XML declaration's form and that every
// character is one XML allows. A problem's offset is into the UTF-8 text.
LoadProblem DecodeDocument(std::string_view bytes, Utf8Text& text);

// Refuses what is not well-formed XML 1.0 with namespaces, in one pass over the document's
// UTF-8 text (as DecodeDocument gives it, `transcoded` as it says); the problem's offset is
// into that text.
// What the parse that follows needs to know: pugixml does not turn the line ends inside
// processing instructions into line feeds, as it does everywhere else.
struct ScanFacts {
  bool lineEndsInInstructions = false;
};
// With LeftToParser, whether each end tag inside the root names the element it closes is not
// checked: pugixml's parse checks that anyway. A document the scan then passes is well-formed
// exactly when that parse succeeds; a problem it reports is always the first in the text.
enum class EndTags { Checked, LeftToParser };
LoadProblem CheckWellFormed(std::string_view utf8, bool transcoded, ScanFacts& facts,
                            EndTags endTags = EndTags::Checked);

// "line L, column C" of a byte offset in UTF-8 text; the column counts characters.
std::string LineAndColumn(std::string_view utf8, std::size_t offset);

}  // namespace pelagon::xml::detail
