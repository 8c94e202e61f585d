#pragma once
// The passmask list file (".pmp"): the passmasks of one printer series under the root
// "aPassmaskList". Permission sets name a passmask by its nPassmaskIndex; nothing here
// resolves those references.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include <pelagon/model/whole_document.h>
#include <pelagon/platform/growable_array.h>
#include <pelagon/xmlio/common_io.h>
#include <pelagon/xmlio/dom.h>

namespace pelagon {

// A command is stored as "strPassmaskPiece" children of this many characters (Unicode
// code points), the last one shorter.
inline constexpr std::size_t kPassmaskPieceLength = 4096;

struct Passmask {
  std::int32_t nPassmaskIndex = 0;
  std::string strPassmaskName;
  // "1": the command is the overlap nozzle count in decimal; "M1": opaque printer data.
  std::string strPassmaskMode;
  // One decimal factor per ink channel, comma-separated, carried as text.
  std::string strInkConsumptionRate;
  std::int32_t nOverlapNozzleCount = 0;
  // Each command whole, its pieces joined; kept as given, never derived from the other fields.
  win::GrowableArray<std::string> astrPassmaskCommand;

  friend bool operator==(const Passmask&, const Passmask&) = default;
};

struct PassmaskList {
  // The file's version as its root carries it; saving writes it only through SaveWithVersion.
  VersionRecord version;
  // Written in this order; neither sorted nor checked for repeated numbers.
  win::GrowableArray<Passmask> passmasks;

  friend bool operator==(const PassmaskList&, const PassmaskList&) = default;
};

// Appends a "Passmask" element under `parent`: the five fields, then one
// "strPassmaskCommand" per command, split into pieces (an empty command is one empty piece,
// so it survives a round trip).
xml::Node appendPassmask(xml::Node parent, const Passmask& passmask);
// The five fields by position, whatever their names (a missing one raises
// _com_error(E_POINTER)); then every "strPassmaskCommand" child is one command, the text of
// its "strPassmaskPiece" children joined in order. Other children are skipped. Commands are
// appended, so the target should be a fresh record.
void readPassmask(xml::Node element, Passmask& passmask);

// What lies below the root: one "Passmask" element per passmask; other children are skipped.
void appendPassmaskListContent(xml::Node root, const PassmaskList& source);
void readPassmaskListContent(xml::Node root, PassmaskList& target);

// Reads and writes a passmask list file of format version "1.0.1.0". Files of 1.0.x.x
// are always read; another major or minor version is refused only while the application's
// title turns the version check on. There is no older reader to fall back to.
using PassmaskListIO = WholeDocumentIO<PassmaskList, "aPassmaskList", "1.0.1.0", appendPassmaskListContent,
                                       readPassmaskListContent>;

}  // namespace pelagon
