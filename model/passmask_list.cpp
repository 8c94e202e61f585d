#include <pelagon/model/passmask_list.h>

#include <array>
#include <string_view>
#include <utility>

#include <pelagon/model/whole_document.h>
#include <pelagon/platform/code_page.h>
#include <pelagon/values/record_fields.h>

namespace pelagon {

namespace {

constexpr std::string_view kRootName = "aPassmaskList";
constexpr std::string_view kVersion = "1.0.1.0";
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
  xml::NodeList children = element.childNodes();
  for (xml::Node child = children.nextNode(); child; child = children.nextNode()) {
    if (child.type() == xml::NodeType::Element && child.name() == kPieceName) utf8 += child.textView(scratch);
  }
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
  xml::NodeList& rest = fields.rest();
  for (xml::Node child = rest.nextNode(); child; child = rest.nextNode()) {
    if (child.type() == xml::NodeType::Element && child.name() == kCommandName) {
      appendOrThrow(passmask.astrPassmaskCommand, readCommand(child));
    }
  }
}

// ---- PassmaskListIO ----

PassmaskListIO::PassmaskListIO(std::string documentPath) : ICommonIO(std::move(documentPath)) {}

VersionRecord& PassmaskListIO::GetVersion(VersionRecord& version) const {
  version = VersionRecord::Parse(kVersion);
  return version;
}

std::string PassmaskListIO::GetRootName() const { return std::string(kRootName); }

bool PassmaskListIO::Load(PassmaskList& target) {
  return LoadWholeDocument(*this, lastError_, [&](xml::Node root) { ReadContent(root, target); });
}

bool PassmaskListIO::Save(const PassmaskList& source, xml::SaveForm form) {
  VersionRecord own;
  return SaveWithVersion(source, GetVersion(own), form);
}

bool PassmaskListIO::SaveKeepingVersion(const PassmaskList& source, xml::SaveForm form) {
  return SaveWholeDocument(*this, VersionOfReplacedFile(*this), form, lastError_,
                           [&](xml::Document& document) { return BuildRoot(document, source); });
}

bool PassmaskListIO::SaveWithVersion(const PassmaskList& source, const VersionRecord& version,
                                     xml::SaveForm form) {
  return SaveWholeDocument(*this, version.ToString(), form, lastError_,
                           [&](xml::Document& document) { return BuildRoot(document, source); });
}

xml::DocumentPtr PassmaskListIO::CreateDocument(const PassmaskList& source) const {
  return CreateWholeDocument([&](xml::Document& document) { return BuildRoot(document, source); });
}

void PassmaskListIO::ReadDocument(const xml::DocumentPtr& document, PassmaskList& target) {
  PassmaskListIO io("");
  io.ReadContent(io.FindRootElement(document), target);
}

xml::Node PassmaskListIO::BuildRoot(xml::Document& document, const PassmaskList& source) const {
  xml::Node root = CreateRootElement(document);
  for (const Passmask& passmask : source.passmasks) WritePassmask(document, root, passmask);
  return root;
}

void PassmaskListIO::ReadContent(xml::Node root, PassmaskList& target) const {
  target.version = ReadRootVersion(root);
  readRecordList(root, target.passmasks, kPassmaskEntries,
                 [this](xml::Node element, Passmask& passmask) { ReadPassmask(element, passmask); });
}

}  // namespace pelagon
