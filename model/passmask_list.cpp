#include <pelagon/model/passmask_list.h>

#include <array>
#include <string_view>

#include <pelagon/platform/code_page.h>
#include <pelagon/values/record_fields.h>

namespace pelagon {

namespace {

constexpr std::string_view kPieceName = "strPassmaskPiece";

bool isUtf8Continuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0U) == 0x80U; }

// The command is cut in the DOM's UTF-8 text at code-point boundaries, so no piece ends
// inside a character, whatever the ANSI code page.
void writeCommand(xml::Node passmask, std::string_view name, const std::string& command) {
  xml::Node element = passmask.appendElement(name);
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

void writeCommands(xml::Node passmask, std::string_view name, const Passmask& record) {
  for (const std::string& command : record.astrPassmaskCommand) writeCommand(passmask, name, command);
}

// Each element of the name is one more command.
void readCommandInto(xml::Node element, Passmask& passmask) {
  appendOrThrow(passmask.astrPassmaskCommand, readCommand(element));
}

// The five fields by position, then the commands wherever they stand after them.
constexpr std::array kPassmaskFields{
    field<&Passmask::nPassmaskIndex>("nPassmaskIndex"),
    field<&Passmask::strPassmaskName>("strPassmaskName"),
    field<&Passmask::strPassmaskMode>("strPassmaskMode"),
    field<&Passmask::strInkConsumptionRate>("strInkConsumptionRate"),
    field<&Passmask::nOverlapNozzleCount>("nOverlapNozzleCount"),
    customField<Passmask, writeCommands, readCommandInto>("strPassmaskCommand"),
};
constexpr auto passmaskLayout = layoutOf<"Passmask", kPassmaskFields, 5>;

constexpr RecordEntries<Passmask> kPassmaskEntries{
    "Passmask", EntryMatch::ByName,
    [](const Passmask& passmask) -> std::string_view { return passmask.strPassmaskName; }, appendPassmask,
    readPassmask};

}  // namespace

xml::Node appendPassmask(xml::Node parent, const Passmask& passmask) {
  return passmaskLayout().append(parent, passmask);
}

void readPassmask(xml::Node element, Passmask& passmask) { passmaskLayout().read(element, passmask); }

// ---- PassmaskListIO ----

void appendPassmaskListContent(xml::Node root, const PassmaskList& source) {
  for (const Passmask& passmask : source.passmasks) appendPassmask(root, passmask);
}

void readPassmaskListContent(xml::Node root, PassmaskList& target) {
  readRecordList(root, target.passmasks, kPassmaskEntries);
}

}  // namespace pelagon
