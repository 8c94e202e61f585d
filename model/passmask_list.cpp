#include <pelagon/model/passmask_list.h>

#include <array>
#include <ranges>
#include <string_view>

#include <pelagon/platform/code_page.h>
#include <pelagon/values/record_fields.h>

namespace pelagon {

namespace {

constexpr std::string_view kPassmaskName = "Passmask";
constexpr std::string_view kCommandName = "strPassmaskCommand";
constexpr std::string_view kPieceName = "strPassmaskPiece";

constexpr std::array<std::string_view, 5> kPassmaskHead{
    "nPassmaskIndex", "strPassmaskName", "strPassmaskMode", "strInkConsumptionRate", "nOverlapNozzleCount"};
constexpr RecordEntries<Passmask> kPassmaskEntries{
    kPassmaskName, EntryMatch::ByName,
    [](const Passmask& passmask) -> std::string_view { return passmask.strPassmaskName; }};

bool isUtf8Continuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0U) == 0x80U; }

// The command is cut in the DOM's UTF-8 text at code-point boundaries, so no piece ends
// inside a character, whatever the ANSI code page.
void writeCommand(xml::Node passmask, const std::string& command) {
  xml::Node element = passmask.appendElement(kCommandName);
  const std::string utf8 = win::AnsiToUtf8(command);
  const std::string_view text(utf8);
  std::size_t start = 0;
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (isUtf8Continuation(text[i])) continue;
    if (characters == kPassmaskPieceLength) {
      element.appendElement(kPieceName).setText(text.substr(start, i - start));
      start = i;
      characters = 0;
    }
    ++characters;
  }
  // The last piece, or the only one: an empty command keeps one empty piece.
  element.appendElement(kPieceName).setText(text.substr(start));
}

std::string readCommand(xml::Node element) {
  std::string utf8;
  std::string scratch;
  for (xml::Node piece : element.children(kPieceName)) utf8 += piece.textView(scratch);
  // Joined before the conversion, so a character that a foreign writer split over two
  // pieces comes back whole.
  return win::Utf8ToAnsi(utf8);
}

}  // namespace

// ---- PassmaskIO ----

xml::Node PassmaskIO::WritePassmask(xml::Document& document, xml::Node parent,
                                    const Passmask& passmask) const {
  xml::Node element = parent.appendChild(document.createElement(kPassmaskName));
  appendValue(element, "nPassmaskIndex", passmask.nPassmaskIndex);
  appendValue(element, "strPassmaskName", passmask.strPassmaskName);
  appendValue(element, "strPassmaskMode", passmask.strPassmaskMode);
  appendValue(element, "strInkConsumptionRate", passmask.strInkConsumptionRate);
  appendValue(element, "nOverlapNozzleCount", passmask.nOverlapNozzleCount);
  for (const std::string& command : passmask.astrPassmaskCommand) writeCommand(element, command);
  return element;
}

void PassmaskIO::ReadPassmask(xml::Node element, Passmask& passmask) const {
  PositionalFields fields(element, kPassmaskHead);
  fields.read(passmask.nPassmaskIndex);
  fields.read(passmask.strPassmaskName);
  fields.read(passmask.strPassmaskMode);
  fields.read(passmask.strInkConsumptionRate);
  fields.read(passmask.nOverlapNozzleCount);
  // The commands follow the fields; an element of their name in a field's place is that field.
  for (xml::Node child : element.children() | std::views::drop(kPassmaskHead.size())) {
    if (child.type() == xml::NodeType::Element && child.name() == kCommandName) {
      appendOrThrow(passmask.astrPassmaskCommand, readCommand(child));
    }
  }
}

// ---- PassmaskListIO ----

template class WholeDocumentIO<PassmaskListContent>;

void PassmaskListContent::WriteContent(xml::Document& document, xml::Node root, const PassmaskList& source) {
  for (const Passmask& passmask : source.passmasks) PassmaskIO().WritePassmask(document, root, passmask);
}

void PassmaskListContent::ReadContent(xml::Node root, PassmaskList& target) {
  readRecordList(root, target.passmasks, kPassmaskEntries,
                 [](xml::Node element, Passmask& passmask) { PassmaskIO().ReadPassmask(element, passmask); });
}

}  // namespace pelagon
